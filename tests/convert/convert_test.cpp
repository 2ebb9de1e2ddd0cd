// kalmira-convert: the argument parser directly, and the built program end
// to end on real files.
#include "common/test_files.h"
#include "convert.h"

#include "VmKalLib.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <string>
#include <thread>
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
    EXPECT_EQ(kconv::ParseFormat("24"), 24);
    EXPECT_EQ(kconv::ParseFormat("sigmf"), 24);
    EXPECT_EQ(kconv::ParseFormat("25"), -1);
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
        {{"--from", "kal", "--to", "mlab-bin", "a", "-", "-"}, "only one file on each side"},
        {{"--from", "kal", "--to", "kal", "--append", "a", "-"}, "--append cannot read standard output"},
    };
    for (const Case &c : cases) {
        err.clear();
        EXPECT_FALSE(Parse(c.args, o, err)) << c.needle;
        EXPECT_NE(err.find(c.needle), std::string::npos) << err;
    }
}

// Without --from and --to the paths are split by the formats the files can
// be in; where two splits fit, neither is guessed.
TEST(ConvertArgs, FormatsNotGivenComeFromTheNames)
{
    kconv::Options o;
    std::string err;
    ASSERT_TRUE(Parse({"--rate", "1e6", "in.kal", "i.ascsig", "q.ascsig"}, o, err)) << err;
    EXPECT_EQ(o.from, 22);
    EXPECT_EQ(o.to, 11);
    EXPECT_EQ(o.outputs, (std::vector<std::string>{"i.ascsig", "q.ascsig"}));
    ASSERT_TRUE(Parse({"a.i", "a.q", "out.sigmf-meta"}, o, err) == false);
    EXPECT_NE(err.find("a.i could be mcad, ddsp, cossap, mosaic or uint16: give --from FORMAT"), std::string::npos)
        << err;
    ASSERT_TRUE(Parse({"--from", "mcad", "a.i", "a.q", "out.sigmf-data"}, o, err)) << err;
    EXPECT_EQ(o.to, 24);
    EXPECT_EQ(o.toHow, IQ_FOUND_BY_NAME);
    // Only a format with a writer can be the output's: .asc is also the read-only asc-nolf.
    ASSERT_TRUE(Parse({"--from", "kal", "a.kal", "out.asc"}, o, err)) << err;
    EXPECT_EQ(o.to, 2);
    EXPECT_FALSE(Parse({"x.ascsig", "y.ascsig", "z.asg"}, o, err));
    EXPECT_NE(err.find("more than one way"), std::string::npos) << err;
    EXPECT_FALSE(Parse({"-", "y.kal"}, o, err));
    EXPECT_NE(err.find("standard input: neither"), std::string::npos) << err;
    EXPECT_FALSE(Parse({"a.kal", "b.kal", "c.kal", "d.kal", "e.kal"}, o, err));
    EXPECT_NE(err.find("1 or 2 input and 1 or 2 output"), std::string::npos) << err;
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
    int Tool(const std::string &args) { return Sh(std::string(KALMIRA_CONVERT) + " " + args + " 2>&1"); }

    // Runs a shell command line; returns its exit status, output in out_.
    int Sh(const std::string &cmd)
    {
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
    EXPECT_EQ(out_, "format   spw-bin, given\nsamples  3\nrate     2500000 Hz\nI min    1\nI max    3\nQ min    -3\nQ max    -1\n");
    // An explicit rate wins over the file's.
    ASSERT_EQ(Tool("--from ibn --to ibn --rate 8000 " + P("x.ibn") + " " + P("y.ibn")), 0) << out_;
    IqRec r = Load(0, "y.ibn");
    EXPECT_EQ(r.Rat, 8000.0f);
    FreeIqRec(&r);
}

// The content decides over the name; a name that several formats use is
// refused with the candidates, and nothing is written.
TEST_F(ConvertTool, FormatsAreFoundFromTheFilesWhereTheyTell)
{
    Kal("in.kal", {1, 2, 3});
    ASSERT_EQ(Tool("--rate 1e6 " + P("in.kal") + " " + P("rec.sigmf-meta")), 0) << out_;
    ASSERT_EQ(Tool(P("rec.sigmf-data") + " " + P("out.wav")), 0) << out_;
    ASSERT_EQ(Tool("--info " + P("out.wav")), 0) << out_;
    EXPECT_EQ(out_.substr(0, out_.find("I min")), "format   wav, from its content\nsamples  3\nrate     unknown\n");
    fs::copy_file(P("out.wav"), P("odd.kal"));
    ASSERT_EQ(Tool("--info " + P("odd.kal")), 0) << out_;
    EXPECT_EQ(out_.substr(0, out_.find('\n')), "format   wav, from its content");
    ASSERT_EQ(Tool("--info " + P("in.kal")), 0) << out_;
    EXPECT_EQ(out_.substr(0, out_.find('\n')), "format   kal, from its name");
    // An SPW header that ADS files share: the name chose, and --info says so.
    ASSERT_EQ(Tool("--rate 1e6 " + P("in.kal") + " " + P("s.ascsig")), 0) << out_;
    ASSERT_EQ(Tool("--info " + P("s.ascsig")), 0) << out_;
    EXPECT_EQ(out_.substr(0, out_.find('\n')), "format   spw-ascii-mix, from its content and name");

    // One line naming the candidates: the usage would bury it.
    EXPECT_EQ(Tool(P("in.kal") + " " + P("x.dat")), 2);
    EXPECT_EQ(out_, "kalmira-convert: " + P("x.dat") + " could be mcad-mix or cossap-mix: give --to FORMAT\n");
    EXPECT_FALSE(fs::exists(P("x.dat")));
    fs::copy_file(P("in.kal"), P("plain"));
    EXPECT_EQ(Tool(P("plain") + " " + P("y.kal")), 2);
    EXPECT_EQ(out_, "kalmira-convert: " + P("plain") +
                        ": neither its content nor its name tells the format: give --from FORMAT\n");
    EXPECT_FALSE(fs::exists(P("y.kal")));
    EXPECT_EQ(Tool("--info " + P("plain")), 2);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1) << out_;
    // A trace of a two-file format given alone is told to come with its pair.
    fs::copy_file(P("in.kal"), P("c1.trc"));
    EXPECT_EQ(Tool(P("c1.trc") + " " + P("z.kal")), 2);
    EXPECT_EQ(out_, "kalmira-convert: " + P("c1.trc") +
                        ": its name says lecroy, whose traces come as two files (I and Q): give both\n");
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
    EXPECT_EQ(out_, "kalmira-convert: " + P("none.kal") + ": " + IqStatusText(IQ_ERR_OPEN1) + " (" +
                        strerror(ENOENT) + ")\n");
}

TEST_F(ConvertTool, FailuresNameTheFileAndLeaveNoOutput)
{
    Kal("in.kal", {1, 2});
    std::ofstream(P("junk.mat")) << "this is not a MAT file\n";
    std::ofstream(P("keep.mat")) << "existing";

    // A file that does not open or read also names the system's reason.
    struct Case {
        std::string args, file, cause;
    } cases[] = {
        {"--from kal --to 4 " + P("missing.kal") + " " + P("o.mat"), P("missing.kal"),
         std::string(IqStatusText(IQ_ERR_OPEN1)) + " (" + strerror(ENOENT) + ")"},
        {"--from 4 --to kal " + P("junk.mat") + " " + P("o.kal"), P("junk.mat"), IqStatusText(IQ_ERR_FORMAT)},
        {"--from 3 --to kal " + P("junk.mat") + " " + P("missing.mat") + " " + P("o.kal"),
         P("junk.mat") + ", " + P("missing.mat"), IqStatusText(IQ_ERR_FORMAT)}, // either file may be meant
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Tool(c.args), 1) << c.args;
        EXPECT_EQ(out_, "kalmira-convert: " + c.file + ": " + c.cause + "\n");
    }
    EXPECT_EQ(Tool("--from kal --to 4 " + P("in.kal") + " " + P("no/dir/o.mat")), 1);
    EXPECT_EQ(out_.rfind("kalmira-convert: " + P("no/dir/o.mat") + ": cannot be written", 0), 0u)
        << out_;
    EXPECT_EQ(Files(), 3u);

    EXPECT_EQ(Tool("--from kal --to 4 " + P("in.kal")), 2);
    EXPECT_NE(out_.find("usage:"), std::string::npos);
}

// A SigMF recording is given by one of its files: a failure names the file
// that is missing, and an archive is said to be one.
TEST_F(ConvertTool, ARecordingNamesTheFileItLacks)
{
    Kal("in.kal", {1, 2, 3});
    ASSERT_EQ(Tool("--rate 1e6 " + P("in.kal") + " " + P("rec.sigmf-meta")), 0) << out_;
    const std::string missing = std::string(IqStatusText(IQ_ERR_OPEN1)) + " (" + strerror(ENOENT) + ")\n";
    fs::rename(P("rec.sigmf-data"), P("kept.bin"));
    EXPECT_EQ(Tool(P("rec.sigmf-meta") + " " + P("o.kal")), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("rec.sigmf-data") + ": " + missing);
    fs::rename(P("rec.sigmf-meta"), P("rec.SIGMF-META"));
    fs::rename(P("kept.bin"), P("rec.SIGMF-DATA"));
    fs::copy_file(P("rec.SIGMF-DATA"), P("lone.sigmf-data"));
    EXPECT_EQ(Tool("--from sigmf " + P("lone.sigmf-data") + " " + P("o.kal")), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("lone.sigmf-meta") + ": " + missing);
    ASSERT_EQ(Tool(P("rec.SIGMF-DATA") + " " + P("o.kal")), 0) << out_;
    IqRec back = Load(22, "o.kal");
    EXPECT_EQ(back.Len, 3);
    FreeIqRec(&back);

    std::ofstream(P("rec.sigmf")) << std::string(512, '\0');
    EXPECT_EQ(Tool(P("rec.sigmf") + " " + P("a.kal")), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("rec.sigmf") + ": " + IqStatusText(IQ_ERR_NAME) + "\n");
    EXPECT_NE(out_.find("unpack"), std::string::npos);
    EXPECT_FALSE(fs::exists(P("a.kal")));
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

// The unprivileged user's command line prefix: as root the program runs as
// nobody (root ignores file modes), otherwise as the caller.  Empty with the
// reason in why when that is impossible.
std::string AsNobody(std::string &why)
{
    if (geteuid() != 0)
        return " ";
    std::string pre = "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    if (std::system((pre + KALMIRA_CONVERT + " --list >/dev/null 2>&1").c_str()) != 0) {
        why = "running as root, and kalmira-convert cannot be run as nobody with setpriv";
        return "";
    }
    return pre;
}

void Own(const std::string &path, mode_t mode)
{
    if (geteuid() == 0) {
        struct passwd *pw = getpwnam("nobody");
        ASSERT_NE(pw, nullptr);
        ASSERT_EQ(chown(path.c_str(), pw->pw_uid, pw->pw_gid), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

// A read-only output of the caller's own is refused as any program that
// opened it for writing would be refused, and stays as it was.
TEST_F(ConvertTool, AReadOnlyOutputIsRefusedAndKept)
{
    std::string why, pre = AsNobody(why);
    if (pre.empty())
        GTEST_SKIP() << why;
    fs::permissions(dir_, fs::perms::all); // the folder would take a new file
    ASSERT_EQ(Sh("sox -r 8000 -n -c 2 -b 16 -e signed " + P("in.wav") + " synth 1000s sine 440 2>&1"), 0) << out_;
    Kal("out.kal", {1, 2, 3});
    std::string before = FileText(P("out.kal"));
    Own(P("out.kal"), 0444);
    EXPECT_EQ(Sh(pre + KALMIRA_CONVERT + " --from wav --to kal " + P("in.wav") + " " + P("out.kal") + " 2>&1"), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("out.kal") + ": cannot be written (" + strerror(EACCES) + ")\n");
    EXPECT_EQ(FileText(P("out.kal")), before);
    EXPECT_EQ(Files(), 2u);
}

// A named pipe as output is written into, in place: the reader at its other
// end gets every sample, and the pipe stays a pipe.
TEST_F(ConvertTool, APipeAsOutputGetsEverySample)
{
    ASSERT_EQ(Sh("sox -r 8000 -n -c 2 -b 16 -e signed " + P("in.wav") + " synth 1000s sine 440 sine 1000 2>&1"), 0)
        << out_;
    ASSERT_EQ(mkfifo(P("p").c_str(), 0600), 0);
    // (timeout: a program that replaced the pipe would leave cat waiting on it)
    ASSERT_EQ(Sh("cd " + dir_ + " && { timeout 20 cat p > copy.kal & } && " + KALMIRA_CONVERT +
                 " --from wav --to kal in.wav p && wait"),
              0)
        << out_;
    EXPECT_TRUE(fs::is_fifo(P("p")));
    IqRec direct = Load(16, "in.wav"), piped = Load(22, "copy.kal");
    ASSERT_EQ(piped.Len, 1000);
    EXPECT_EQ(std::memcmp(direct.I, piped.I, 4000), 0);
    EXPECT_EQ(std::memcmp(direct.Q, piped.Q, 4000), 0);
    FreeIqRec(&direct);
    FreeIqRec(&piped);
}

// '-' reads standard input and writes standard output where the format is
// read in one pass; a format read twice says so in one line.
TEST_F(ConvertTool, StandardInputAndOutput)
{
    std::vector<float> v;
    for (int k = 0; k < 50000; ++k)
        v.push_back(float(k % 300) - 150.0f);
    Kal("in.kal", v);
    std::string tool = KALMIRA_CONVERT;
    ASSERT_EQ(Sh("cat " + P("in.kal") + " | " + tool + " --from kal --to ibn --rate 1000 - - | " + tool +
                 " --from ibn --to kal - " + P("out.kal") + " 2>&1"),
              0)
        << out_;
    EXPECT_TRUE(FileText(P("in.kal")) == FileText(P("out.kal")));

    ASSERT_EQ(Tool("--from kal --to ddsp-mix --rate 1000 " + P("in.kal") + " " + P("x.dsp")), 0) << out_;
    EXPECT_EQ(Sh("cat " + P("x.dsp") + " | " + tool + " --from ddsp-mix --to kal - " + P("y.kal") + " 2>&1"), 1);
    EXPECT_EQ(out_, "kalmira-convert: standard input: ddsp-mix files are read more than once: give a file, not a pipe\n");
    EXPECT_FALSE(fs::exists(P("y.kal")));
}

// A folder or a file the caller may not read as input: one line naming the
// file and the cause, and no output.
TEST_F(ConvertTool, AnInputThatCannotBeReadLeavesNoOutput)
{
    fs::create_directories(P("sub"));
    EXPECT_EQ(Tool("--from kal --to kal " + P("sub") + " " + P("o.kal")), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("sub") + ": " + IqStatusText(IQ_ERR_OPEN1) + " (" + strerror(EISDIR) + ")\n");
    EXPECT_EQ(Tool("--from cossap-mix --to kal " + P("sub") + " " + P("o.kal")), 1);
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 1) << out_;

    std::string why, pre = AsNobody(why);
    if (pre.empty())
        GTEST_SKIP() << why;
    fs::permissions(dir_, fs::perms::all);
    Kal("secret.kal", {1, 2});
    Own(P("secret.kal"), 0200);
    EXPECT_EQ(Sh(pre + KALMIRA_CONVERT + " --from kal --to kal " + P("secret.kal") + " " + P("o.kal") + " 2>&1"), 1);
    EXPECT_EQ(out_, "kalmira-convert: " + P("secret.kal") + ": " + IqStatusText(IQ_ERR_OPEN1) + " (" +
                        strerror(EACCES) + ")\n");
    EXPECT_FALSE(fs::exists(P("o.kal")));
}

// 2^24 samples of free-form text: short numbers, so that the file is made
// quickly, yet it takes the reader long enough to be interrupted.
void BigText(const std::string &path, bool pairs)
{
    std::string block;
    for (int k = 0; k < 4096; ++k)
        block += pairs ? std::to_string(k % 1000) + " -" + std::to_string(k % 977) + "\n" : std::to_string(k % 1000) + "\n";
    std::ofstream f(path, std::ios::binary);
    for (int k = 0; k < (1 << 24) / 4096; ++k)
        f.write(block.data(), std::streamsize(block.size()));
}

// Starts the program with its output and errors going to errPath, its
// input from inPath where given.
pid_t Start(const std::vector<std::string> &args, const std::string &errPath, const std::string &inPath = "")
{
    std::vector<char *> argv;
    std::string prog = KALMIRA_CONVERT;
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (std::string &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&fa, 1, 2);
    if (!inPath.empty())
        posix_spawn_file_actions_addopen(&fa, 0, inPath.c_str(), O_RDONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, prog.c_str(), &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// Ctrl-C or SIGTERM 0.1 s into the conversion of 16.7 M samples of COSSAP
// text (readers that never look at the abort flag): a non-zero exit, the one
// line "interrupted", no output file, and an existing output as it was.
TEST_F(ConvertTool, AnInterruptedConversionLeavesNoOutput)
{
    BigText(P("mix.dat"), true);
    BigText(P("big.i"), false);
    BigText(P("big.q"), false);
    Kal("old.kal", {4, 5, 6});
    std::string old = FileText(P("old.kal"));
    struct {
        std::vector<std::string> args;
        int sig;
        const char *out;
    } cases[] = {{{"--from", "cossap-mix", "--to", "kal", P("mix.dat"), P("new.kal")}, SIGINT, "new.kal"},
                 {{"--from", "cossap", "--to", "kal", P("big.i"), P("big.q"), P("old.kal")}, SIGTERM, "old.kal"}};
    for (auto &c : cases) {
        SCOPED_TRACE(c.args[1]);
        pid_t pid = Start(c.args, P("err.txt"));
        ASSERT_GT(pid, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the conversion ended before the signal";
        kill(pid, c.sig);
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + c.sig);
        EXPECT_EQ(FileText(P("err.txt")), "kalmira-convert: interrupted\n");
        if (std::string(c.out) == "old.kal")
            EXPECT_EQ(FileText(P("old.kal")), old);
        else
            EXPECT_FALSE(fs::exists(P(c.out)));
        EXPECT_EQ(Files(), 5u) << "no temporary file left";
    }
}

// A signal while the output is being written: the writer stops (here one
// blocked on a pipe that nobody reads) and the conversion ends interrupted.
TEST_F(ConvertTool, ASignalDuringTheWriteEndsItInterrupted)
{
    std::vector<float> v(300000, 1.0f);
    Kal("in.kal", v);
    ASSERT_EQ(mkfifo(P("p").c_str(), 0600), 0);
    int hold = open(P("p").c_str(), O_RDWR); // a reader that never reads
    ASSERT_GE(hold, 0);
    pid_t pid = Start({"--from", "kal", "--to", "kal", P("in.kal"), P("p")}, P("err.txt"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(hold);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(FileText(P("err.txt")), "kalmira-convert: interrupted\n");
    EXPECT_TRUE(fs::is_fifo(P("p")));
}

// Standard input that goes on and on, for a format that is held in memory
// before it is read: a signal ends the copy at once, with no output.
TEST_F(ConvertTool, AnEndlessInputEndsAtASignal)
{
    ASSERT_EQ(mkfifo(P("in").c_str(), 0600), 0);
    // The feed's last write meets a pipe the program closed: an error, not the end of the tests.
    auto oldPipe = signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread feed([&] {
        int fd = open(P("in").c_str(), O_WRONLY);
        std::vector<char> block(1 << 20, 0);
        // About 200 MB a second, at most 400 MB: endless for the test, but
        // bounded should the signal go unnoticed.
        for (; blocks < 400 && !stop; ++blocks) {
            if (write(fd, block.data(), block.size()) < 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        close(fd);
    });
    pid_t pid = Start({"--from", "kal", "--to", "wav", "--rate", "1000", "-", P("out.wav")}, P("err.txt"), P("in"));
    ASSERT_GT(pid, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "the conversion ended before the signal";
    kill(pid, SIGTERM);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_LT(blocks.load(), 400) << "the conversion waited for the end of its input";
    stop = true;
    feed.join();
    signal(SIGPIPE, oldPipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_EQ(FileText(P("err.txt")), "kalmira-convert: interrupted\n");
    EXPECT_FALSE(fs::exists(P("out.wav")));
}

// Standard output that is a socket (a program started by a service), named
// "-" or through a link to /dev/stdout: the bytes go into the socket, and
// nothing lands in a file beside the link.
TEST_F(ConvertTool, AStandardOutputThatIsASocketGetsTheFile)
{
    std::vector<float> v;
    for (int k = 0; k < 40000; ++k)
        v.push_back(float(k % 500) - 250.0f);
    Kal("in.kal", v);
    ASSERT_EQ(Tool("--from kal --to ibn --rate 1000 " + P("in.kal") + " " + P("ref.ibn")), 0) << out_;
    fs::create_symlink("/dev/stdout", P("link.ibn"));
    for (std::string out : {std::string("-"), P("link.ibn")}) {
        SCOPED_TRACE(out);
        int sv[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        std::string prog = KALMIRA_CONVERT, in = P("in.kal"), err = P("err.txt");
        std::vector<std::string> args = {prog, "--from", "kal", "--to", "ibn", "--rate", "1000", in, out};
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, sv[1], 1);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = -1;
        ASSERT_EQ(posix_spawn(&pid, prog.c_str(), &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        close(sv[1]);
        const std::string got = ReadToEnd(sv[0]);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << FileText(P("err.txt"));
        EXPECT_TRUE(got == FileText(P("ref.ibn"))) << got.size() << " bytes";
    }
    EXPECT_TRUE(fs::is_symlink(P("link.ibn")));
    EXPECT_EQ(Files(), 4u) << "in.kal, ref.ibn, link.ibn, err.txt and nothing else";
}

} // namespace
