#include "sim_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

std::string SimProcess::path()
{
    if (const char *env = std::getenv("KALMIRA_SIM"); env && *env)
        return env;
#ifdef KALMIRA_SIM_PATH
    return KALMIRA_SIM_PATH;
#else
    char exe[4096] = {};
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    const std::string self = n > 0 ? std::string(exe, size_t(n)) : std::string("./x");
    return self.substr(0, self.rfind('/')) + "/kalmira-sim";
#endif
}

SimProcess::SimProcess(const std::vector<std::string> &args)
{
    // Everything the child needs is built before the fork: the Qt tests have
    // threads, and the child may not allocate until it has exec'd.
    const std::string exe = path();
    std::vector<char *> argv{const_cast<char *>(exe.c_str())};
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    // Close-on-exec, so that a simulator started later does not hold this
    // one's pipe open; dup2 gives the child's stdout a descriptor without it.
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(out[0]);
        return;
    }
    // "<what> listening on 127.0.0.1:<port>" per listener, then "ready".
    std::string text;
    char buf[512];
    pollfd p{out[0], POLLIN, 0};
    while (text.find("ready\n") == std::string::npos && ::poll(&p, 1, 10000) > 0) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(out[0]);
    ready_ = text.find("ready\n") != std::string::npos;
    for (size_t pos = 0; (pos = text.find(" listening on ", pos)) != std::string::npos; ++pos) {
        const size_t colon = text.find(':', pos);
        if (colon == std::string::npos)
            break;
        const int port = std::atoi(text.c_str() + colon + 1);
        const size_t start = text.rfind('\n', pos);
        const size_t line = start == std::string::npos ? 0 : start + 1;
        if (text.compare(line, 7, "gateway") == 0)
            gateway_ = port;
        else
            analyzers_.push_back(port);
    }
}

bool SimProcess::stop()
{
    if (pid_ <= 0)
        return false;
    ::kill(pid_, SIGTERM);
    int status = 0;
    pid_t r;
    do
        r = ::waitpid(pid_, &status, 0);
    while (r < 0 && errno == EINTR);
    pid_ = -1;
    return r > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

SimProcess::~SimProcess()
{
    stop();
}

std::vector<std::string> readLines(const std::string &path)
{
    std::ifstream f(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);)
        lines.push_back(l);
    return lines;
}
