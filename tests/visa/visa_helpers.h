// kalmira-sim as a child process for the tests, plus what the tests need
// around it: the ports it printed, its log, and reading an I/Q block the way
// the acquisition does.
#pragma once

#include "visa.h"

#include <cstdint>
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

    int analyzerPort(size_t i = 0) const { return analyzers_.at(i); }
    int gatewayPort() const { return gateway_; }
    bool started() const { return ready_; }
    // SIGTERM and wait; true when it ended with status 0.
    bool stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::vector<int> analyzers_;
    int gateway_ = -1;
};

// A fresh directory for one test's files.
std::string tempDir();
std::vector<std::string> readLines(const std::string &path);

std::string lanResource(int port);
// Opens a session as the device test does (10 s time-out, buffers, flush modes).
ViStatus openLikeProgram(ViSession &rm, const std::string &rsrc, ViSession &vi);

// The full-scale divisor for a reference level.
double fullScaleOf(double rlevDbm);

struct Block {
    ViStatus status = VI_SUCCESS;
    std::string header;
    std::vector<float> raw;  // every float of the block in the order received
};
// Sends "TRAC:IQ:DATA?" and reads "#n<digits>" and the floats with raw reads.
Block readIqBlock(ViSession vi);
// Splits the floats of a block into I and Q: all I then all Q, or the
// alternating 524288-sample blocks.
void splitLayout(const std::vector<float> &raw, bool chunked, std::vector<float> &I, std::vector<float> &Q);
// Largest deviation from the simulator's tone (0.9 full scale, 1/16 of the
// sample rate) after division by fkt.
double toneError(const std::vector<float> &I, const std::vector<float> &Q, double fkt);
