// Saves and loads that are interrupted: the event hook during a save, an
// abort request at each stage of a two-file save, a process that ends at
// once from a signal, input that never ends, and destinations that no
// rename may replace.
#include "VmKalLib.h"
#include "common/as_user.h"
#include "common/test_files.h"
#include "iqfiles_fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

namespace fs = std::filesystem;

// Every rename of the process goes through here, so a test can act at the
// moment a save puts its files in place.
static std::function<void(const char *)> g_onRename;

extern "C" int rename(const char *from, const char *to)
{
    if (g_onRename)
        g_onRename(to);
    return int(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace {

void Put(const fs::path &p, const std::string &text) { std::ofstream(p, std::ios::binary) << text; }

size_t Hidden(const fs::path &d)
{
    size_t n = 0;
    for (const auto &e : fs::directory_iterator(d))
        n += e.path().filename().string()[0] == '.';
    return n;
}

// The hook's calls, the thread they came on, and an action at call number
// `at` (1 the first).
struct HookLog {
    int calls = 0;
    bool otherThread = false;
    int at = 0;
    std::function<void()> action;
    std::thread::id thread = std::this_thread::get_id();
};
HookLog *g_log = nullptr;

void LoggingHook()
{
    HookLog &l = *g_log;
    ++l.calls;
    l.otherThread = l.otherThread || std::this_thread::get_id() != l.thread;
    if (l.calls == l.at && l.action)
        l.action();
}

class Interrupts : public IqFilesTest {
protected:
    Interrupts() : IqFilesTest("iqintr") {}
    void SetUp() override
    {
        IqFilesTest::SetUp();
        g_log = &log;
        IqSetEventHook(LoggingHook);
    }
    void TearDown() override
    {
        IqSetEventHook(nullptr);
        g_onRename = nullptr;
        g_log = nullptr;
        EscFlg = 0;
        IqFilesTest::TearDown();
    }
    HookLog log;
};

// A long save lets the caller's window live: the hook runs while every
// writer writes, on the calling thread alone, also while a two-file writer
// fills its second file on another thread; and an abort request from the
// hook stops the save with the old files as they were.
TEST_F(Interrupts, WritersRunTheEventHookOnTheCallingThreadAndStopAtItsAbort)
{
    Rec big;
    FillData(big, 400000);
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        log = HookLog{};
        ASSERT_EQ(w.save(Named(big, w, dir / "a.i", dir / "a.q")), 0);
        EXPECT_GE(log.calls, 3); // 3.2 MB at the least, the hook every 256 KB
        EXPECT_FALSE(log.otherThread);

        Put(dir / "a.i", "old i\n");
        Put(dir / "a.q", "old q\n");
        log = HookLog{};
        log.at = 2;
        log.action = [] { EscFlg = 1; };
        errno = 0;
        EXPECT_EQ(w.save(Named(big, w, dir / "a.i", dir / "a.q")), -1);
        EXPECT_EQ(errno, EINTR);
        EXPECT_TRUE(FileText(dir / "a.i") == "old i\n");
        EXPECT_TRUE(FileText(dir / "a.q") == "old q\n");
        EXPECT_EQ(Hidden(dir), 0u);
    }
}

// An abort request that comes once the first file of a pair has taken its
// place (a signal between the two renames) no longer stops the save: the
// second file follows, and the pair stays one.
TEST_F(Interrupts, AnAbortBetweenTheTwoRenamesOfAPairLetsTheSecondFollow)
{
    Rec r;
    FillData(r, 1000);
    Writer mcad{5, SaveMCadSgl, 2};
    Put(dir / "a.i", "old i\n");
    Put(dir / "a.q", "old q\n");
    int renames = 0;
    g_onRename = [&](const char *) {
        if (++renames == 1)
            EscFlg = 1;
    };
    ASSERT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "a.q")), 0);
    EXPECT_EQ(renames, 2);
    EXPECT_EQ(EscFlg, 0);
    Rec back;
    std::snprintf(back.INam, sizeof back.INam, "%s", (dir / "a.i").c_str());
    std::snprintf(back.QNam, sizeof back.QNam, "%s", (dir / "a.q").c_str());
    back.Typ = 5;
    ASSERT_EQ(LoadDatFile(&back), 0);
    EXPECT_TRUE(SameSamples(back, r));
}

// A pair's failure names the file that failed.
TEST_F(Interrupts, AFailedPairSaysWhichFileFailed)
{
    Rec r;
    FillData(r, 100);
    Writer mcad{5, SaveMCadSgl, 2};
    EXPECT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "none" / "a.q")), -1);
    EXPECT_EQ(IqSaveFailedFile(), 2);
    EXPECT_EQ(SaveMCadSgl(Named(r, mcad, dir / "none" / "a.i", dir / "a.q")), -1);
    EXPECT_EQ(IqSaveFailedFile(), 1);
    EXPECT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "a.q")), 0);
    EXPECT_EQ(IqSaveFailedFile(), 0);
    EXPECT_EQ(Hidden(dir), 0u);
}

// A pipe that counts what reaches it, read on a thread of its own.
class CountingPipe {
public:
    explicit CountingPipe(const fs::path &fifo)
    {
        mkfifo(fifo.c_str(), 0600);
        anchor_ = open(fifo.c_str(), O_RDWR);
        fd_ = open(fifo.c_str(), O_RDONLY);
        t_ = std::thread([this] {
            char buf[65536];
            for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;)
                bytes += size_t(n);
        });
    }
    // Everything, once the save closed its end.
    size_t total()
    {
        if (anchor_ >= 0)
            close(anchor_);
        anchor_ = -1;
        if (t_.joinable())
            t_.join();
        return bytes;
    }
    ~CountingPipe()
    {
        total();
        close(fd_);
    }
    std::atomic<size_t> bytes{0};

private:
    int anchor_ = -1, fd_ = -1;
    std::thread t_;
};

// Of a pair whose second file is a pipe (it cannot be taken back), the pipe
// gets its first byte only after the first file took its place, and
// nothing at all when an abort request came while the first was written.
TEST_F(Interrupts, APipeOfAPairIsWrittenLastAndNotAtAllAfterAnAbort)
{
    Rec r;
    FillData(r, 200000);
    Writer mcad{5, SaveMCadSgl, 2};
    ASSERT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "ref.q")), 0);
    {
        CountingPipe q(dir / "q.fifo");
        size_t atRename = 1;
        g_onRename = [&](const char *) { atRename = q.bytes.load(); };
        ASSERT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "q.fifo")), 0);
        EXPECT_EQ(atRename, 0u);
        EXPECT_EQ(q.total(), fs::file_size(dir / "ref.q"));
    }
    g_onRename = nullptr;
    Put(dir / "a.i", "old i\n");
    CountingPipe q(dir / "q.fifo");
    log = HookLog{};
    log.at = 2;
    log.action = [] { EscFlg = 1; };
    errno = 0;
    EXPECT_EQ(SaveMCadSgl(Named(r, mcad, dir / "a.i", dir / "q.fifo")), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(q.total(), 0u);
    EXPECT_TRUE(FileText(dir / "a.i") == "old i\n");
}

// A process that ends at once from a signal in the middle of a save (a
// second Ctrl-C) leaves no temporary file when its handler asks the library
// to remove them; the old files stay as they were.
TEST_F(Interrupts, AProcessEndedByASignalDuringASaveLeavesNoTemporaryFile)
{
    Rec big;
    FillData(big, 400000);
    for (const Writer &w : Writers()) {
        SCOPED_TRACE(IqFormatAt(w.typ)->name);
        Put(dir / "a.i", "old i\n");
        Put(dir / "a.q", "old q\n");
        pid_t pid = fork();
        if (pid == 0) {
            struct sigaction sa {};
            sa.sa_handler = [](int) {
                IqRemoveTemporaries();
                _exit(3);
            };
            sigaction(SIGUSR1, &sa, nullptr);
            log = HookLog{};
            log.at = 3;
            log.action = [] { raise(SIGUSR1); };
            w.save(Named(big, w, dir / "a.i", dir / "a.q"));
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 3);
        EXPECT_EQ(Hidden(dir), 0u);
        EXPECT_TRUE(FileText(dir / "a.i") == "old i\n");
        EXPECT_TRUE(FileText(dir / "a.q") == "old q\n");
    }
}

// Text read as free-form numbers (the mixed formats, and COSSAP single)
// lets the window live and stops at an abort request from the hook.
TEST_F(Interrupts, FreeFormTextLoadsRunTheHookAndStopAtItsAbort)
{
    Rec r;
    FillData(r, 60000);
    for (int typ : {2, 6, 9, 10}) {
        SCOPED_TRACE(typ);
        Writer w{typ, IqFormatAt(typ)->save, IqFormatAt(typ)->files};
        ASSERT_EQ(w.save(Named(r, w, dir / "a.i", dir / "a.q")), 0);
        Rec back(dir / "a.i", dir / "a.q");
        back.Typ = typ;
        log = HookLog{};
        // The text readers run the hook by the clock: let the save's last run age.
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        ASSERT_EQ(LoadDatFile(&back), 0);
        EXPECT_GE(log.calls, 1);
        EXPECT_FALSE(log.otherThread);
        EXPECT_TRUE(SameSamples(back, r));

        Rec stopped(dir / "a.i", dir / "a.q");
        stopped.Typ = typ;
        log = HookLog{};
        log.at = 1;
        log.action = [] { EscFlg = 1; };
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(LoadDatFile(&stopped), IQ_ERR_ABORT);
        EXPECT_TRUE(stopped.empty());
        EXPECT_EQ(EscFlg, 0);
    }
}

// Input from a pipe that never ends, for a reader that must hold its input
// in memory first: the copy looks at the abort flag as it goes.
TEST_F(Interrupts, AnEndlessPipeIntoAReaderThatRewindsStopsAtAnAbort)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    // The source's last write meets a closed pipe: an error, not the end of the tests.
    auto oldPipe = signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> done{false};
    std::atomic<int> blocks{0};
    std::thread source([&] {
        std::vector<char> block(1 << 20, 'x');
        // Far more than the test waits for, but not endless should the
        // abort go unnoticed.
        for (; blocks < 512 && !done; ++blocks)
            if (write(fds[1], block.data(), block.size()) < 0)
                break;
        close(fds[1]);
    });
    Rec in("/dev/fd/" + std::to_string(fds[0]));
    log.at = 2;
    log.action = [] { EscFlg = 1; };
    EXPECT_EQ(LoadKAL(&in), IQ_ERR_ABORT);
    EXPECT_TRUE(in.empty());
    EXPECT_LT(blocks.load(), 512) << "the load waited for the end of the input";
    done = true;
    close(fds[0]);
    source.join();
    signal(SIGPIPE, oldPipe);
}

// In a sticky folder (/tmp) a file of another user, which the caller may
// write, cannot be replaced by a rename: it is written in place, keeps its
// owner and holds the new contents.
TEST_F(Interrupts, AWritableFileOfAnotherUserInAStickyFolderIsWrittenInPlace)
{
    TestUser u = UnprivilegedUser();
    if (!u.ok || geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file of another user";
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    Put(dir / "f.kal", "old contents\n");
    fs::permissions(dir / "f.kal", fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    struct stat before {};
    ASSERT_EQ(stat((dir / "f.kal").c_str(), &before), 0);
    Rec r;
    FillData(r, 5000);
    EXPECT_UNPRIVILEGED(AsUnprivileged([&]() -> std::string {
        Writer kal{22, SaveKAL, 1};
        errno = 0;
        if (SaveKAL(Named(r, kal, dir / "f.kal")) != 0)
            return std::string("save failed: ") + strerror(errno);
        return Hidden(dir) == 0 ? "" : "a temporary file was left";
    }));
    struct stat after {};
    ASSERT_EQ(stat((dir / "f.kal").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, 0u);
    Rec back(dir / "f.kal");
    ASSERT_EQ(LoadKAL(&back), 0);
    EXPECT_TRUE(SameSamples(back, r));
}

// A link in a sticky folder that the system would not follow for the
// caller (protected_symlinks) is not followed by a save either.
TEST_F(Interrupts, ASaveDoesNotFollowALinkTheSystemProtects)
{
    if (FileText("/proc/sys/fs/protected_symlinks").rfind('1', 0) != 0)
        GTEST_SKIP() << "the system does not protect links in sticky folders here";
    TestUser u = UnprivilegedUser();
    if (!u.ok || geteuid() != 0)
        GTEST_SKIP() << "needs root to make a link of another user";
    fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
    fs::create_directories(dir / "safe");
    Put(dir / "safe" / "victim", "victim\n");
    fs::create_symlink(dir / "safe" / "victim", dir / "out.kal");
    ASSERT_EQ(lchown((dir / "out.kal").c_str(), u.uid, u.gid), 0);
    Rec r;
    FillData(r, 100);
    Writer kal{22, SaveKAL, 1};
    errno = 0;
    EXPECT_EQ(SaveKAL(Named(r, kal, dir / "out.kal")), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_TRUE(FileText(dir / "safe" / "victim") == "victim\n");
    EXPECT_TRUE(fs::is_symlink(dir / "out.kal"));
}

} // namespace
