// Settings survive a restart of the real program: it is started on a
// configuration, ended by a termination signal (which runs the normal
// shutdown) and started again on what it wrote.
#include "common/loopback.h"
#include "common/program_copy.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Accepts(int port)
{
    const int fd = ConnectLoopback(port);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// Runs the program in `dir` until it serves on `port`, then ends it with
// SIGTERM; returns its exit status (-1 when it could not be run).
int RunOnce(const fs::path &dir, int port)
{
    pid_t pid = fork();
    if (pid == 0) {
        setenv("TMPDIR", dir.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("KALMIRA_SCRIPTED_POPUPS", "1", 1);
        std::string exe = (dir / "Kalmira").string();
        execl(exe.c_str(), exe.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Accepts(port) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGTERM);
    int status = 0;
    until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Restart, SettingsSurviveQuittingAndRestarting)
{
    fs::path dir = fs::temp_directory_path() / ("kalmira-restart-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    CopyOfKalmira(dir);
    int port = FreePort();

    // A Jasper on LAN in analyzer mode, rates and formats off their defaults,
    // directories with blanks, the baseband settings set.
    const std::string first =
        "140 60\n"
        "4 12 1 3 13 22\n"
        "RAW NORM 1000000.0 32000000.0 IMM POS 0.000 0 1.0000\n"
        "0 1 " + std::to_string(port) + "\n"
        "127.0.0.1\n"
        "/data/My%20Traces/\n"
        "/data/out%20dir/\n"
        "1 1 0 1 1\n";
    std::ofstream(dir / "Kalmira.cfg") << first;

    ASSERT_EQ(RunOnce(dir, port), 0);
    const std::string second = FileText(dir / "Kalmira.cfg");
    std::vector<std::string> a = TextLines(first), b = TextLines(second);
    ASSERT_EQ(b.size(), 8u) << second;
    EXPECT_EQ(b[0], a[0]) << "main panel position";
    EXPECT_EQ(b[1], a[1]) << "model, address, interface, window, both formats";
    EXPECT_NE(b[2].find(" 32000000.0 "), std::string::npos) << "sample rate: " << b[2];
    EXPECT_EQ(b[3].substr(b[3].find(' ')), a[3].substr(a[3].find(' '))) << "mode and port";
    for (int k = 4; k < 8; ++k)
        EXPECT_EQ(b[k], a[k]) << "line " << k + 1;

    // What it wrote, it restores exactly.
    ASSERT_EQ(RunOnce(dir, port), 0);
    EXPECT_EQ(FileText(dir / "Kalmira.cfg"), second);
    fs::remove_all(dir);
}

}  // namespace
