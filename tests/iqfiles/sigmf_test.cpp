// SigMF recordings: what SaveSigMF writes and how its two files are saved,
// every complex datatype, captures with header and trailing bytes, and
// metadata that is not what it should be.
#include "VmKalLib.h"
#include "common/as_user.h"
#include "common/test_files.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

void Put(const fs::path &p, const std::string &bytes) { std::ofstream(p, std::ios::binary) << bytes; }

// v as sizeof(T) bytes in the given byte order.
template <class T>
void Append(std::string &b, T v, bool big)
{
    char raw[sizeof(T)];
    std::memcpy(raw, &v, sizeof v);
    if (big)
        std::reverse(raw, raw + sizeof v);
    b.append(raw, sizeof v);
}

std::string Meta(const Json &global, const Json &captures = Json::array({{{"core:sample_start", 0}}}))
{
    return Json{{"global", global}, {"captures", captures}, {"annotations", Json::array()}}.dump();
}

class SigMF : public IqFilesTest {
protected:
    SigMF() : IqFilesTest("iqsigmf") {}
    int Load(const fs::path &name, Rec &r)
    {
        std::snprintf(r.INam, sizeof r.INam, "%s", name.c_str());
        r.Typ = 24;
        return LoadDatFile(&r);
    }
    Json MetaOf(const char *name) { return Json::parse(FileText(at(name))); }
};

// The capture's datetime as seconds since 1970, or -1 when it is not
// "YYYY-MM-DDTHH:MM:SSZ".
long long Seconds(const std::string &text)
{
    std::tm tm{};
    const char *end = strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &tm);
    return end && *end == '\0' ? (long long)timegm(&tm) : -1;
}

} // namespace

TEST_F(SigMF, ASavedRecordingHoldsItsMetadataAndLoadsByEitherName)
{
    Rec data;
    FillData(data);
    data.Rat = 30.72e6f;
    long long before = std::time(nullptr);
    IqSetSaveFrequency(2.4e9);
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("rec.sigmf-meta"))), 0) << strerror(errno);
    long long after = std::time(nullptr);

    Json m = MetaOf("rec.sigmf-meta");
    EXPECT_EQ(m["global"]["core:datatype"], "cf32_le");
    EXPECT_EQ(m["global"]["core:sample_rate"].get<double>(), 30720000.0);
    EXPECT_EQ(m["global"]["core:version"], "1.0.0");
    EXPECT_EQ(m["global"]["core:recorder"], "Kalmira v4.37");
    ASSERT_EQ(m["captures"].size(), 1u);
    EXPECT_EQ(m["captures"][0]["core:sample_start"], 0);
    EXPECT_EQ(m["captures"][0]["core:frequency"].get<double>(), 2.4e9);
    long long stamp = Seconds(m["captures"][0]["core:datetime"]);
    EXPECT_TRUE(stamp >= before && stamp <= after) << m["captures"][0]["core:datetime"];
    EXPECT_EQ(m["annotations"], Json::array());
    // The dataset is cf32_le: the layout of a KAL file.
    ASSERT_EQ(SaveKAL(Rec::Copy(data, at("same.kal"))), 0);
    EXPECT_TRUE(FileText(at("rec.sigmf-data")) == FileText(at("same.kal")));

    for (const char *name : {"rec.sigmf-meta", "rec.sigmf-data", "rec"}) {
        Rec back;
        ASSERT_EQ(Load(at(name), back), 0) << name;
        EXPECT_TRUE(SameSamples(back, data)) << name;
        EXPECT_EQ(back.Rat, 30.72e6f);
    }
    // The name without an ending gets both.
    data.Rat = 0;
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("plain"))), 0);
    EXPECT_TRUE(fs::exists(at("plain.sigmf-meta")) && fs::exists(at("plain.sigmf-data")));
    EXPECT_FALSE(fs::exists(at("plain")));
    Json plain = MetaOf("plain.sigmf-meta");
    EXPECT_FALSE(plain["global"].contains("core:sample_rate")) << "no rate is known";
    EXPECT_FALSE(plain["captures"][0].contains("core:frequency")) << "the frequency was for one save";
}

TEST_F(SigMF, TheFrequencyIsForTheNextSaveOfItsThreadOnly)
{
    Rec data;
    FillData(data, 10);
    Rec hollow;
    hollow.Len = 3;
    IqSetSaveFrequency(1e9);
    EXPECT_EQ(SaveSigMF(Rec::Copy(hollow, at("bad"))), -1);
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("a"))), 0);
    EXPECT_FALSE(MetaOf("a.sigmf-meta")["captures"][0].contains("core:frequency")) << "a failed save forgets it";

    IqSetSaveFrequency(1e9);
    ASSERT_EQ(SaveKAL(Rec::Copy(data, at("x.kal"))), 0);
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("b"))), 0);
    EXPECT_FALSE(MetaOf("b.sigmf-meta")["captures"][0].contains("core:frequency")) << "any writer forgets it";

    std::thread([] { IqSetSaveFrequency(5e9); }).join();
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("c"))), 0);
    EXPECT_FALSE(MetaOf("c.sigmf-meta")["captures"][0].contains("core:frequency")) << "set on another thread";

    for (double unknown : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        IqSetSaveFrequency(unknown);
        ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("d"))), 0);
        EXPECT_FALSE(MetaOf("d.sigmf-meta")["captures"][0].contains("core:frequency")) << unknown;
    }
}

namespace {

// Four complex samples of type T in the given byte order: I takes vals, Q
// takes them backwards.
template <class T>
void CheckType(const fs::path &dir, const std::string &type, const std::vector<T> &vals)
{
    for (bool big : {false, true}) {
        for (std::string name : {type + (big ? "_be" : "_le"), sizeof(T) == 1 && !big ? type : std::string()}) {
            if (name.empty())
                continue;
            SCOPED_TRACE(name);
            std::string bytes;
            for (size_t k = 0; k < vals.size(); ++k) {
                Append(bytes, vals[k], big);
                Append(bytes, vals[vals.size() - 1 - k], big);
            }
            Put(dir / "t.sigmf-data", bytes);
            Put(dir / "t.sigmf-meta", Meta({{"core:datatype", name}, {"core:version", "1.0.0"}}));
            Rec r;
            std::snprintf(r.INam, sizeof r.INam, "%s", (dir / "t.sigmf-meta").c_str());
            ASSERT_EQ(LoadSigMF(&r), 0);
            ASSERT_EQ(r.Len, int(vals.size()));
            for (size_t k = 0; k < vals.size(); ++k) {
                EXPECT_EQ(r.I[k], float(vals[k])) << k;
                EXPECT_EQ(r.Q[k], float(vals[vals.size() - 1 - k])) << k;
            }
        }
    }
}

} // namespace

TEST_F(SigMF, EveryComplexDatatypeLoadsAsTheValuesItHolds)
{
    CheckType<double>(dir, "cf64", {1.5, -2.25, 1e-3, 1e10});
    CheckType<float>(dir, "cf32", {1.5f, -2.25f, 1e-3f, 3e38f});
    CheckType<int32_t>(dir, "ci32", {INT32_MIN, INT32_MAX, 123456, -5});
    CheckType<uint32_t>(dir, "cu32", {0u, UINT32_MAX, 3000000000u, 5u});
    CheckType<int16_t>(dir, "ci16", {-32768, 32767, 1, -5});
    CheckType<uint16_t>(dir, "cu16", {0, 65535, 40000, 5});
    CheckType<int8_t>(dir, "ci8", {-128, 127, 0, -5});
    CheckType<uint8_t>(dir, "cu8", {0, 255, 128, 5});
}

// Samples before the first capture, captures after header bytes (also two
// at the same sample), trailing bytes and a partial sample: every sample in
// order, nothing else.
TEST_F(SigMF, CapturesAreConcatenatedOverHeaderAndTrailingBytes)
{
    std::string bytes;
    auto samples = [&](int from, int to) {
        for (int k = from; k < to; ++k) {
            Append<int16_t>(bytes, int16_t(k), true);
            Append<int16_t>(bytes, int16_t(10 + k), true);
        }
    };
    samples(0, 2);
    bytes += "HHH";
    samples(2, 5);
    bytes += "h";
    samples(5, 8);
    bytes += "TTTTTT";
    Json global = {{"core:datatype", "ci16_be"}, {"core:sample_rate", 48000}, {"core:offset", 1000},
                   {"core:trailing_bytes", 6}};
    // The recording was cut from a stream at its sample 1000, and the
    // captures count in the stream's samples.
    Json caps = Json::array({{{"core:sample_start", 1002}, {"core:header_bytes", 3}},
                             {{"core:sample_start", 1005}, {"core:header_bytes", 1}},
                             {{"core:sample_start", 1005}}});
    Put(at("c.sigmf-data"), bytes);
    Put(at("c.sigmf-meta"), Meta(global, caps));
    auto check = [](const Rec &r) {
        ASSERT_EQ(r.Len, 8);
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(r.I[k], float(k));
            EXPECT_EQ(r.Q[k], float(10 + k));
        }
        EXPECT_EQ(r.Rat, 48000.0f);
    };
    Rec r;
    ASSERT_EQ(Load(at("c.sigmf-meta"), r), 0);
    check(r);

    // A partial sample at the end is no sample; without the trailing bytes
    // the last ones would be read as samples.
    Put(at("c.sigmf-data"), bytes + "x");
    ASSERT_EQ(Load(at("c.sigmf-data"), r), 0);
    check(r);
    global.erase("core:trailing_bytes");
    Put(at("c.sigmf-meta"), Meta(global, caps));
    ASSERT_EQ(Load(at("c"), r), 0);
    EXPECT_EQ(r.Len, 9);

    // core:dataset names the dataset beside the metadata.
    global["core:trailing_bytes"] = 6;
    global["core:dataset"] = "other.bin";
    fs::rename(at("c.sigmf-data"), at("other.bin"));
    fs::resize_file(at("other.bin"), bytes.size());
    Put(at("nc.sigmf-meta"), Meta(global, caps));
    Rec n;
    ASSERT_EQ(Load(at("nc.sigmf-meta"), n), 0);
    check(n);
}

TEST_F(SigMF, MetadataThatIsNotRightGivesAStatusAndNoArrays)
{
    std::string data(64, '\0');
    const Json ok = {{"core:datatype", "cf32_le"}};
    auto caps = [](Json c) { return Json::array({c}); };
    struct Case {
        std::string meta;
        int status;
    } cases[] = {
        {"{\"global\": {\"core:datatype\": \"cf32_le\"", IQ_ERR_FORMAT}, // cut short
        {"[1, 2]", IQ_ERR_FORMAT},
        {"", IQ_ERR_FORMAT},
        {Meta({{"core:version", "1.0.0"}}), IQ_ERR_FORMAT},                 // no datatype
        {"{\"captures\": []}", IQ_ERR_FORMAT},                                // no global
        {Meta({{"core:datatype", 7}}), IQ_ERR_FORMAT},
        {Meta({{"core:datatype", "cf32_le"}, {"core:trailing_bytes", -1}}), IQ_ERR_FORMAT},
        {"{\"global\": [], \"captures\": []}", IQ_ERR_FORMAT},
        {Meta(ok, Json::object()), IQ_ERR_FORMAT},                            // captures not a list
        {Meta(ok, caps({{"core:sample_start", "0"}})), IQ_ERR_FORMAT},
        {Meta(ok, caps({{"core:sample_start", -1}})), IQ_ERR_FORMAT},
        {Meta(ok, caps({{"core:sample_start", 1.5}})), IQ_ERR_FORMAT},
        {Meta(ok, caps({{"core:datetime", "2024-01-01T00:00:00Z"}})), IQ_ERR_FORMAT}, // no start
        {Meta(ok, Json::array({{{"core:sample_start", 4}}, {{"core:sample_start", 2}}})), IQ_ERR_FORMAT},
        {Meta(ok, Json::array({1, 2})), IQ_ERR_FORMAT},
        // A capture before the stream's sample where the dataset begins.
        {Meta({{"core:datatype", "cf32_le"}, {"core:offset", 10}}, caps({{"core:sample_start", 9}})),
         IQ_ERR_FORMAT},
        {Meta({{"core:datatype", "cf32_le"}, {"core:offset", -1}}), IQ_ERR_FORMAT},
        {Meta({{"core:datatype", "cf32_le"}, {"core:dataset", "../c.sigmf-data"}}), IQ_ERR_FORMAT},
        {Meta({{"core:datatype", "rf32_le"}}), IQ_ERR_DATATYPE},
        {Meta({{"core:datatype", "ri16_le"}}), IQ_ERR_DATATYPE},
        {Meta({{"core:datatype", "cf16_le"}}), IQ_ERR_DATATYPE},
        {Meta({{"core:datatype", "cf32"}}), IQ_ERR_DATATYPE},
        {Meta({{"core:datatype", "cf32_le"}, {"core:num_channels", 2}}), IQ_ERR_DATATYPE},
        {Meta({{"core:datatype", "cf32_le"}, {"core:metadata_only", true}}), IQ_ERR_DATATYPE},
        // Counts beyond the 64 bytes of the dataset, up to the largest a number can say.
        {Meta(ok, caps({{"core:sample_start", 9}})), IQ_ERR_SHORT},
        {Meta(ok, caps({{"core:sample_start", 18446744073709551615ull}})), IQ_ERR_SHORT},
        {Meta(ok, caps({{"core:sample_start", 0}, {"core:header_bytes", 65}})), IQ_ERR_SHORT},
        {Meta(ok, Json::array({{{"core:sample_start", 0}}, {{"core:sample_start", 3}, {"core:header_bytes", 41}}})),
         IQ_ERR_SHORT},
        {Meta({{"core:datatype", "cf32_le"}, {"core:trailing_bytes", 65}}), IQ_ERR_SHORT},
        {std::string(100, '[') + std::string(100, ']'), IQ_ERR_FORMAT},
        {"{\"global\": {\"core:datatype\": \"cf32_le\", \"x\": " + std::string(100, '[') + std::string(100, ']') +
             "}}",
         IQ_ERR_FORMAT}, // nested too deep
    };
    Put(at("c.sigmf-data"), data);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.meta.substr(0, 120));
        Put(at("c.sigmf-meta"), c.meta);
        Rec r;
        r.fill({1, 2}, {3, 4});
        std::snprintf(r.INam, sizeof r.INam, "%s", at("c.sigmf-meta").c_str());
        EXPECT_EQ(LoadSigMF(&r), c.status);
        EXPECT_TRUE(r.empty());
        EXPECT_EQ(r.Len, 0);
    }
    // Nested no deeper than allowed, and fields the reader does not know, are fine.
    Put(at("c.sigmf-meta"), "{\"global\": {\"core:datatype\": \"cf32_le\", \"x\": " + std::string(40, '[') +
                               std::string(40, ']') + "}, \"annotations\": [{\"core:sample_start\": \"no\"}]}");
    Rec fine;
    EXPECT_EQ(Load(at("c.sigmf-meta"), fine), 0);
    EXPECT_EQ(fine.Len, 8);

    // Metadata too large to be a recording's is not read at all, and is
    // said to be too large.
    Put(at("c.sigmf-meta"), Meta(ok));
    fs::resize_file(at("c.sigmf-meta"), (16 << 20) + 1);
    Rec big;
    errno = 0;
    EXPECT_EQ(Load(at("c.sigmf-meta"), big), IQ_ERR_OPEN1);
    EXPECT_EQ(errno, EFBIG);
    EXPECT_STREQ(big.QNam, at("c.sigmf-meta").c_str());
    EXPECT_TRUE(big.empty());

    // Missing files are the first (metadata) or the second (dataset) file,
    // and QNam names the one that is missing, whichever name was given.
    Rec none;
    errno = 0;
    EXPECT_EQ(Load(at("none.sigmf-data"), none), IQ_ERR_OPEN1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_STREQ(none.QNam, at("none.sigmf-meta").c_str());
    Put(at("c.sigmf-meta"), Meta(ok));
    fs::remove(at("c.sigmf-data"));
    errno = 0;
    EXPECT_EQ(Load(at("c.sigmf-meta"), none), IQ_ERR_OPEN2);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_STREQ(none.QNam, at("c.sigmf-data").c_str());
    EXPECT_TRUE(none.empty());
    Put(at("c.sigmf-meta"), Meta({{"core:datatype", "cf32_le"}, {"core:dataset", "gone.bin"}}));
    EXPECT_EQ(Load(at("c"), none), IQ_ERR_OPEN2);
    EXPECT_STREQ(none.QNam, at("gone.bin").c_str());
}

// A recording whose first capture lies beyond the stream's sample where the
// dataset begins keeps the samples before it, as one without an offset does.
TEST_F(SigMF, CapturesCountFromTheOffsetOfTheRecording)
{
    std::string bytes;
    for (int k = 0; k < 6; ++k) {
        Append<float>(bytes, float(k), false);
        Append<float>(bytes, float(-k), false);
    }
    Put(at("o.sigmf-data"), bytes);
    Put(at("o.sigmf-meta"), Meta({{"core:datatype", "cf32_le"}, {"core:offset", 5000000000ull}},
                                 Json::array({{{"core:sample_start", 5000000002ull}}})));
    Rec r;
    ASSERT_EQ(Load(at("o.sigmf-meta"), r), 0);
    ASSERT_EQ(r.Len, 6);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(r.I[k] == float(k) && r.Q[k] == float(-k)) << k;
    // The stream's numbering, taken as the dataset's, would run far beyond it.
    Put(at("o.sigmf-meta"), Meta({{"core:datatype", "cf32_le"}, {"core:offset", 4}},
                                 Json::array({{{"core:sample_start", 11}}})));
    EXPECT_EQ(Load(at("o.sigmf-meta"), r), IQ_ERR_SHORT);
}

// Names in capitals find their partner in capitals; a file that is no
// recording's name (an archive, metadata named otherwise) is said to be so
// instead of reported missing under a name the user never gave.
TEST_F(SigMF, NamesInCapitalsAndNamesOfOtherFiles)
{
    Rec data;
    FillData(data, 20);
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("UP.SIGMF-META"))), 0);
    EXPECT_TRUE(fs::exists(at("UP.SIGMF-DATA")) && !fs::exists(at("UP.sigmf-data")));
    for (const char *name : {"UP.SIGMF-META", "UP.SIGMF-DATA"}) {
        Rec back;
        ASSERT_EQ(Load(at(name), back), 0) << name;
        EXPECT_TRUE(SameSamples(back, data)) << name;
    }
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("low.sigmf-meta"))), 0);
    fs::rename(at("low.sigmf-meta"), at("low.Sigmf-Meta"));
    Rec mixed;
    EXPECT_EQ(Load(at("low.Sigmf-Meta"), mixed), 0) << "a mixed case finds the usual ending";
    fs::rename(at("low.Sigmf-Meta"), at("low.sigmf-meta"));

    Put(at("rec.sigmf"), std::string(1024, '\0'));
    Put(at("meta.json"), FileText(at("UP.SIGMF-META")));
    for (const char *name : {"rec.sigmf", "meta.json"}) {
        Rec r;
        r.fill({1}, {2});
        EXPECT_EQ(Load(at(name), r), IQ_ERR_NAME) << name;
        EXPECT_TRUE(r.empty());
    }
    // A file beside a recording of its name is no reason to refuse it.
    Put(at("low"), "notes");
    Rec beside;
    EXPECT_EQ(Load(at("low"), beside), 0);
    EXPECT_TRUE(SameSamples(beside, data));
}

TEST_F(SigMF, AnAbortFromAnotherThreadStopsTheLoad)
{
    Rec data;
    FillData(data, 60000);
    ASSERT_EQ(SaveSigMF(Rec::Copy(data, at("r"))), 0);
    // The event hook runs on the loading thread; it lets another thread raise
    // the flag and waits until it has.
    static std::atomic<int> calls;
    calls = 0;
    IqSetEventHook([] {
        if (++calls == 2)
            std::thread([] { EscFlg = 1; }).join();
    });
    Rec r;
    EXPECT_EQ(Load(at("r"), r), IQ_ERR_ABORT);
    IqSetEventHook(nullptr);
    EXPECT_TRUE(r.empty());
    EXPECT_EQ(EscFlg, 0);
    EXPECT_EQ(calls, 2);
}

// The save policy of every writer, on both files of a recording.
TEST_F(SigMF, NeitherFileIsReplacedUnlessBothAre)
{
    Rec data;
    FillData(data, 100);
    auto old = [&] {
        Put(at("r.sigmf-meta"), "old meta");
        Put(at("r.sigmf-data"), "old data");
    };
    auto unchanged = [&] {
        return FileText(at("r.sigmf-meta")) == "old meta" && FileText(at("r.sigmf-data")) == "old data";
    };
    old();
    EscFlg = 1;
    errno = 0;
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, at("r.sigmf-meta"))), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(EscFlg, 0);
    EXPECT_TRUE(unchanged());

    // A dataset that cannot be written (a folder) keeps the metadata as it was.
    fs::remove(at("r.sigmf-data"));
    fs::create_directory(at("r.sigmf-data"));
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, at("r.sigmf-meta"))), -1);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(FileText(at("r.sigmf-meta")), "old meta");
    fs::remove(at("r.sigmf-data"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "no file left behind";

    // Names that cannot stand for two files side by side.
    fs::create_directory(at("folder"));
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, at("folder"))), -1);
    EXPECT_EQ(errno, EISDIR);
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, at("fifo"))), -1);
    EXPECT_EQ(errno, ESPIPE);
    // A device; root gets a private one, so that a fault never writes into /dev.
    fs::path null = "/dev/null";
    if (geteuid() == 0 && mknod(at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        null = at("null");
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, null)), -1);
    EXPECT_EQ(errno, ESPIPE);
    EXPECT_FALSE(fs::exists(null.string() + ".sigmf-meta"));
    std::string longName = (dir / std::string(250 - dir.string().size(), 'n')).string();
    EXPECT_EQ(SaveSigMF(Rec::Copy(data, longName)), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);

    // A metadata file the caller may not write: refused, the dataset untouched.
    TestUser u = UnprivilegedUser();
    if (!u.ok)
        GTEST_SKIP() << u.why;
    old();
    fs::permissions(dir, fs::perms::all);
    for (const char *name : {"r.sigmf-meta", "r.sigmf-data"})
        ASSERT_EQ(chown(at(name).c_str(), u.uid, u.gid), 0);
    ASSERT_EQ(chmod(at("r.sigmf-meta").c_str(), 0444), 0);
    EXPECT_UNPRIVILEGED(AsUnprivileged([&]() -> std::string {
        errno = 0;
        int st = SaveSigMF(Rec::Copy(data, at("r")));
        if (st != -1 || errno != EACCES)
            return "status " + std::to_string(st) + " " + strerror(errno);
        return unchanged() ? "" : "a file changed";
    }));
}
