#include "simproc.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

SimProc::SimProc(const std::vector<std::string> &args)
{
    int out[2];
    if (::pipe(out) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char *> argv{const_cast<char *>(KALMIRA_SIM_PATH)};
        for (const auto &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(KALMIRA_SIM_PATH, argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // "<what> listening on 127.0.0.1:<port>" per listener, then "ready".
    std::string text;
    char buf[512];
    pollfd p{out[0], POLLIN, 0};
    while (text.find("ready\n") == std::string::npos && ::poll(&p, 1, 10000) > 0) {
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::close(out[0]);
    ready_ = text.find("ready\n") != std::string::npos;
    for (size_t pos = 0; (pos = text.find(" listening on ", pos)) != std::string::npos; ++pos) {
        const int port = std::atoi(text.c_str() + text.find(':', pos) + 1);
        const size_t start = text.rfind('\n', pos);
        const size_t line = start == std::string::npos ? 0 : start + 1;
        if (text.compare(line, 7, "gateway") == 0)
            gateway_ = port;
        else
            analyzers_.push_back(port);
    }
}

SimProc::~SimProc()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::ifstream f(path);
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);)
        lines.push_back(l);
    return lines;
}
