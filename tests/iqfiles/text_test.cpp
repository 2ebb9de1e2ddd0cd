// Text formats: the line reader, scanners and number conversions, and every
// plain-number, DaDisp and DAB reader and writer.
#include "VmKalLib.h"

// The scanners and conversions are internal to the library; their source
// depends on nothing else of it, so the tests compile their own copy.
#include "textscan.cpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class Dir {
public:
    Dir()
    {
        static int serial = 0;
        path_ = fs::temp_directory_path() / ("kal_text_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
        fs::create_directories(path_);
    }
    ~Dir() { fs::remove_all(path_); }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(path_), fs::directory_iterator())); }

private:
    fs::path path_;
};

void Put(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::string Get(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

IqRec Rec(int typ, const std::string &i, const std::string &q = "")
{
    IqRec r;
    std::memset(&r, 0, sizeof r);
    r.Typ = typ;
    std::snprintf(r.INam, sizeof r.INam, "%s", i.c_str());
    std::snprintf(r.QNam, sizeof r.QNam, "%s", q.c_str());
    return r;
}

// A record to save, with arrays owned by the test.
struct Data {
    std::vector<float> i, q;
    IqRec rec(int typ, const std::string &pi, const std::string &pq = "", float rate = 1e6f)
    {
        IqRec r = Rec(typ, pi, pq);
        r.Len = int(i.size());
        r.I = i.data();
        r.Q = q.data();
        r.Rat = rate;
        return r;
    }
};

Data Random(int n, unsigned seed = 7)
{
    std::mt19937 g(seed);
    std::normal_distribution<float> d(0.0f, 1.0f);
    Data x;
    for (int k = 0; k < n; ++k) {
        x.i.push_back(d(g) * std::pow(10.0f, float(k % 9) - 4));
        x.q.push_back(-d(g));
    }
    if (n > 0)
        x.i[0] = 0.0f;
    if (n > 1)
        x.q[1] = -0.0f;
    return x;
}

// What a reader gets back from "%0.7e" of v: 8 significant digits.
float Rounded(float v)
{
    char t[64];
    std::snprintf(t, sizeof t, "%0.7e", double(v));
    return std::strtof(t, nullptr);
}

void ExpectLoaded(const IqRec &r, const Data &x)
{
    ASSERT_EQ(r.Len, int(x.i.size()));
    ASSERT_NE(r.I, nullptr);
    ASSERT_NE(r.Q, nullptr);
    for (int k = 0; k < r.Len; ++k) {
        ASSERT_EQ(r.I[k], Rounded(x.i[k])) << k;
        ASSERT_EQ(r.Q[k], Rounded(x.q[k])) << k;
    }
}

std::string Printf(const char *fmt, double v)
{
    char t[400];
    std::snprintf(t, sizeof t, fmt, v);
    return t;
}

// Numbers of one line as the free-form readers see them.
std::vector<float> Numbers(std::string line)
{
    std::vector<float> out;
    char *b = line.data(), *e = b + line.size();
    for (char *q = AfterJunk(b, b, e); q;) {
        out.push_back(ScanNum(q, e));
        q = AfterData(q, e);
        if (q)
            q = AfterJunk(b, q, e);
    }
    return out;
}

} // namespace

// --- number conversions ---------------------------------------------------

TEST(TextNumbers, FormattingMatchesPrintfExactly)
{
    std::mt19937_64 g(42);
    std::vector<double> values = {0.0, -0.0, INFINITY, -INFINITY, NAN, -NAN, 1.0, -1.0, 0.5, 9.99999995,
                                  9.9999999499999e-5, 1e300, -1.7976931348623157e308, 4.9e-324, 2.2250738585072014e-308,
                                  1.401298464324817e-45, 3.4028234663852886e38, 0.05, 0.25, 2.5, 1e22, 123456789.0};
    for (int k = 0; k < 200000; ++k) {
        uint32_t fb = uint32_t(g());
        float f;
        std::memcpy(&f, &fb, 4);
        values.push_back(f); // every float class: denormals, inf, nan
        uint64_t db = g();
        double d;
        std::memcpy(&d, &db, 8);
        values.push_back(k % 4 ? d : std::ldexp(double(g() % 1000000) + 0.5, int(g() % 60) - 30)); // ties in fixed
    }
    // Exact ties at the last printed digit: 8, 9 and 10 digit integers ending in 5, scaled by powers of two.
    for (int k = 0; k < 30000; ++k) {
        double base = double(10000000ULL * (1 + k % 3 * 10 + k % 2 * 100) + 10 * (g() % 1000000) + 5);
        values.push_back(std::ldexp(base, int(k % 7) - 3));
        values.push_back(-base);
    }
    char buf[kNumRoom];
    for (double v : values) {
        ASSERT_EQ(std::string(buf, FmtSci(buf, v, 7)), Printf("%0.7e", v));
        ASSERT_EQ(std::string(buf, FmtSci(buf, v, 8)), Printf("%0.8e", v));
        ASSERT_EQ(std::string(buf, FmtSci(buf, v, 6, true)), Printf("%0.6E", v));
        ASSERT_EQ(std::string(buf, FmtFixed(buf, v, 1)), Printf("%0.1lf", v));
    }
}

TEST(TextNumbers, ParsingMatchesStrtodAndStrtof)
{
    std::vector<std::string> texts = {"+1.5", "-0", "0", "inf", "-Infinity", "INF", "nan", "-nan", "nan(123)", "1e400",
                                      "-1e400", "1e-400", "4.9e-324", "1e-45", "1e-50", "3.5e38", "0x1p-3", "0X1.8P1",
                                      "-0x10", "0x", "0xg", "0x-1", "+-1", "-+1", "  2.5", "\t-7", ".5", "5.", "1e",
                                      "1e+", "1e+x", "abc", "", "+", "-", ".", "e5", "12,5", "1.5+j2", "0.1", "1E-3",
                                      "00012", "1" + std::string(400, '0'), "0." + std::string(400, '0') + "1"};
    std::mt19937_64 g(1);
    for (int k = 0; k < 100000; ++k) {
        uint64_t db = g();
        double d;
        std::memcpy(&d, &db, 8);
        static const char *fmts[] = {"%.17g", "%.9g", "%a", "%0.7e", "%.3f", "%+.8e"};
        texts.push_back(Printf(fmts[k % 6], k % 2 ? d : double(float(d))));
    }
    // The same texts inside longer lines, where the number is not at the end.
    for (size_t k = 0, n = texts.size(); k < n; ++k)
        texts.push_back(texts[k] + (k % 2 ? " 1234567890123456789" : "e+05x12345678901234567"));
    for (const std::string &t : texts) {
        const char *b = t.c_str(), *e = b + t.size();
        char *se;
        double ref = std::strtod(b, &se);
        double v = -12345;
        const char *pe = ParseDouble(b, e, v);
        if (se == b) {
            EXPECT_EQ(pe, nullptr) << t;
            continue;
        }
        ASSERT_EQ(pe, se) << t;
        if (std::isnan(ref))
            EXPECT_TRUE(std::isnan(v) && std::signbit(v) == std::signbit(ref)) << t;
        else
            ASSERT_EQ(std::memcmp(&v, &ref, 8), 0) << t << " " << v << " " << ref;
        float fr = std::strtof(b, &se), fv = 0;
        ASSERT_EQ(ParseFloat(b, e, fv), se) << t;
        if (!std::isnan(fr)) {
            ASSERT_EQ(std::memcmp(&fv, &fr, 4), 0) << t;
        }
    }
}

// The sweep of the pair readers and the word reader of one number per line
// convert the printf "%e" shapes on a fast way of their own: every value must
// still be exactly strtod's narrowed to float (sweep) and strtof's (words),
// also next to rounding ties, at the ends of the float range and in the forms
// that only look alike.
TEST(TextNumbers, FastWaysMatchTheCLibraryBitForBit)
{
    std::mt19937_64 g(5);
    std::vector<std::string> words = {"1.6777217e+07", "-1.6777219e+07", "3.3554435e+07", "9.9999999e+22",
                                      "1.0000000e+23", "1.0000000e-22", "1.0000000e-23", "0.0000000e+00",
                                      "-0.0000000e+00", "1.1754944e-38", "1.4012985e-45", "3.4028235e+38",
                                      "3.4028236e+38", "1.e+05", "7.1e-01", "1.2345678E+01", "1.2345678e+001",
                                      "12.345678e+01", "1.2345678e01", "1.2345678e+0", "+2.0000000e+00"};
    for (int k = 0; k < 300000; ++k) {
        static const char *fmts[] = {"%0.7e", "%0.6E", "%.0e", "%+.3e", "%0.7e", "%.8e"};
        double v;
        switch (k % 4) {
        case 0: { // any float, denormals, inf and nan included
            uint32_t fb = uint32_t(g());
            float f;
            std::memcpy(&f, &fb, 4);
            v = f;
            break;
        }
        case 1: // the magnitudes of signals
            v = std::ldexp(double(g() % (1u << 30)) / (1u << 30), int(g() % 80) - 60) * (g() % 2 ? 1 : -1);
            break;
        case 2: // an integer of 8 digits, odd ones on the float ties above 2^24
            v = double(10000000 + g() % 90000000);
            break;
        default: // halfway between two neighbouring floats
            float f = float(std::ldexp(double(g() % (1u << 24)), int(g() % 40) - 30));
            v = (double(f) + double(std::nextafter(f, INFINITY))) / 2;
            break;
        }
        // Ties also with 16 digits, which come close enough to be rounded onto them as doubles.
        words.push_back(Printf(k % 8 == 3 ? "%.15e" : fmts[k % 6], v));
    }
    const char *seps[] = {" ", ",", "\t", "\n", "\r\n", "  ", ", "};
    std::string text;
    for (size_t k = 0; k < words.size(); ++k)
        text += words[k] + seps[g() % 7];
    auto same = [](float a, float b) { return std::memcmp(&a, &b, 4) == 0 || (std::isnan(a) && std::isnan(b)); };

    std::vector<float> swept(words.size() + 1);
    std::string copy = text;
    Sweep s{copy.data(), copy.data(), copy.data() + copy.size()};
    size_t n = 0;
    while (s.p < s.end)
        n += SweepNumbers(s, swept.data() + n, std::min<size_t>(1000, swept.size() - n));
    ASSERT_EQ(n, words.size());
    for (size_t k = 0; k < n; ++k)
        ASSERT_TRUE(same(swept[k], float(std::strtod(words[k].c_str(), nullptr)))) << words[k];

    const char *spaces[] = {" ", "\t", "\n", "\r\n", " \n"}; // the word reader knows no commas
    text.clear();
    for (size_t k = 0; k < words.size(); ++k)
        text += words[k] + spaces[g() % 5];
    std::vector<float> read(words.size() + 1);
    char *p = text.data();
    bool stuck = false;
    n = 0;
    while (p < text.data() + text.size() && !stuck)
        n += ScanFloats(p, text.data() + text.size(), read.data() + n, std::min<size_t>(777, read.size() - n), &stuck);
    EXPECT_FALSE(stuck);
    ASSERT_EQ(n, words.size());
    for (size_t k = 0; k < n; ++k)
        ASSERT_TRUE(same(read[k], std::strtof(words[k].c_str(), nullptr))) << words[k];
}

// --- line reader ------------------------------------------------------------

TEST(TextLines, WholeLinesOfAnyLengthWithLfOrCrLf)
{
    Dir d;
    std::string longLine(300000, '1');
    longLine += ".5";
    Put(d / "l.txt", "a\r\n\r\n" + longLine + "\nb\rc\n\nlast");
    FILE *f = std::fopen((d / "l.txt").c_str(), "rb");
    LineReader in(f, 16); // a small buffer: every line straddles refills
    std::vector<std::string> lines;
    char *b, *e;
    while (in.next(b, e)) {
        EXPECT_EQ(*e, '\0');
        lines.emplace_back(b, e);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "", longLine, "b\rc", "", "last"}));
    std::vector<float> big = Numbers(lines[2]); // one number, not split at a buffer boundary
    ASSERT_EQ(big.size(), 1u);
    EXPECT_TRUE(std::isinf(big[0]));
    ASSERT_TRUE(in.rewind());
    EXPECT_EQ(in.countLines(), 6);
    ASSERT_TRUE(in.rewind());
    ASSERT_TRUE(in.next(b, e));
    char raw[4];
    EXPECT_EQ(in.read(raw, 4), 4u); // binary data right after a header line
    EXPECT_EQ(std::string(raw, 4), "\r\n11");
    std::fclose(f);

    Put(d / "n.txt", "x\n");
    f = std::fopen((d / "n.txt").c_str(), "rb");
    LineReader one(f, 4);
    EXPECT_EQ(one.countLines(), 1);
    std::fclose(f);
    Put(d / "e.txt", "");
    f = std::fopen((d / "e.txt").c_str(), "rb");
    LineReader none(f);
    EXPECT_EQ(none.countLines(), 0);
    EXPECT_FALSE(none.next(b, e));
    std::fclose(f);
}

// --- scanners -------------------------------------------------------------

TEST(TextScanners, SeparatorsCommentsAndComplexNotation)
{
    EXPECT_EQ(Numbers("1.5+j2.5"), (std::vector<float>{1.5f, 2.5f}));
    EXPECT_EQ(Numbers("1.5-j2.5"), (std::vector<float>{1.5f, -2.5f}));
    EXPECT_EQ(Numbers("1.0,2.0 % remark 3.0"), (std::vector<float>{1.0f, 2.0f}));
    EXPECT_EQ(Numbers("% 1 2 3"), std::vector<float>{});
    EXPECT_EQ(Numbers(" \t,,"), std::vector<float>{});
    EXPECT_EQ(Numbers("j5"), std::vector<float>{5.0f});
    EXPECT_EQ(Numbers("1\t2,3 4\r5"), (std::vector<float>{1, 2, 3, 4}));
    EXPECT_EQ(Numbers("x 7"), (std::vector<float>{0, 7})); // a word that does not convert is a 0
}

TEST(TextScanners, McadRdCountsAndStores)
{
    Dir d;
    Put(d / "m.txt", "1 2 3\r\n4,5\n% only a remark\n6+j7\n");
    FILE *f = std::fopen((d / "m.txt").c_str(), "rb");
    LineReader in(f);
    IqRec r = Rec(0, "");
    EXPECT_EQ(MCadRd(in, true, &r.Len, true, false, &r, 0), 0);
    EXPECT_EQ(r.Len, 3); // seven numbers, three pairs
    std::vector<float> i(3), q(3);
    r.I = i.data();
    r.Q = q.data();
    EXPECT_EQ(MCadRd(in, false, &r.Len, true, false, &r, 3), 0);
    EXPECT_EQ(r.Len, 3);
    EXPECT_EQ(i, (std::vector<float>{1, 3, 5}));
    EXPECT_EQ(q, (std::vector<float>{2, 4, 6}));
    // Reading stops at the capacity instead of running past the arrays.
    std::vector<float> one(2, -1);
    r.Q = one.data();
    EXPECT_EQ(MCadRd(in, false, &r.Len, false, true, &r, 2), 0);
    EXPECT_EQ(r.Len, 2);
    EXPECT_EQ(one, (std::vector<float>{1, 2}));
    std::fclose(f);
}

TEST(TextScanners, AscRdLastValueWinsAndMissingLinesStayZero)
{
    Dir d;
    Put(d / "a.txt", "1 2\n\n3 4 5 6\n7");
    FILE *f = std::fopen((d / "a.txt").c_str(), "rb");
    LineReader in(f);
    std::vector<float> i(6, 0), q(6, 0);
    IqRec r = Rec(0, "");
    r.I = i.data();
    r.Q = q.data();
    AscRd(in, 6, true, false, &r);
    EXPECT_EQ(i, (std::vector<float>{1, 0, 5, 7, 0, 0}));
    EXPECT_EQ(q, (std::vector<float>{2, 0, 6, 0, 0, 0}));
    in.rewind();
    std::vector<float> z(6, 0);
    r.Q = z.data();
    AscRd(in, 6, false, true, &r);
    EXPECT_EQ(z, (std::vector<float>{2, 0, 6, 7, 0, 0}));
    std::fclose(f);
}

// --- round trips ------------------------------------------------------------

TEST(TextFormats, EveryWriterRoundTripsWithItsReader)
{
    Dir d;
    for (int n : {0, 1, 3, 1000}) {
        Data x = Random(n, unsigned(n));
        struct Case {
            int typ;
            int (*save)(IqRec);
            int (*load)(IqRec *);
            bool two;
        } cases[] = {{1, SaveMCadSgl, LoadMCadSgl, true},  {9, SaveMCadSgl, LoadCsapSgl, true},
                     {2, SaveMCadMix, LoadCsapMix, false}, {7, SaveDDspSgl, LoadDDspSgl, true},
                     {8, SaveDDspMix, LoadDDspMix, false}, {19, SaveDAB, LoadDAB, false}};
        for (const Case &c : cases) {
            SCOPED_TRACE("typ " + std::to_string(c.typ) + " n " + std::to_string(n));
            std::string pi = d / "rt.i", pq = c.two ? d / "rt.q" : "";
            ASSERT_EQ(c.save(x.rec(c.typ, pi, pq)), 0);
            IqRec r = Rec(c.typ, pi, pq);
            r.Rat = 123.0f;
            ASSERT_EQ(c.load(&r), 0);
            ExpectLoaded(r, x);
            EXPECT_EQ(r.Rat, 123.0f); // these formats carry no rate
            FreeIqRec(&r);
            r = Rec(c.typ, pi, pq);
            ASSERT_EQ(LoadDatFile(&r), 0);
            ExpectLoaded(r, x);
            FreeIqRec(&r);
        }
    }
    EXPECT_EQ(d.entries(), 2u); // no temporary files left behind
}

TEST(TextFormats, WrittenTextByteForByte)
{
    Dir d;
    Data x{{1.5f, -0.25f}, {1e-3f, 100.0f}};
    ASSERT_EQ(SaveMCadSgl(x.rec(1, d / "s.i", d / "s.q")), 0);
    EXPECT_EQ(Get(d / "s.i"), "1.5000000e+00\n-2.5000000e-01\n");
    EXPECT_EQ(Get(d / "s.q"), "1.0000000e-03\n1.0000000e+02\n");
    ASSERT_EQ(SaveMCadMix(x.rec(2, d / "m.asc")), 0);
    EXPECT_EQ(Get(d / "m.asc"), "1.5000000e+00 1.0000000e-03\n-2.5000000e-01 1.0000000e+02\n");
    ASSERT_EQ(SaveDAB(x.rec(19, d / "d.sym")), 0);
    EXPECT_EQ(Get(d / "d.sym"), "length_of_symbol:2\ncarriers:192\n 1.5000000e+00\n -2.5000000e-01\n"
                                "length_of_symbol:2\ncarriers:192\n 1.0000000e-03\n 1.0000000e+02\n");
}

TEST(TextFormats, DaDispHeaders)
{
    Dir d;
    Data x;
    x.i.assign(1000, 0.5f);
    x.q.assign(1000, -0.5f);
    ASSERT_EQ(SaveDDspSgl(x.rec(7, d / "h.i", d / "h.q", 1e6f)), 0);
    const std::string dateTime = "DATE (\\d\\d)-(\\d\\d)-(\\d{4})\nTIME (\\d\\d):(\\d\\d):(\\d\\d)\n";
    const std::string tail = "INTERVAL 1\\.000000E-03\nVERT_UNITS volt\nHORZ_UNITS sec\nCOMMENT\nDATA\n";
    std::string fi = Get(d / "h.i"), fq = Get(d / "h.q");
    EXPECT_TRUE(std::regex_match(fi.substr(0, fi.find("DATA\n") + 5),
                                 std::regex("DATASET i\nVERSION NEXT\nNUM SIGS 1\nSTORAGE MODE INTERLACED\nSIGNAL i\n" +
                                            dateTime + tail)))
        << fi.substr(0, 250);
    EXPECT_TRUE(std::regex_match(fq.substr(0, fq.find("DATA\n") + 5),
                                 std::regex("DATASET q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL q\n" +
                                            dateTime + tail)));
    EXPECT_EQ(fi.substr(fi.find("DATA\n") + 5, 28), "5.0000000e-01\n5.0000000e-01\n");
    ASSERT_EQ(SaveDDspMix(x.rec(8, d / "h.dsp", "", 1e6f)), 0);
    std::string fm = Get(d / "h.dsp");
    EXPECT_TRUE(std::regex_match(fm.substr(0, fm.find("DATA\n") + 5),
                                 std::regex("DATASET i_q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL i, q\n" +
                                            dateTime + tail)));
    EXPECT_EQ(fm.substr(fm.find("DATA\n") + 5, 29), "5.0000000e-01 -5.0000000e-01\n");
    // The interval is the record length in seconds, computed in float.
    x.i.resize(3);
    x.q.resize(3);
    ASSERT_EQ(SaveDDspMix(x.rec(8, d / "r.dsp", "", 7.0f)), 0);
    EXPECT_NE(Get(d / "r.dsp").find("\nINTERVAL " + Printf("%0.6E", double(3.0f / 7.0f)) + "\n"), std::string::npos);
}

// --- readers on hand-written files --------------------------------------------

TEST(TextFormats, ReadersOnHandWrittenFiles)
{
    Dir d;
    std::string i100, q90;
    for (int k = 0; k < 100; ++k)
        i100 += std::to_string(k) + "\r\n";
    for (int k = 0; k < 90; ++k)
        q90 += std::to_string(-k) + "\n";
    Put(d / "a.i", i100);
    Put(d / "a.q", q90);
    for (int typ : {1, 9}) {
        IqRec r = Rec(typ, d / "a.i", d / "a.q");
        ASSERT_EQ(LoadDatFile(&r), 0) << typ;
        EXPECT_EQ(r.Len, 90);
        EXPECT_EQ(r.I[89], 89.0f);
        EXPECT_EQ(r.Q[89], -89.0f);
        FreeIqRec(&r);
    }

    Put(d / "c.asc", "1 2\n3,4\n5");
    IqRec r = Rec(2, d / "c.asc");
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(r.Len, 2);
    EXPECT_EQ(std::vector<float>(r.I, r.I + 2), (std::vector<float>{1, 3}));
    EXPECT_EQ(std::vector<float>(r.Q, r.Q + 2), (std::vector<float>{2, 4}));
    FreeIqRec(&r);

    Put(d / "c.asc", "1.0-j0.5 % first\n2+j3\n");
    r = Rec(10, d / "c.asc");
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(std::vector<float>(r.I, r.I + 2), (std::vector<float>{1, 2}));
    EXPECT_EQ(std::vector<float>(r.Q, r.Q + 2), (std::vector<float>{-0.5f, 3}));
    FreeIqRec(&r);

    for (auto [text, len, q2] : {std::tuple{"1 2 3\n4 5 6", 3, 6.0f}, std::tuple{"1 2\n3 4 5", 3, 0.0f}}) {
        Put(d / "n.asc", text);
        r = Rec(23, d / "n.asc");
        r.Len = 1000; // an old count in the record plays no part
        ASSERT_EQ(LoadAscMixNoLF(&r), 0);
        EXPECT_EQ(r.Len, len);
        EXPECT_EQ(std::vector<float>(r.I, r.I + 3), (std::vector<float>{1, 2, 3}));
        EXPECT_EQ(r.Q[0], 4.0f);
        EXPECT_EQ(r.Q[2], q2);
        FreeIqRec(&r);
    }

    Put(d / "x.sym", "length_of_symbol:4 carriers:192\n1\n2\n3\n4\r\nlength_of_symbol:4\ncarriers:192\n5 6 7 8\n");
    r = Rec(19, d / "x.sym");
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(r.Len, 4);
    EXPECT_EQ(r.I[3], 4.0f);
    EXPECT_EQ(r.Q[0], 5.0f);
    EXPECT_EQ(r.Q[3], 8.0f);
    FreeIqRec(&r);

    // A word that does not convert ends its channel; the rest stays 0.
    Put(d / "b.i", "1\n2\nbad\n4\n");
    Put(d / "b.q", "1\n2\n3\n4\n");
    r = Rec(5, d / "b.i", d / "b.q");
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(std::vector<float>(r.I, r.I + 4), (std::vector<float>{1, 2, 0, 0}));
    EXPECT_EQ(r.Q[3], 4.0f);
    FreeIqRec(&r);

    Put(d / "x.dsp", "DATASET i_q\r\nCOMMENT\r\nDATA\r\n1 2\r\n3 4\r\n");
    r = Rec(8, d / "x.dsp");
    ASSERT_EQ(LoadDatFile(&r), 0);
    EXPECT_EQ(r.Len, 2);
    EXPECT_EQ(r.Q[1], 4.0f);
    FreeIqRec(&r);
}

// --- malformed input ----------------------------------------------------------

TEST(TextFormats, MalformedInputGivesAStatusAndNoArrays)
{
    Dir d;
    struct Bad {
        int typ;
        std::string text;
        int status;
    } cases[] = {
        {7, "", IQ_ERR_FORMAT},                                         // no DATA line
        {8, "DATASET i_q\nDATA 1 2\n1 2\n", IQ_ERR_FORMAT},             // DATA must stand alone
        {8, std::string(5000, 'x'), IQ_ERR_FORMAT},                     // junk, no line structure
        {19, "", IQ_ERR_FORMAT},                                        // no header word
        {19, "length_of_symbol 4\ncarriers:192\n1 2 3 4\n", IQ_ERR_FORMAT}, // no ':'
        {19, "length_of_symbol:\n1\n", IQ_ERR_FORMAT},                  // no count
        {19, "length_of_symbol:-4\ncarriers:192\n", IQ_ERR_FORMAT},     // negative count
        {19, "length_of_symbol:2000000000\ncarriers:192\n1\n", IQ_ERR_FORMAT},     // more than the file holds
        {19, "length_of_symbol:99999999999999999999\n1\n", IQ_ERR_FORMAT},         // beyond any integer
    };
    for (const Bad &b : cases) {
        Put(d / "bad.i", b.text);
        Put(d / "bad.q", b.text);
        IqRec r = Rec(b.typ, d / "bad.i", d / "bad.q");
        EscFlg = 0;
        EXPECT_EQ(LoadDatFile(&r), b.status) << b.typ << " " << b.text.substr(0, 40);
        EXPECT_EQ(r.I, nullptr);
        EXPECT_EQ(r.Q, nullptr);
        EXPECT_EQ(r.Len, 0);
    }

    // Empty files of the pure-number formats are valid empty records.
    for (int typ : {1, 2, 9, 23}) {
        Put(d / "bad.i", "");
        Put(d / "bad.q", "");
        IqRec r = Rec(typ, d / "bad.i", d / "bad.q");
        EXPECT_EQ(LoadDatFile(&r), 0) << typ;
        EXPECT_EQ(r.Len, 0);
        FreeIqRec(&r);
    }

    // Binary junk (NUL bytes, no line ends, bytes above 127) never crashes,
    // and whatever loads is a consistent record.
    std::mt19937 g(3);
    for (int round = 0; round < 20; ++round) {
        std::string junk(size_t(g() % 3000), '\0');
        for (char &c : junk)
            c = char(g());
        if (round % 2)
            junk = "DATA\n" + junk;
        Put(d / "bad.i", junk);
        Put(d / "bad.q", junk);
        for (int typ : {1, 2, 7, 8, 9, 19, 23}) {
            IqRec r = Rec(typ, d / "bad.i", d / "bad.q");
            int st = LoadDatFile(&r);
            if (st == 0) {
                EXPECT_GE(r.Len, 0);
                ASSERT_NE(r.I, nullptr);
                ASSERT_NE(r.Q, nullptr);
                volatile float sum = 0;
                for (int k = 0; k < r.Len; ++k)
                    sum = sum + r.I[k] + r.Q[k];
            } else {
                EXPECT_EQ(r.I, nullptr) << typ;
            }
            FreeIqRec(&r);
        }
    }

    // Missing files.
    for (int typ : {1, 2, 7, 8, 9, 19, 23}) {
        IqRec r = Rec(typ, d / "none.i", d / "none.q");
        EXPECT_EQ(LoadDatFile(&r), IQ_ERR_OPEN1) << typ;
    }
    Put(d / "ok.i", "1\n");
    Put(d / "ok.dsp", "DATA\n1\n");
    for (auto [typ, first] : {std::pair{1, "ok.i"}, {7, "ok.dsp"}, {9, "ok.i"}}) {
        IqRec r = Rec(typ, d / first, d / "none.q");
        EXPECT_EQ(LoadDatFile(&r), IQ_ERR_OPEN2) << typ;
        EXPECT_EQ(r.I, nullptr);
    }
}

TEST(TextFormats, FailedSaveKeepsTheOldFiles)
{
    Dir d;
    Put(d / "old.i", "old I\n");
    Put(d / "old.q", "old Q\n");
    Data x = Random(10);
    // The Q file cannot be created: neither file changes.
    EXPECT_EQ(SaveMCadSgl(x.rec(1, d / "old.i", d / "no/such/dir.q")), -1);
    EXPECT_EQ(SaveDDspSgl(x.rec(7, d / "old.i", d / "no/such/dir.q")), -1);
    EXPECT_EQ(Get(d / "old.i"), "old I\n");
    // A record that claims samples it does not hold writes nothing.
    IqRec bad = x.rec(19, d / "old.q");
    bad.Q = nullptr;
    for (auto save : {SaveMCadMix, SaveDDspMix, SaveDAB})
        EXPECT_EQ(save(bad), -1);
    bad = x.rec(1, d / "old.i", d / "old.q");
    bad.Len = -1;
    EXPECT_EQ(SaveMCadSgl(bad), -1);
    EXPECT_EQ(Get(d / "old.q"), "old Q\n");
    EXPECT_EQ(SaveDAB(x.rec(19, d / "no/such/dir.sym")), -1);
    EXPECT_EQ(d.entries(), 2u);
    // A successful save replaces the file and keeps its permissions.
    fs::permissions(d / "old.q", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(SaveDAB(x.rec(19, d / "old.q")), 0);
    EXPECT_EQ(fs::status(d / "old.q").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Get(d / "old.q").substr(0, 20), "length_of_symbol:10\n");
}

// Large files are read in two parts and written in blocks on two threads;
// the result must not show where the parts meet.
// One number per line over many read blocks and buffer growths: every value
// where fscanf("%f") puts it, a blank line counted but empty, and the first
// word that does not convert ending its channel, the rest staying 0.
TEST(TextFormats, OneNumberPerLineOverManyBlocks)
{
    Dir d;
    std::mt19937 g(9);
    constexpr int n = 300000, stop = 200000;
    std::string ti, tq;
    std::vector<float> wi, wq;
    for (int k = 0; k < n; ++k) {
        for (auto [text, want] : {std::pair{&ti, &wi}, std::pair{&tq, &wq}}) {
            float v = float(int(g() % 2000001) - 1000000) * std::pow(10.0f, float(int(g() % 13) - 9));
            std::string w = Printf(k % 3 ? "%0.7e" : "%.9g", v);
            if (text == &tq && k == stop)
                w = "x" + w;
            *text += w + (k % 5 ? "\n" : " \r\n");
            want->push_back(text == &tq && k >= stop ? 0.0f : std::strtof(w.c_str(), nullptr));
        }
        if (k == 1000)
            ti += "\n";
    }
    Put(d / "big.i", ti);
    Put(d / "big.q", tq);
    IqRec r = Rec(1, d / "big.i", d / "big.q");
    ASSERT_EQ(LoadDatFile(&r), 0);
    ASSERT_EQ(r.Len, n); // the shorter file's lines
    for (int k = 0; k < n; ++k) {
        ASSERT_EQ(r.I[k], wi[size_t(k)]) << k;
        ASSERT_EQ(r.Q[k], wq[size_t(k)]) << k;
    }
    FreeIqRec(&r);
}

TEST(TextFormats, LargeFilesLoadAndSaveLikeSmallOnes)
{
    Dir d;
    bool parity[2] = {false, false}; // numbers before the split odd or even: both must be seen
    for (unsigned seed = 11; seed < 15 || !(parity[0] && parity[1]); ++seed) {
        ASSERT_LT(seed, 40u);
        std::mt19937 g(seed);
        std::vector<float> nums;
        std::vector<std::pair<size_t, size_t>> lineEnds; // (offset after LF, numbers so far)
        std::string text;
        while (text.size() < 1500000) {
            int perLine = int(g() % 5); // 0..4 numbers, so pairs run across lines
            for (int k = 0; k < perLine; ++k) {
                float v = float(int(g() % 2000000) - 1000000) / 64.0f;
                nums.push_back(v);
                text += (k ? (g() % 2 ? "," : "\t") : "") + Printf("%.9g", v);
            }
            text += g() % 7 == 0 ? " % remark 1 2 3\r\n" : "\n";
            lineEnds.emplace_back(text.size(), nums.size());
        }
        for (auto [end, count] : lineEnds)
            if (end > text.size() / 2) {
                parity[count % 2] = true;
                break;
            }
        Put(d / "big.asc", text);
        IqRec r = Rec(2, d / "big.asc");
        ASSERT_EQ(LoadDatFile(&r), 0);
        ASSERT_EQ(r.Len, int(nums.size() / 2));
        for (int k = 0; k < r.Len; ++k) {
            ASSERT_EQ(r.I[k], nums[2 * k]) << k;
            ASSERT_EQ(r.Q[k], nums[2 * k + 1]) << k;
        }
        FreeIqRec(&r);
    }

    Data x = Random(300001, 5);
    ASSERT_EQ(SaveMCadMix(x.rec(2, d / "big.asc")), 0);
    ASSERT_EQ(SaveDDspMix(x.rec(8, d / "big.dsp")), 0);
    for (auto [typ, name] : {std::pair{2, "big.asc"}, {8, "big.dsp"}}) {
        IqRec r = Rec(typ, d / name);
        ASSERT_EQ(LoadDatFile(&r), 0);
        ExpectLoaded(r, x);
        FreeIqRec(&r);
    }
    std::string body = Get(d / "big.asc");
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 300001);
    std::string last = Printf("%0.7e", x.i.back()) + " " + Printf("%0.7e", x.q.back()) + "\n";
    EXPECT_EQ(body.substr(body.size() - last.size() - 1), "\n" + last);
}

// The block-wise sweep of the one-file readers must read exactly what the
// line-wise scanners read, on any mix of separators, comments, CRs, 'j's,
// NUL bytes and junk.
TEST(TextScanners, BlockSweepReadsWhatTheLineScannersRead)
{
    Dir d;
    std::mt19937 g(17);
    // The long "%e" forms take the sweep's fast way, also with a 'j', a word
    // glued on or a comment right behind them.
    const std::string pieces[] = {"1.5", "-2", "+3e2", "j4", "-j5", "+j", "x", " ", ",", "\t", "%", "\r",
                                  "\n", "\n", "\n", "\v", "0x1p3", "nan", "-inf", "7-j8", std::string(1, '\0'),
                                  "1e999", ".5e-3", "1.2345678e-03", "-9.8765432E+01", "+j4.0000000e+00",
                                  "-j1.0000001e-07", "2.5000000e+00x", "3.1415927e+00%", "1.2345678e-030",
                                  "1.2345678e-03.5", "1.23456789e+01", "8.e+01\r\n"};
    constexpr size_t kPieces = std::size(pieces);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        int n = int(g() % 60);
        for (int k = 0; k < n; ++k)
            text += k % 2 ? pieces[g() % kPieces] : (g() % 3 ? " " : "");
        if (g() % 2)
            text += std::string(1, '\0') + "9";
        std::vector<float> want;
        size_t from = 0;
        while (from < text.size()) { // lines as the line reader gives them
            size_t lf = text.find('\n', from);
            std::string line = text.substr(from, lf == std::string::npos ? std::string::npos : lf - from);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::string cut = line.substr(0, line.find('\0')); // a C string ends at NUL
            for (float v : Numbers(cut))
                want.push_back(v);
            from = lf == std::string::npos ? text.size() : lf + 1;
        }
        Put(d / "s.txt", text);
        FILE *f = std::fopen((d / "s.txt").c_str(), "rb");
        LineReader in(f, 8);
        std::vector<float> got;
        CollectValues(in, got);
        std::fclose(f);
        ASSERT_EQ(got.size(), want.size()) << round;
        for (size_t k = 0; k < got.size(); ++k)
            ASSERT_TRUE(got[k] == want[k] || (std::isnan(got[k]) && std::isnan(want[k]))) << round << " " << k;
    }
}

TEST(TextFormats, SaveThroughASymbolicLinkReplacesItsTarget)
{
    Dir d;
    Put(d / "target.sym", "old\n");
    fs::create_symlink(d / "target.sym", d / "link.sym");
    Data x = Random(3);
    ASSERT_EQ(SaveDAB(x.rec(19, d / "link.sym")), 0);
    EXPECT_TRUE(fs::is_symlink(d / "link.sym"));
    EXPECT_EQ(Get(d / "target.sym").substr(0, 19), "length_of_symbol:3\n");
}
