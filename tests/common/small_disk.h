// A disk that fills up, for tests of what a write does when the space runs
// out: a tmpfs of 256 KiB mounted in a private mount namespace of a child
// process, so that nothing outside the test ever sees it.
#pragma once

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

// Runs fn in a child process with the small disk mounted on mnt (an existing
// folder).  Returns fn's result ("" or what failed), or "skip: why" when no
// such disk can be made here.
inline std::string OnSmallDisk(const std::filesystem::path &mnt, const std::function<std::string()> &fn)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe() failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        std::string out;
        if (::unshare(CLONE_NEWNS) != 0 || ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            out = std::string("skip: cannot mount a small tmpfs here (") + std::strerror(errno) + ")";
        else
            out = fn();
        (void)!::write(fds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? got : "the child ended by a signal";
}
