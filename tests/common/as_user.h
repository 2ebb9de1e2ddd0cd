// Parts of a test that must run without root's rights: root ignores file
// modes, so a permission check made as root proves nothing.  The part runs in
// a child process; as root the child first becomes the user "nobody".
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// The user and group that the unprivileged parts run as: nobody when the
// tests run as root, else the caller.  ok is false (with the reason in why)
// when there is no such user.
struct TestUser {
    uid_t uid = 0;
    gid_t gid = 0;
    bool ok = false;
    std::string why;
};

inline TestUser UnprivilegedUser()
{
    TestUser u;
    if (::geteuid() != 0) {
        u.uid = ::geteuid();
        u.gid = ::getegid();
        u.ok = true;
        return u;
    }
    const passwd *pw = ::getpwnam("nobody");
    if (!pw) {
        u.why = "running as root and there is no user nobody to drop to";
        return u;
    }
    u.uid = pw->pw_uid;
    u.gid = pw->pw_gid;
    u.ok = true;
    return u;
}

// Runs fn in a child process (fn ends with _exit there) and returns what it
// returned, or why the child gave nothing.
inline std::string InChildProcess(const std::function<std::string()> &fn)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return "pipe() failed";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const std::string out = fn();
        (void)!::write(fds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string got;
    char buf[512];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "the child ended by signal " + std::to_string(WTERMSIG(status));
    return got;
}

// Runs fn in a child process as UnprivilegedUser().  fn returns "" when its
// checks passed, else what failed.  The result is that text, or "skip: why"
// when the child could not give up root's rights.
inline std::string AsUnprivileged(const std::function<std::string()> &fn)
{
    TestUser u = UnprivilegedUser();
    if (!u.ok)
        return "skip: " + u.why;
    return InChildProcess([&]() -> std::string {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(u.gid) != 0 || ::setuid(u.uid) != 0 || ::geteuid() == 0))
            return "skip: running as root and cannot become nobody";
        return fn();
    });
}

// Checks the result of AsUnprivileged inside a test: a skip is printed and
// ends the test, anything else but "" fails it.
#define EXPECT_UNPRIVILEGED(result)                                                                      \
    do {                                                                                                 \
        const std::string r_ = (result);                                                                 \
        if (r_.rfind("skip: ", 0) == 0)                                                                  \
            GTEST_SKIP() << r_.substr(6);                                                                \
        EXPECT_EQ(r_, "");                                                                               \
    } while (0)
