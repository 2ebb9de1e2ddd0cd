// SPW and ADS signal files: ASCII one file per channel, ASCII mixed, and binary.
#include "VmKalLib.h"
#include "common/test_files.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class SpwFiles : public IqFilesTest {
protected:
    SpwFiles() : IqFilesTest("iqspw") {}
};

void Spit(const fs::path &p, const std::string &s)
{
    std::ofstream f(p, std::ios::binary);
    f << s;
}

// A header as the tools write it, with count points and the given marker.
std::string Header(const std::string &count, const char *marker, const char *eol = "\n")
{
    std::string h = "$SIGNAL_FILE 9";
    const std::string lines[] = {"$USER_COMMENT", "", "$COMMON_INFO", "SPW Version 3.0", "",
                                 "Sampling Frequency = 2500.0", "Starting Time = 0.0", "$DATA_INFO",
                                 "Number of Points = " + count, "Signal Type = Double", marker};
    for (const std::string &l : lines)
        h += eol + l;
    return h + eol;
}

TEST_F(SpwFiles, AsciiPairRoundTripWithExactText)
{
    Rec out(at("a.i"), at("a.q"));
    out.fill({1.0f, -0.25f, 3.14159274f}, {-2.0f, 1e-9f, 65536.0f});
    out.Rat = 1e6f + 0.26f;
    ASSERT_EQ(SaveADSSgl(out), 0);
    const char *head = "$SIGNAL_FILE 9\n$USER_COMMENT\n\n$COMMON_INFO\nSPW Version 3.0\n\n"
                       "Sampling Frequency = 1000000.2\nStarting Time = 0.0\n$DATA_INFO\n"
                       "Number of Points = 3\nSignal Type = Double\n$DATA\n";
    EXPECT_EQ(FileText(at("a.i")), std::string(head) + "1.0000000e+00\n-2.5000000e-01\n3.1415927e+00\nEND\n");
    EXPECT_EQ(FileText(at("a.q")), std::string(head) + "-2.0000000e+00\n9.9999997e-10\n6.5536000e+04\nEND\n");

    Rec in(at("a.i"), at("a.q"));
    ASSERT_EQ(LoadAscSg(&in), 0);
    ASSERT_EQ(in.Len, 3);
    EXPECT_FLOAT_EQ(in.Rat, 1000000.2f);
    for (int k = 0; k < 3; k++) {
        EXPECT_FLOAT_EQ(in.I[k], out.I[k]);
        EXPECT_FLOAT_EQ(in.Q[k], out.Q[k]);
    }
}

TEST_F(SpwFiles, AsciiPairTakesTheSmallerCountAndOnlyTheIRate)
{
    std::string i = Header("1000", "$DATA"), q = Header("800", "$DATA");
    q.replace(q.find("2500.0"), 6, "9999.0");
    for (int k = 0; k < 1000; k++)
        i += std::to_string(k) + "\n", q += std::to_string(-k) + "\n";
    Spit(at("i"), i);
    Spit(at("q"), q);
    Rec in(at("i"), at("q"));
    ASSERT_EQ(LoadAscSg(&in), 0);
    EXPECT_EQ(in.Len, 800);
    EXPECT_EQ(in.Rat, 2500.0f);
    EXPECT_EQ(in.I[799], 799.0f);
    EXPECT_EQ(in.Q[799], -799.0f);

    Rec noq(at("i"), at("missing"));
    EXPECT_EQ(LoadAscSg(&noq), IQ_ERR_OPEN2);
    EXPECT_TRUE(noq.empty());
}

TEST_F(SpwFiles, MixedHeaderFollowsTheFormatIndex)
{
    Rec out(at("m"));
    out.fill({1.5f, -1e-3f}, {0.0f, 123456.0f});
    out.Rat = 50.04f;
    const char *tail = "System Type        =\nSampling Frequency = 50.0\n"
                       "Starting Time      = 0.0\n$DATA_INFO\nNumber of Points   = 2\n"
                       "Signal Type        = Real_Imag\n$DATA ASCII\n"
                       "1.50000000e+00 0.00000000e+00\n-1.00000005e-03 1.23456000e+05\n";
    for (int typ : {15, 12}) {
        out.Typ = typ;
        ASSERT_EQ(SaveADSMix(out), 0);
        std::string want = std::string("$SIGNAL_FILE 9\nUSER_COMMENT\n\nCOMMON_INFO\n") +
                           (typ == 15 ? "ADS" : "SPW") + " Version        =\n" + tail;
        EXPECT_EQ(FileText(at("m")), want) << typ;
        Rec in(at("m"));
        ASSERT_EQ(LoadAscMx(&in), 0);
        ASSERT_EQ(in.Len, 2);
        EXPECT_EQ(in.Rat, 50.0f);
        EXPECT_EQ(in.I[0], 1.5f);
        EXPECT_EQ(in.Q[1], 123456.0f);
        EXPECT_FLOAT_EQ(in.I[1], -1e-3f);
    }
}

TEST_F(SpwFiles, MixedReadsComplexFormAndCrLfAndShortFiles)
{
    // 1.0-j0.5 splits into two numbers.  With a blank before the sign, "-j0.5"
    // does not convert (Q 0) and its rewritten "-0.5" starts a second pair on
    // the line, which wins in I.  Slots past the end of the file stay 0.
    Spit(at("c"), Header("4", "$DATA ASCII", "\r\n") + "1.0-j0.5\r\n2.0+j3.0\r\n1.0 -j0.5\r\n");
    Rec in(at("c"));
    ASSERT_EQ(LoadAscMx(&in), 0);
    ASSERT_EQ(in.Len, 4);
    EXPECT_EQ(in.Rat, 2500.0f);
    const float wantI[] = {1.0f, 2.0f, -0.5f, 0.0f}, wantQ[] = {-0.5f, 3.0f, 0.0f, 0.0f};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(in.I[k], wantI[k]) << k;
        EXPECT_EQ(in.Q[k], wantQ[k]) << k;
    }
}

TEST_F(SpwFiles, BinaryOfOneSampleIsExactAndLoadsBack)
{
    Rec out(at("b.sig"));
    out.fill({1.0f}, {-2.0f});
    out.Rat = 1e3f;
    ASSERT_EQ(SaveSPWBin(out), 0);
    std::string want = "$SIGNAL_FILE 9\n$USER_COMMENT\n\n$COMMON_INFO\n"
                       "SPW Version        = 4.70\nSystem Type        = solaris2\n"
                       "Sampling Frequency = 1000.0\nStarting Time      = 0.0\n$DATA_INFO\n"
                       "Number of points   = 1\nSignal Type        = Double\n"
                       "Complex Format     = Real_Imag\n$DATA BINARY\n";
    want += std::string("\x3F\xF0\0\0\0\0\0\0\xC0\0\0\0\0\0\0\0", 16);
    EXPECT_EQ(FileText(at("b.sig")), want);

    Rec in(at("b.sig"));
    ASSERT_EQ(LoadBin(&in), 0);
    ASSERT_EQ(in.Len, 1);
    EXPECT_EQ(in.Rat, 1000.0f);
    EXPECT_EQ(in.I[0], 1.0f);
    EXPECT_EQ(in.Q[0], -2.0f);
}

TEST_F(SpwFiles, BinaryRoundTripAcrossProgressSteps)
{
    Rec out(at("r.sig"));
    const int n = 50001;
    out.Len = n;
    out.I = static_cast<float *>(calloc(n, sizeof(float)));
    out.Q = static_cast<float *>(calloc(n, sizeof(float)));
    for (int k = 0; k < n; k++)
        out.I[k] = float(k) * 0.001f, out.Q[k] = -float(k);
    ASSERT_EQ(SaveSPWBin(out), 0);
    Rec in(at("r.sig"));
    ASSERT_EQ(LoadBin(&in), 0);
    ASSERT_EQ(in.Len, n);
    EXPECT_EQ(std::memcmp(in.I, out.I, sizeof(float) * n), 0);
    EXPECT_EQ(std::memcmp(in.Q, out.Q, sizeof(float) * n), 0);
}

TEST_F(SpwFiles, MalformedHeadersAreRefused)
{
    struct Case {
        const char *what;
        std::string text;
        int status;
    } cases[] = {
        {"empty", "", IQ_ERR_FORMAT},
        {"no marker", Header("2", "$DATA_MISSING") + "1 2\n3 4\n", IQ_ERR_FORMAT},
        {"no count line", "Sampling Frequency = 1.0\n$DATA\n1\n", IQ_ERR_FORMAT},
        {"negative count", Header("-5", "$DATA ASCII") + "1 2\n", IQ_ERR_FORMAT},
        {"count beyond file", Header("2000000000", "$DATA ASCII") + "1 2\n", IQ_ERR_FORMAT},
        {"count overflows", Header("99999999999999999999999", "$DATA ASCII") + "1 2\n", IQ_ERR_FORMAT},
        {"binary junk", std::string("\0\xff\x13Sampling\0\n\x80\x81", 14), IQ_ERR_FORMAT},
    };
    for (const Case &c : cases) {
        Spit(at("x"), c.text);
        for (auto load : {LoadAscMx, LoadAscSg, LoadBin}) {
            Rec in(at("x"), at("x"));
            EXPECT_EQ(load(&in), c.status) << c.what;
            EXPECT_TRUE(in.empty()) << c.what;
        }
    }
    std::string bin = Header("3", "$DATA BINARY") + std::string(47, '\0'); // 3 samples need 48 bytes
    Spit(at("t.sig"), bin);
    Rec in(at("t.sig"));
    EXPECT_EQ(LoadBin(&in), IQ_ERR_FORMAT);
    EXPECT_TRUE(in.empty());
}

TEST_F(SpwFiles, UnparsableRateKeepsCallersRateAndAbortFlagStopsSearch)
{
    std::string h = Header("1", "$DATA");
    h.replace(h.find("2500.0"), 6, "fast");
    Spit(at("u"), h + "7\n");
    Rec in(at("u"), at("u"));
    in.Rat = 77.0f;
    ASSERT_EQ(LoadAscSg(&in), 0);
    EXPECT_EQ(in.Rat, 77.0f);
    EXPECT_EQ(in.I[0], 7.0f);

    Rec ab(at("u"));
    EscFlg = 1;
    EXPECT_EQ(LoadAscMx(&ab), IQ_ERR_ABORT);
    EXPECT_TRUE(ab.empty());
    EXPECT_EQ(EscFlg, 0);
}

TEST_F(SpwFiles, FailedSaveKeepsTheExistingFiles)
{
    Spit(at("k.i"), "old i");
    Spit(at("k.q"), "old q");
    Rec bad(at("k.i"), at("k.q"));
    bad.Len = 3; // no arrays
    EXPECT_EQ(SaveADSSgl(bad), -1);
    EXPECT_EQ(SaveADSMix(bad), -1);
    EXPECT_EQ(SaveSPWBin(bad), -1);
    // The I file is ready but the Q file cannot be created: neither is replaced.
    Rec half(at("k.i"), at("no/dir/k.q"));
    half.fill({1}, {2});
    EXPECT_EQ(SaveADSSgl(half), -1);
    EXPECT_EQ(FileText(at("k.i")), "old i");
    EXPECT_EQ(FileText(at("k.q")), "old q");
}

} // namespace

namespace {

// Through the format table and the dispatcher, as the program saves and loads.
TEST_F(SpwFiles, TableIndicesRoundTripThroughTheDispatcher)
{
    for (int typ : {0, 11, 12, 13, 14, 15, 22}) {
        const IqFormat *f = IqFormatAt(typ);
        ASSERT_NE(f, nullptr);
        ASSERT_NE(f->save, nullptr) << typ;
        Rec out(at("t1"), at("t2"));
        out.fill({0.5f, -1.25f, 1e3f}, {3.0f, -0.0625f, 0.0f});
        out.Rat = typ == 22 ? 0.0f : 8000.0f; // KAL stores no rate
        out.Typ = typ;
        ASSERT_EQ(f->save(out), 0) << typ;
        Rec in(at("t1"), at("t2"));
        in.Typ = typ;
        ASSERT_EQ(LoadDatFile(&in), 0) << typ;
        ASSERT_EQ(in.Len, 3) << typ;
        EXPECT_EQ(in.Rat, out.Rat) << typ;
        for (int k = 0; k < 3; k++) {
            EXPECT_EQ(in.I[k], out.I[k]) << typ;
            EXPECT_EQ(in.Q[k], out.Q[k]) << typ;
        }
    }
}

} // namespace
