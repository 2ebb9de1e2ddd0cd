// What the VISA tests need around kalmira-sim: a session opened as the
// program opens it, and an I/Q block read the way the acquisition reads it.
#pragma once

#include "common/sim_process.h"
#include "visa.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// The VISA tests also hold kalmira-sim to a clean exit on SIGTERM when a
// test leaves it running.
class CheckedSim : public SimProcess {
public:
    using SimProcess::SimProcess;
    ~CheckedSim() {
        if (running()) {
            EXPECT_TRUE(stop()) << "kalmira-sim did not stop cleanly on SIGTERM";
        }
    }
};

// A fresh directory for one test's files.
std::string tempDir();

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
