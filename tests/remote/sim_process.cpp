#include "sim_process.h"

#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

SimProcess::SimProcess(const std::vector<std::string> &args)
{
#ifdef KALMIRA_SIM_PATH
    int out[2];
    if (::pipe(out) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char *> argv{const_cast<char *>(KALMIRA_SIM_PATH)};
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(KALMIRA_SIM_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    pollfd p{out[0], POLLIN, 0};
    while (text.find("ready\n") == std::string::npos && ::poll(&p, 1, 10000) > 0) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(out[0]);
    ready_ = text.find("ready\n") != std::string::npos;
    const size_t at = text.find("gateway listening on ");
    if (at != std::string::npos)
        gateway_ = std::atoi(text.c_str() + text.find(':', at) + 1);
#else
    (void)args;
#endif
}

SimProcess::~SimProcess()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}
