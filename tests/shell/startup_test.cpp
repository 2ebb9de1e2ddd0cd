#include "common/program_copy.h"
#include "state/globals.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/startup.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Each Quit path ends the event loop.
TEST(StartUp, EveryQuitPathEndsTheEventLoop)
{
    ASSERT_EQ(BuildPanels(), 0);
    DisplayPanel(hRun);
    const std::pair<const char *, std::function<void()>> paths[] = {
        {"menu", [] { ui_test::UserMenu(hMen, MN_FILE_QUIT); }},
        {"button", [] { ui_test::UserClick(hRun, RN_QUIT); }},
        {"close box", [] { ui_test::UserClosePanel(hRun); }},
    };
    for (const auto &[name, action] : paths) {
        SCOPED_TRACE(name);
        bool stillRunning = false;
        ui_test::Post(action);
        // Should the action not quit, this second one ends the loop with 99.
        ui_test::Post([&] { stillRunning = true; QuitUserInterface(99); }, 3000);
        EXPECT_EQ(RunUserInterface(), 0);
        ProcessSystemEvents();
        EXPECT_FALSE(stillRunning);
    }
    for (int p : {hRun, hSta, hDat})
        DiscardPanel(p);
}

// The configuration of the built program, if a developer has one.
struct CfgBesideProgram {
    std::filesystem::path path = std::filesystem::canonical("/proc/self/exe").parent_path() / "Kalmira.cfg";
    bool exists = std::filesystem::exists(path);
    std::filesystem::file_time_type time = exists ? std::filesystem::last_write_time(path)
                                                  : std::filesystem::file_time_type{};
    bool Untouched() const
    {
        return std::filesystem::exists(path) == exists &&
               (!exists || std::filesystem::last_write_time(path) == time);
    }
};

TEST(StartUp, ProgramShowsItsVersionedTitleAndEndsWithZero)
{
    const CfgBesideProgram beside;
    char arg0[] = "/opt/tools/Kalmira";
    char *argv[] = {arg0, nullptr};
    std::string title;
    ui_test::Post([&] {
        char text[256] = "";
        GetPanelAttribute(hRun, ATTR_TITLE, text);
        title = text;
        EXPECT_TRUE(ui_test::PanelVisible(hRun));
        ui_test::UserMenu(hMen, MN_FILE_QUIT);
    });
    EXPECT_EQ(KalMain(1, argv), 0);
    EXPECT_STREQ(AppNam, "Kalmira");
    EXPECT_EQ(title, "Kalmira v4.37");
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(s.Len, 0);
    // The settings went to the test's own program folder.
    EXPECT_NE(std::filesystem::path(WrkDir), beside.path.parent_path());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(WrkDir) / "Kalmira.cfg"));
    EXPECT_TRUE(beside.Untouched()) << beside.path;
}

// Starts a copy of the program in `dir`; the environment keeps its instance
// socket private.  Its standard error goes to `errFd` when that is given.
pid_t StartKalmira(const std::filesystem::path &dir, int errFd = -1)
{
    const std::string exe = (dir / "Kalmira").string();
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", dir.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("KALMIRA_SCRIPTED_POPUPS", "1", 1);
        if (errFd >= 0)
            dup2(errFd, 2);
        execl(exe.c_str(), exe.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits up to `seconds` for the process to end; returns its status or -1.
int WaitFor(pid_t pid, double seconds)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

// Everything a pipe holds once its writer has gone.
std::string Drain(int fd)
{
    std::string out;
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    return out;
}

TEST(StartUp, SecondCopySaysSoAndExitsWithZeroAndTheFirstKeepsRunning)
{
    const CfgBesideProgram beside;
    auto dir = std::filesystem::temp_directory_path() / ("kalmira-dup-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    CopyOfKalmira(dir);

    pid_t first = StartKalmira(dir);
    ASSERT_GT(first, 0);
    // The first copy needs a moment to claim the instance socket.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(WaitFor(first, 0), -1) << "the first copy ended on its own";

    int err[2];
    ASSERT_EQ(pipe(err), 0);
    pid_t second = StartKalmira(dir, err[1]);
    close(err[1]);
    int status = WaitFor(second, 20);
    const std::string said = Drain(err[0]);
    close(err[0]);
    ASSERT_NE(status, -1) << "the second copy did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(said.find("Kalmira is already running; its window was brought to the front.\n"), std::string::npos)
        << said;

    EXPECT_EQ(WaitFor(first, 0.5), -1) << "the first copy did not keep running";
    kill(first, SIGTERM);
    if (WaitFor(first, 10) == -1) {
        kill(first, SIGKILL);
        WaitFor(first, 5);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "Kalmira.cfg")) << "the first copy saved its settings beside itself";
    EXPECT_TRUE(beside.Untouched()) << beside.path;
    std::filesystem::remove_all(dir);
}

}  // namespace
