// Capture rate of the largest Jasper trace (16,776,704 samples, 134 MB)
// from kalmira-sim over loopback, read the way the acquisition reads it
// (block header, then each 2 MiB chunk straight into its place in I or Q in
// 256 KiB pieces, each piece divided by the scale in place), beside
// two baselines in the same run: a plain reader of the same simulator's block
// and a plain loopback TCP copy of the same byte count.  The gap to the first
// is what the VISA layer and the scaling cost, the gap between the two what
// the simulator costs.
#include "common/sim_process.h"
#include "loopback_copy.h"
#include "sim_reader.h"
#include "visa.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int64_t kSamples = 16776704;
constexpr int64_t kBytes = kSamples * 8;
constexpr int64_t kChunk = 524288;
constexpr int64_t kPiece = 65536;  // floats: the acquisition's 256 KiB

// Divides the floats [from, to) of dst by fkt in place, as the acquisition
// does (blocks of eight, which the compiler vectorises).
void scaleInPlace(float *dst, int64_t from, int64_t to, float fkt) {
    int64_t j = from;
    for (; j + 8 <= to; j += 8)
        for (int64_t k = 0; k < 8; ++k) dst[j + k] /= fkt;
    for (; j < to; ++j) dst[j] /= fkt;
}

// One capture as the acquisition does it: each block straight into its
// place in I or Q, 256 KiB at a time, each piece divided in place; false
// when anything failed.
bool capture(ViSession vi, std::vector<float> &I, std::vector<float> &Q, float fkt) {
    if (viPrintf(vi, "TRAC:IQ:DATA?\n") != VI_SUCCESS) return false;
    char head[16] = {};
    ViUInt32 got = 0;
    if (viRead(vi, reinterpret_cast<ViPBuf>(head), 2, &got) < 0) return false;
    if (viRead(vi, reinterpret_cast<ViPBuf>(head + 2), ViUInt32(head[1] - '0'), &got) < 0) return false;
    if (std::atoll(head + 2) != kBytes) return false;
    auto readInto = [&](float *dst, int64_t n) {
        for (int64_t at = 0; at < n; at += kPiece) {
            const int64_t piece = std::min(kPiece, n - at);
            ViStatus st = viRead(vi, reinterpret_cast<ViPBuf>(dst + at), ViUInt32(piece * 4), &got);
            if (st < 0 || got != ViUInt32(piece * 4)) return false;
            scaleInPlace(dst, at, at + piece, fkt);
        }
        return true;
    };
    int64_t k = 0;
    for (; k < kSamples / kChunk; ++k)
        if (!readInto(&I[size_t(k * kChunk)], kChunk) || !readInto(&Q[size_t(k * kChunk)], kChunk)) return false;
    int64_t r = kSamples % kChunk;
    return readInto(&I[size_t(k * kChunk)], r) && readInto(&Q[size_t(k * kChunk)], r);
}

void BM_JasperCaptureFromSim(benchmark::State &state) {
    ::setenv("KALMIRA_VISA_LIBRARY", "builtin", 1);
    // One Jasper on a free port for the whole run.
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--rlev", "0"});
    const int port = sim.analyzerPort();
    ViSession rm = 0, vi = 0;
    std::string rsrc = "VMIB::127.0.0.1:" + std::to_string(port) + "::INSTR";
    if (!sim.started() || port <= 0 || viOpenDefaultRM(&rm) != VI_SUCCESS || viOpen(rm, rsrc.c_str(), 0, 0, &vi) != VI_SUCCESS) {
        state.SkipWithError("kalmira-sim could not be started or reached");
        return;
    }
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, 30000);
    viPrintf(vi, "TRAC:IQ ON\n");
    viPrintf(vi, "TRAC:IQ:SET NORM,50000000Hz,81600000Hz,IMM,POS,0,%lld;*WAI\n", (long long)kSamples);
    float fkt = float(std::sqrt(50.0 * std::pow(10.0, -30.0 / 10.0)));
    std::vector<float> I(kSamples), Q(kSamples);
    for (auto _ : state) {
        if (!capture(vi, I, Q, fkt)) {
            state.SkipWithError("capture failed");
            break;
        }
        benchmark::DoNotOptimize(I.data());
    }
    state.counters["MB"] = benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    viClose(rm);
}

// The same simulator's block, asked for and dropped by a plain socket.
void BM_PlainReaderOfSim(benchmark::State &state) {
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--rlev", "0"});
    if (!sim.started() || sim.analyzerPort() <= 0) {
        state.SkipWithError("kalmira-sim could not be started");
        return;
    }
    SimBlockReader reader(sim.analyzerPort(), kSamples);
    for (auto _ : state) {
        if (reader.readBlock() != kBytes) {
            state.SkipWithError("the block did not come whole");
            break;
        }
    }
    state.counters["MB"] = benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// The same number of bytes from one loopback socket to another.
void BM_PlainLoopbackTcpCopy(benchmark::State &state) {
    LoopbackCopy copy;
    for (auto _ : state) {
        if (!copy.run(kBytes)) {
            state.SkipWithError("loopback copy incomplete");
            break;
        }
    }
    state.counters["MB"] = benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_JasperCaptureFromSim)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainReaderOfSim)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainLoopbackTcpCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
