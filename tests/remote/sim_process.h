// kalmira-sim as a child process: a GPIB gateway with instruments behind it.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

class SimProcess {
public:
    // Starts kalmira-sim with args and waits for its "ready" line.
    explicit SimProcess(const std::vector<std::string> &args);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    bool started() const { return ready_; }
    int gatewayPort() const { return gateway_; }

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    int gateway_ = -1;
};
