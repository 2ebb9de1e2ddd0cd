// kalmira-sim as a child process: started with the test's arguments, its
// ports read from what it prints, stopped with SIGTERM.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class SimProc {
public:
    explicit SimProc(const std::vector<std::string> &args);
    ~SimProc();
    SimProc(const SimProc &) = delete;
    SimProc &operator=(const SimProc &) = delete;

    bool ready() const { return ready_; }
    int port() const { return analyzers_.empty() ? -1 : analyzers_[0]; }
    int gatewayPort() const { return gateway_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::vector<int> analyzers_;
    int gateway_ = -1;
};

std::vector<std::string> ReadLines(const std::string &path);
