// The real program as a child process, for tests that act on it from outside
// (signals, key presses): a copy in the test's own folder, so that it keeps
// its configuration there, with real pop-ups, and its standard error read
// as it comes, where KALMIRA_TEST_ACTIONS announces what it does.
#pragma once

#include "common/program_copy.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

class KalmiraProcess {
public:
    struct Options {
        std::string actions;                 // KALMIRA_TEST_ACTIONS; none when empty
        std::string platform = "offscreen";  // QT_QPA_PLATFORM
        std::string display;                 // DISPLAY, for "xcb"
    };

    KalmiraProcess(const std::filesystem::path &dir, const Options &opt)
    {
        // Everything the child needs is made before the fork: the test has
        // threads, and the child may not allocate until it has exec'd.
        const std::string exe = CopyOfKalmira(dir).string();
        std::vector<std::string> env = Environment(dir, opt);
        std::vector<char *> envp;
        for (auto &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        char *argv[] = {const_cast<char *>(exe.c_str()), nullptr};
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(err[1], 2);
            execve(exe.c_str(), argv, envp.data());
            _exit(127);
        }
        close(err[1]);
        err_ = err[0];
        fcntl(err_, F_SETFL, O_NONBLOCK);
    }

    ~KalmiraProcess()
    {
        if (pid_ > 0 && status_ == -1) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (err_ >= 0)
            close(err_);
    }

    KalmiraProcess(const KalmiraProcess &) = delete;
    KalmiraProcess &operator=(const KalmiraProcess &) = delete;

    bool started() const { return pid_ > 0 && err_ >= 0; }

    // Waits up to `seconds` for the announcement "kalmira-test: <what>".
    bool WaitForAnnouncement(const std::string &what, double seconds)
    {
        const std::string line = "kalmira-test: " + what + "\n";
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (err_text_.find(line) == std::string::npos) {
            if (Clock::now() > until || !ReadSome(50))
                return false;
        }
        return true;
    }

    void Signal(int sig) { kill(pid_, sig); }

    // The wait status once the program has ended, or -1 when it still runs
    // after `seconds`.
    int WaitForEnd(double seconds)
    {
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        do {
            if (waitpid(pid_, &status_, WNOHANG) == pid_)
                return status_;
            ReadSome(20);
        } while (Clock::now() < until);
        status_ = -1;
        return -1;
    }

    // What it wrote to standard error so far.
    const std::string &ErrText()
    {
        ReadSome(0);
        return err_text_;
    }

private:
    using Clock = std::chrono::steady_clock;

    // The test's environment with real pop-ups, the instance socket in the
    // test's folder (one copy per test) and the options.
    static std::vector<std::string> Environment(const std::filesystem::path &dir, const Options &opt)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            const std::string var = *e;
            const std::string name = var.substr(0, var.find('='));
            if (name != "TMPDIR" && name != "QT_QPA_PLATFORM" && name != "DISPLAY" &&
                name != "KALMIRA_SCRIPTED_POPUPS" && name != "KALMIRA_TEST_ACTIONS")
                env.push_back(var);
        }
        env.push_back("TMPDIR=" + dir.string());
        env.push_back("QT_QPA_PLATFORM=" + opt.platform);
        if (!opt.actions.empty())
            env.push_back("KALMIRA_TEST_ACTIONS=" + opt.actions);
        if (!opt.display.empty())
            env.push_back("DISPLAY=" + opt.display);
        return env;
    }

    // Takes what the pipe holds, waiting up to `ms` for something; false
    // once the program has closed its end.
    bool ReadSome(int ms)
    {
        pollfd p{err_, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0)
            return true;
        char buf[4096];
        ssize_t n;
        while ((n = read(err_, buf, sizeof buf)) > 0)
            err_text_.append(buf, static_cast<size_t>(n));
        return n != 0;
    }

    pid_t pid_ = -1;
    int err_ = -1;
    int status_ = -1;
    std::string err_text_;
};
