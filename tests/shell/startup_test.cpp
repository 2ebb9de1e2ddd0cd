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

TEST(StartUp, ProgramShowsItsVersionedTitleAndEndsWithZero)
{
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
}

// Starts the real program; the environment keeps its instance socket private.
pid_t StartKalmira(const std::string &tmpdir)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", tmpdir.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("KALMIRA_SCRIPTED_POPUPS", "1", 1);
        execl(KALMIRA_EXE, KALMIRA_EXE, static_cast<char *>(nullptr));
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

TEST(StartUp, SecondCopyExitsWithZeroAndTheFirstKeepsRunning)
{
    auto dir = std::filesystem::temp_directory_path() / ("kalmira-dup-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    pid_t first = StartKalmira(dir.string());
    ASSERT_GT(first, 0);
    // The first copy needs a moment to claim the instance socket.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_EQ(WaitFor(first, 0), -1) << "the first copy ended on its own";

    pid_t second = StartKalmira(dir.string());
    int status = WaitFor(second, 20);
    ASSERT_NE(status, -1) << "the second copy did not end";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(WaitFor(first, 0.5), -1) << "the first copy did not keep running";
    kill(first, SIGTERM);
    if (WaitFor(first, 10) == -1) {
        kill(first, SIGKILL);
        WaitFor(first, 5);
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
