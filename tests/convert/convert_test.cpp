// kalmira-convert: the argument parser directly, and the built program end
// to end on real files.
#include "common/test_files.h"
#include "convert.h"

#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Parse(std::vector<const char *> args, kconv::Options &opt, std::string &err)
{
    args.insert(args.begin(), "kalmira-convert");
    return kconv::ParseArgs(int(args.size()), args.data(), opt, err);
}

TEST(ConvertArgs, FormatsByIndexOrNameAndPathsByFileCount)
{
    EXPECT_EQ(kconv::ParseFormat("22"), 22);
    EXPECT_EQ(kconv::ParseFormat("kal"), 22);
    EXPECT_EQ(kconv::ParseFormat("mlab-bin"), 3);
    EXPECT_EQ(kconv::ParseFormat("24"), -1);
    EXPECT_EQ(kconv::ParseFormat("-1"), -1);
    EXPECT_EQ(kconv::ParseFormat("3x"), -1);
    EXPECT_EQ(kconv::ParseFormat(""), -1);

    kconv::Options o;
    std::string err;
    ASSERT_TRUE(Parse({"--from", "mlab-bin", "--to", "kal", "--guard", "7", "--rate", "1e6",
                       "--append", "i.mat", "q.mat", "out.kal"},
                      o, err))
        << err;
    EXPECT_EQ(o.from, 3);
    EXPECT_EQ(o.to, 22);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"i.mat", "q.mat"}));
    EXPECT_EQ(o.outputs, (std::vector<std::string>{"out.kal"}));
    EXPECT_EQ(o.guard, 7);
    EXPECT_EQ(*o.rate, 1e6);
    EXPECT_TRUE(o.append);

    ASSERT_TRUE(Parse({"--info", "--from", "4", "--", "-odd-name.mat"}, o, err)) << err;
    EXPECT_EQ(o.mode, kconv::Mode::Info);
    EXPECT_EQ(o.inputs, std::vector<std::string>{"-odd-name.mat"});
}

TEST(ConvertArgs, UsageErrorsSayWhatIsWrong)
{
    kconv::Options o;
    std::string err;
    struct Case {
        std::vector<const char *> args;
        const char *needle;
    } cases[] = {
        {{"--from", "kal", "--to", "kal", "a.kal"}, "1 input and 1 output"},
        {{"--from", "kal", "--to", "mlab-bin", "a.kal", "i.mat"}, "1 input and 2 output"},
        {{"--from", "nope", "--to", "kal", "a", "b"}, "unknown format 'nope'"},
        {{"--from", "kal", "--to", "lecroy", "a", "b", "c"}, "can only be read"},
        {{"--from", "kal", "--to", "kal", "--guard", "-3", "a", "b"}, "--guard"},
        {{"--from", "kal", "--to", "kal", "--guard", "99999999999", "a", "b"}, "--guard"},
        {{"--from", "kal", "--to", "kal", "--rate", "0", "a", "b"}, "--rate"},
        {{"--from", "kal", "--to", "kal", "--rate", "fast", "a", "b"}, "--rate"},
        {{"--from", "kal", "--to", "kal", "--rate"}, "needs a value"},
        {{"--to", "kal", "a", "b"}, "--from"},
        {{"--from", "kal", "a", "b"}, "--to"},
        {{"--from", "kal", "--to", "kal", "--verbose", "a", "b"}, "unknown option"},
        {{"--info", "--from", "kal", "--guard", "1", "a"}, "--info takes no"},
    };
    for (const Case &c : cases) {
        err.clear();
        EXPECT_FALSE(Parse(c.args, o, err)) << c.needle;
        EXPECT_NE(err.find(c.needle), std::string::npos) << err;
    }
}

class ConvertTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = FreshTestDir("kalmira-convert").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string P(const std::string &name) const { return dir_ + "/" + name; }

    // Runs the built program; returns its exit status, output in out_.
    int Tool(const std::string &args)
    {
        std::string cmd = std::string(KALMIRA_CONVERT) + " " + args + " 2>&1";
        FILE *p = popen(cmd.c_str(), "r");
        out_.clear();
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out_.append(buf, n);
        int st = pclose(p);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }

    // Writes a KAL file holding I = values and Q = -values.
    void Kal(const std::string &name, const std::vector<float> &values)
    {
        IqRec r{};
        snprintf(r.INam, sizeof r.INam, "%s", P(name).c_str());
        std::vector<float> q(values);
        for (float &v : q)
            v = -v;
        r.Len = int(values.size());
        r.I = const_cast<float *>(values.data());
        r.Q = q.data();
        ASSERT_EQ(SaveKAL(r), 0);
    }

    IqRec Load(int typ, const std::string &i, const std::string &q = "")
    {
        IqRec r{};
        r.Typ = typ;
        snprintf(r.INam, sizeof r.INam, "%s", P(i).c_str());
        snprintf(r.QNam, sizeof r.QNam, "%s", q.empty() ? "" : P(q).c_str());
        EXPECT_EQ(LoadDatFile(&r), 0) << i;
        return r;
    }

    size_t Files() const
    {
        return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
    }

    std::string dir_, out_;
};

TEST_F(ConvertTool, ConvertsThroughTwoFileFormatsAndBackUnchanged)
{
    std::vector<float> v;
    for (int k = 0; k < 70000; ++k)
        v.push_back(float(k) * 0.5f - 3.25f);
    Kal("in.kal", v);
    ASSERT_EQ(Tool("--from kal --to 3 " + P("in.kal") + " " + P("i.mat") + " " + P("q.mat")), 0)
        << out_;
    ASSERT_EQ(Tool("--from mlab-bin --to mlab-bin-mix " + P("i.mat") + " " + P("q.mat") + " " +
                   P("m.mat")),
              0)
        << out_;
    ASSERT_EQ(Tool("--from 4 --to kal " + P("m.mat") + " " + P("out.kal")), 0) << out_;
    std::ifstream a(P("in.kal"), std::ios::binary), b(P("out.kal"), std::ios::binary);
    std::string sa((std::istreambuf_iterator<char>(a)), {}), sb((std::istreambuf_iterator<char>(b)), {});
    EXPECT_EQ(sa.size(), 70000u * 8);
    EXPECT_TRUE(sa == sb);
    EXPECT_EQ(out_, ""); // quiet on success when not on a terminal
}

TEST_F(ConvertTool, TheRateComesFromTheInputOrTheCommandLine)
{
    Kal("in.kal", {1, 2, 3});
    // KAL carries no rate, Tessera files need one.
    EXPECT_EQ(Tool("--from kal --to ibn " + P("in.kal") + " " + P("x.ibn")), 1);
    EXPECT_NE(out_.find("--rate"), std::string::npos) << out_;
    EXPECT_FALSE(fs::exists(P("x.ibn")));

    ASSERT_EQ(Tool("--from kal --to ibn --rate 2.5e6 " + P("in.kal") + " " + P("x.ibn")), 0) << out_;
    ASSERT_EQ(Tool("--from ibn --to spw-bin " + P("x.ibn") + " " + P("x.sig")), 0) << out_;
    ASSERT_EQ(Tool("--info --from spw-bin " + P("x.sig")), 0) << out_;
    EXPECT_EQ(out_, "samples  3\nrate     2500000 Hz\nI min    1\nI max    3\nQ min    -3\nQ max    -1\n");
    // An explicit rate wins over the file's.
    ASSERT_EQ(Tool("--from ibn --to ibn --rate 8000 " + P("x.ibn") + " " + P("y.ibn")), 0) << out_;
    IqRec r = Load(0, "y.ibn");
    EXPECT_EQ(r.Rat, 8000.0f);
    FreeIqRec(&r);
}

TEST_F(ConvertTool, GuardAndAppendBuildTheSavePanelsLayout)
{
    Kal("old.kal", {10, 20, 30, 40});
    Kal("new.kal", {1, 2, 3});
    ASSERT_EQ(Tool("--from kal --to kal --guard 2 --append " + P("new.kal") + " " + P("old.kal")), 0)
        << out_;
    IqRec r = Load(22, "old.kal");
    ASSERT_EQ(r.Len, 9);
    const float want[] = {10, 20, 30, 40, 2, 3, 1, 2, 3};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(r.I[k], want[k]) << k;
        EXPECT_EQ(r.Q[k], -want[k]) << k;
    }
    FreeIqRec(&r);

    // Without append the guard block precedes the data in a new file.
    ASSERT_EQ(Tool("--from kal --to kal --guard 3 " + P("new.kal") + " " + P("g.kal")), 0) << out_;
    r = Load(22, "g.kal");
    ASSERT_EQ(r.Len, 6);
    EXPECT_EQ(r.I[0], 1.0f);
    EXPECT_EQ(r.I[3], 1.0f);
    FreeIqRec(&r);

    // A guard longer than the input is refused and the destination stays.
    EXPECT_EQ(Tool("--from kal --to kal --guard 4 --append " + P("new.kal") + " " + P("old.kal")), 1);
    EXPECT_NE(out_.find("--guard 4 is more than the 3 samples"), std::string::npos) << out_;
    r = Load(22, "old.kal");
    EXPECT_EQ(r.Len, 9);
    FreeIqRec(&r);

    // Appending to a file that is not there is a read error of that file.
    EXPECT_EQ(Tool("--from kal --to kal --append " + P("new.kal") + " " + P("none.kal")), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("none.kal") + ": " + IqStatusText(IQ_ERR_OPEN1) + "\n");
}

TEST_F(ConvertTool, FailuresNameTheFileAndLeaveNoOutput)
{
    Kal("in.kal", {1, 2});
    std::ofstream(P("junk.mat")) << "this is not a MAT file\n";
    std::ofstream(P("keep.mat")) << "existing";

    struct Case {
        std::string args, file;
        int status;
    } cases[] = {
        {"--from kal --to 4 " + P("missing.kal") + " " + P("o.mat"), P("missing.kal"), IQ_ERR_OPEN1},
        {"--from 4 --to kal " + P("junk.mat") + " " + P("o.kal"), P("junk.mat"), IQ_ERR_FORMAT},
        {"--from 3 --to kal " + P("junk.mat") + " " + P("missing.mat") + " " + P("o.kal"),
         P("junk.mat") + ", " + P("missing.mat"), IQ_ERR_FORMAT}, // either file may be meant
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Tool(c.args), 1) << c.args;
        EXPECT_EQ(out_, "kalmira-convert: " + c.file + ": " + IqStatusText(c.status) + "\n");
    }
    EXPECT_EQ(Tool("--from kal --to 4 " + P("in.kal") + " " + P("no/dir/o.mat")), 1);
    EXPECT_EQ(out_.rfind("kalmira-convert: " + P("no/dir/o.mat") + ": cannot be written", 0), 0u)
        << out_;
    EXPECT_EQ(Files(), 3u);

    EXPECT_EQ(Tool("--from kal --to 4 " + P("in.kal")), 2);
    EXPECT_NE(out_.find("usage:"), std::string::npos);
}

TEST_F(ConvertTool, ListShowsTheWholeTable)
{
    ASSERT_EQ(Tool("--list"), 0);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1 + IQ_NFMT);
    EXPECT_NE(out_.find("3     mlab-bin        Matlab binary single (*.mat, *.mat)      2     yes"),
              std::string::npos)
        << out_;
    EXPECT_NE(out_.find("17    lecroy          LeCroy (*.trc, *.trc)                    2     no"),
              std::string::npos)
        << out_;
}

} // namespace
