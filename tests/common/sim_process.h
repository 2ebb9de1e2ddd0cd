// kalmira-sim as a child process, for the tests and the benches: started with
// the caller's arguments, its ports read from what it prints before "ready",
// stopped with SIGTERM.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    // Starts kalmira-sim with args and waits (10 s at the most between two
    // lines) for its "ready" line.
    explicit SimProcess(const std::vector<std::string> &args);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Where the simulator is: $KALMIRA_SIM, else the path the build gave
    // (KALMIRA_SIM_PATH), else kalmira-sim beside this program.
    static std::string path();

    bool started() const { return ready_; }
    bool running() const { return pid_ > 0; }
    // The analyzers' ports in the order they were listed; -1 past the last.
    int analyzerPort(size_t i = 0) const { return i < analyzers_.size() ? analyzers_[i] : -1; }
    int gatewayPort() const { return gateway_; }
    // SIGTERM and wait; true when it ended with status 0.
    bool stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::vector<int> analyzers_;
    int gateway_ = -1;
};

// Every line of a text file (a simulator's log); none when it cannot be read.
std::vector<std::string> readLines(const std::string &path);
