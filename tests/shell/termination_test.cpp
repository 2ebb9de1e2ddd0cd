// The real program ends on SIGTERM, SIGINT and SIGHUP whatever it shows or
// does: pop-ups close as if cancelled, a load or capture stops through its
// abort path, the shutdown saves the configuration, and all within 2 s.  A
// second signal ends it at once.  The program runs with real pop-ups, driven
// there by KALMIRA_TEST_ACTIONS, and once under Xvfb by real key presses.
#include "common/kalmira_process.h"
#include "common/loopback.h"
#include "common/sim_process.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <atomic>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kLimitSeconds = 2.0;

// File mode with the Load and Save panels on "DaDisp mixed (*.dsp)".  The first
// line has two blanks between the numbers: the program writes one, so a
// first line "140 60" at the end shows that the shutdown wrote the file.
const char kFileModeCfg[] = "140  60\n2 20 0 0 8 8\n";

// A Jasper on the LAN at `port`, in analyzer mode, `count` samples a trace.
std::string AnalyzerCfg(int port, int count)
{
    return "140  60\n4 20 1 0 2 0\nRAW NORM 1000000.0 32000000.0 IMM POS 0.000 0 1.0000\n" +
           std::to_string(count) + " 1 0\n127.0.0.1:" + std::to_string(port) + "\n\n\n0 0 0 0 0\n";
}

// `n` samples of "DaDisp mixed": a header, then one "I Q" pair a line.
fs::path DspFile(const fs::path &dir, int n, const std::string &name = "data.dsp")
{
    const fs::path path = dir / name;
    FILE *fp = std::fopen(path.c_str(), "w");
    std::fputs("DATASET i_q\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL i, q\nDATA\n", fp);
    for (int k = 0; k < n; ++k)
        std::fputs(k % 2 ? "1 -1\n" : "-1 1\n", fp);
    std::fclose(fp);
    return path;
}

// A program found on PATH, or "" when there is none.
std::string Tool(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string d; std::getline(dirs, d, ':');)
        if (!d.empty() && access((d + "/" + name).c_str(), X_OK) == 0)
            return d + "/" + name;
    return "";
}

// What a command printed on its standard output.
std::string Output(const std::string &command)
{
    std::string out;
    if (FILE *p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// An X server of the test's own, on a display number no one else holds.
class Xvfb {
public:
    explicit Xvfb(const std::string &exe)
    {
        for (int n = 200 + getpid() % 500, tries = 0; tries < 20 && display_.empty(); ++n, ++tries)
            if (!fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                TryDisplay(exe, n);
    }
    ~Xvfb()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string &display() const { return display_; }

private:
    void TryDisplay(const std::string &exe, int n)
    {
        const std::string name = ":" + std::to_string(n);
        char *argv[] = {const_cast<char *>(exe.c_str()), const_cast<char *>(name.c_str()),
                        const_cast<char *>("-nolisten"), const_cast<char *>("tcp"),
                        const_cast<char *>("-screen"), const_cast<char *>("0"),
                        const_cast<char *>("1280x1024x24"), nullptr};
        pid_ = fork();
        if (pid_ == 0) {
            execv(exe.c_str(), argv);
            _exit(127);
        }
        const fs::path socket = "/tmp/.X11-unix/X" + std::to_string(n);
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;   // the display was taken after all
                return;
            }
            if (fs::exists(socket)) {
                display_ = name;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    pid_t pid_ = -1;
    std::string display_;
};

class Termination : public ::testing::Test {
protected:
    fs::path dir = FreshTestDir("kalmira-term");

    void TearDown() override { fs::remove_all(dir); }

    std::unique_ptr<KalmiraProcess> Start(const std::string &cfg, const std::string &actions,
                                          KalmiraProcess::Options opt = {})
    {
        std::ofstream(dir / "Kalmira.cfg") << cfg;
        opt.actions = actions;
        auto k = std::make_unique<KalmiraProcess>(dir, opt);
        EXPECT_TRUE(k->started());
        return k;
    }

    // The signal ends the program within the limit with status 0, and the
    // shutdown wrote the configuration.  Every action found what it acts on.
    // Returns the configuration written.
    std::vector<std::string> ExpectCleanEnd(KalmiraProcess &k, int sig)
    {
        k.Signal(sig);
        const int status = k.WaitForEnd(kLimitSeconds);
        EXPECT_NE(status, -1) << "still running " << kLimitSeconds << " s after signal " << sig << "\n"
                              << k.ErrText();
        EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(k.ErrText().find("kalmira-test: failed"), std::string::npos) << k.ErrText();
        const auto cfg = TextLines(FileText(dir / "Kalmira.cfg"));
        EXPECT_EQ(cfg.size(), 8u);
        EXPECT_TRUE(!cfg.empty() && cfg[0] == "140 60") << "the configuration was not written";
        return cfg;
    }
};

TEST_F(Termination, MessageBoxClosesOnEachSignal)
{
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        auto k = Start(kFileModeCfg, "menu=About");
        ASSERT_TRUE(k->WaitForAnnouncement("popup message About", 20)) << k->ErrText();
        ExpectCleanEnd(*k, sig);
    }
}

TEST_F(Termination, FileDialogCloses)
{
    auto k = Start(kFileModeCfg, "menu=Load Configuration");
    ASSERT_TRUE(k->WaitForAnnouncement("popup file Load Configuration", 20)) << k->ErrText();
    ExpectCleanEnd(*k, SIGTERM);
}

TEST_F(Termination, GraphPopupCloses)
{
    const fs::path data = DspFile(dir, 4096);
    auto k = Start(kFileModeCfg, "file=" + data.string() + ";click=Load IQ Data/I;click=Load IQ;click=Spectrum");
    ASSERT_TRUE(k->WaitForAnnouncement("popup graph Yeah", 20)) << k->ErrText();
    ExpectCleanEnd(*k, SIGINT);
}

// 20 million samples take the reader half a second on a fast machine: the
// signal comes while it runs, and the load ends as Abort ends it.
TEST_F(Termination, LongLoadIsAbortedAndItsErrorBoxNeverShows)
{
    const fs::path data = DspFile(dir, 20000000);
    auto k = Start(kFileModeCfg, "file=" + data.string() + ";click=Load IQ Data/I;click=Load IQ");
    ASSERT_TRUE(k->WaitForAnnouncement("click=Load IQ", 20)) << k->ErrText();
    const auto cfg = ExpectCleanEnd(*k, SIGTERM);
    // Line 4 begins with the samples held: none after an aborted load.
    ASSERT_EQ(cfg.size(), 8u);
    EXPECT_EQ(cfg[3].substr(0, 2), "0 ") << cfg[3];
    EXPECT_EQ(k->ErrText().find("popup message"), std::string::npos) << k->ErrText();
}

// Appending to a long file reads it first: that read ends as Abort ends it,
// and the file stays as it was.
TEST_F(Termination, AppendIsAbortedAndLeavesTheFileAsItWas)
{
    const fs::path data = DspFile(dir, 4096);
    const fs::path target = DspFile(dir, 20000000, "target.dsp");
    const auto size = fs::file_size(target);
    const auto time = fs::last_write_time(target);
    auto k = Start(kFileModeCfg, "file=" + data.string() + ";click=Load IQ Data/I;click=Load IQ;file=" +
                                     target.string() + ";click=Save IQ Data/I;click=Append");
    ASSERT_TRUE(k->WaitForAnnouncement("click=Append", 20)) << k->ErrText();
    ExpectCleanEnd(*k, SIGTERM);
    EXPECT_EQ(fs::file_size(target), size);
    EXPECT_EQ(fs::last_write_time(target), time);
    EXPECT_EQ(k->ErrText().find("popup message"), std::string::npos) << k->ErrText();
}

// A client that fetches the data but reads slowly and steadily never lets
// the transfer time out; the signal still ends the program.
TEST_F(Termination, ASlowClientDoesNotHoldTheProgram)
{
    const int port = FreePort();
    ASSERT_GT(port, 0);
    // File mode, 16 million samples a client is told of (zeros: no file held).
    auto k = Start("140  60\n2 20 0 0 8 8\nRAW NORM 1000000.0 32000000.0 IMM POS 0.000 0 1.0000\n16000000 0 " +
                       std::to_string(port) + "\n\n\n\n0 0 0 0 0\n",
                   "");
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 200; ++tries) {
        fd = ConnectLoopback(port);
        if (fd < 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GE(fd, 0) << k->ErrText();
    ASSERT_EQ(::send(fd, "GetSymbols", 10, MSG_NOSIGNAL), 10);
    std::atomic<long long> got{0};
    std::thread reader([&] {
        char buf[16384];
        for (ssize_t n; (n = ::recv(fd, buf, sizeof buf, 0)) > 0;) {
            got += n;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    for (int i = 0; i < 200 && got < 100000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GE(got.load(), 100000) << "the reply did not start";
    ExpectCleanEnd(*k, SIGTERM);
    ::shutdown(fd, SHUT_RDWR);
    reader.join();
    ::close(fd);
}

// The analyzer is in another mode: the capture warns with a message box
// before it reads.  Once that closes, the capture stops reading and puts the
// instrument back as after every capture.
TEST_F(Termination, CaptureWithItsWarningOpenEndsAndPutsTheInstrumentBack)
{
    const std::string log = (dir / "sim.log").string();
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--mode", "2", "--log", log});
    ASSERT_TRUE(sim.started());
    auto k = Start(AnalyzerCfg(sim.analyzerPort(), 16776704), "click=Test Dev;click=Trace IQ");
    ASSERT_TRUE(k->WaitForAnnouncement("popup message Warning", 20)) << k->ErrText();
    ExpectCleanEnd(*k, SIGHUP);
    const auto got = readLines(log);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2], "TRAC:IQ OFF");
    EXPECT_EQ(got.back(), "INIT:CONT ON");
}

// The analyzer never answers the data request: the signal stops the wait
// at once, as Abort does, and the instrument is put back before the end.
TEST_F(Termination, CaptureWaitingForAnAnswerEndsAtOnceAndPutsTheInstrumentBack)
{
    const std::string log = (dir / "sim.log").string();
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--fault", "stall", "--log", log});
    ASSERT_TRUE(sim.started());
    auto k = Start(AnalyzerCfg(sim.analyzerPort(), 4096), "click=Test Dev;click=Trace IQ");
    ASSERT_TRUE(k->WaitForAnnouncement("click=Trace IQ", 20)) << k->ErrText();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    k->Signal(SIGTERM);
    const int status = k->WaitForEnd(2.0);
    ASSERT_NE(status, -1) << "the wait for the data went on";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    std::vector<std::string> got = readLines(log);
    for (int i = 0; i < 300 && (got.empty() || got.back() != "INIT:CONT ON"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        got = readLines(log);
    }
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(got[got.size() - 3], "TRAC:IQ:DATA?");
    EXPECT_EQ(got[got.size() - 2], "TRAC:IQ OFF");
    EXPECT_EQ(got.back(), "INIT:CONT ON");
}

// The analyzer answers nothing, not even the device test's identity query,
// whose wait lets no events through: the first signal cannot end it, the
// second ends the program at once.
TEST_F(Termination, SecondSignalEndsTheProgramAtOnce)
{
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--fault", "mute"});
    ASSERT_TRUE(sim.started());
    auto k = Start(AnalyzerCfg(sim.analyzerPort(), 4096), "click=Test Dev");
    ASSERT_TRUE(k->WaitForAnnouncement("click=Test Dev", 20)) << k->ErrText();
    k->Signal(SIGTERM);
    ASSERT_EQ(k->WaitForEnd(0.5), -1) << "ended before the query it waits for timed out";
    k->Signal(SIGINT);
    const int status = k->WaitForEnd(1.0);
    ASSERT_NE(status, -1) << "the second signal did not end it";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGINT);
}

// Two signals at once in the middle of a long save: the second ends the
// program before the save can clean up after itself, and still no hidden
// temporary file stays beside the file, which is as it was.
TEST_F(Termination, SecondSignalDuringASaveLeavesNoTemporaryFile)
{
    const fs::path data = DspFile(dir, 4000000);
    const fs::path target = DspFile(dir, 10, "target.dsp");
    const std::string old = FileText(target);
    auto k = Start(kFileModeCfg, "file=" + data.string() + ";click=Load IQ Data/I;click=Load IQ;file=" +
                                     target.string() + ";click=Save IQ Data/I;click=Save IQ");
    ASSERT_TRUE(k->WaitForAnnouncement("click=Save IQ", 30)) << k->ErrText();
    auto hidden = [&] {
        size_t n = 0;
        for (const auto &e : fs::directory_iterator(dir))
            n += e.path().filename().string().rfind(".target.dsp.", 0) == 0;
        return n;
    };
    for (int i = 0; i < 400 && hidden() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(hidden(), 1u) << "the save's temporary file never showed";
    k->Signal(SIGTERM);
    k->Signal(SIGINT);
    const int status = k->WaitForEnd(kLimitSeconds);
    ASSERT_TRUE(status != -1 && WIFEXITED(status)) << status;
    // Both signals may be pending at once, and the lower number comes first:
    // whichever came second ended the program.
    ASSERT_TRUE(WEXITSTATUS(status) == 128 + SIGINT || WEXITSTATUS(status) == 128 + SIGTERM)
        << "the save ended before the second signal: " << WEXITSTATUS(status);
    EXPECT_EQ(hidden(), 0u);
    EXPECT_EQ(FileText(target), old);
}

// On a real X server, opened by the keys a person presses (Alt+H, A), with
// no help from inside the program.
TEST_F(Termination, UnderXvfbTheAboutBoxOpenedByKeysCloses)
{
    const std::string xvfb = Tool("Xvfb"), xdotool = Tool("xdotool");
    if (xvfb.empty() || xdotool.empty())
        GTEST_SKIP() << "needs Xvfb and xdotool (Debian packages xvfb, xdotool)";
    Xvfb x(xvfb);
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    auto k = Start(kFileModeCfg, "", {.actions = "", .platform = "xcb", .display = x.display()});
    const std::string xdo = "DISPLAY=" + x.display() + " " + xdotool + " ";
    std::string window;
    for (int i = 0; i < 200 && window.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        window = Output(xdo + "search --onlyvisible --name '^Kalmira v' 2>/dev/null | head -1");
    }
    ASSERT_FALSE(window.empty()) << "no main window\n" << k->ErrText();
    window.pop_back();
    bool open = false;
    for (int attempt = 0; attempt < 3 && !open; ++attempt) {
        std::system((xdo + "windowfocus --sync " + window + " key alt+h sleep 0.3 key a").c_str());
        for (int i = 0; i < 30 && !open; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            open = !Output(xdo + "search --onlyvisible --name '^About$' 2>/dev/null").empty();
        }
    }
    ASSERT_TRUE(open) << "the About box did not open\n" << k->ErrText();
    ExpectCleanEnd(*k, SIGTERM);
}

}  // namespace
