// The whole acquisition of the largest Jasper trace (16,776,704 samples,
// 134 MB) from kalmira-sim over loopback, as Trace IQ runs it: TracIQ with
// every command, the chunked block read, the scaling and the status texts on
// the program's own panels (offscreen).  Beside it, in the same run, two
// baselines: a plain reader of the same simulator's block (a socket that
// asks for it and drops the bytes), which is what the simulator can deliver,
// and a plain loopback TCP copy of the same byte count, which is what the
// machine can move.  The gap to the first is the program's own cost (VISA
// layer, scaling, status texts, the window's events); the gap between the
// two is the simulator's.  The ratios are printed at the end.
//
// Then the same trace from a Jasper that sends at 100 MB/s: read whole, and
// with Abort pressed half-way, where the figure is the time from the press to
// the end of TracIQ (the device clear and the restore commands included).
#include "instrument/acquire.h"
#include "instrument/session.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

#include "common/sim_process.h"
#include "loopback_copy.h"
#include "sim_reader.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSamples = kMaxTraceLen;
constexpr int64_t kBytes = int64_t(kSamples) * 8;

using Clock = std::chrono::steady_clock;

// MB/s of the whole-trace benches of this run, for the ratios at the end.
double gCaptureRate = 0, gReaderRate = 0, gCopyRate = 0;

// Times the loop's iterations; the rate of kBytes each goes into *rate.
class RateClock {
public:
    explicit RateClock(double *rate) : rate_(rate), start_(Clock::now()) {}
    ~RateClock()
    {
        const double secs = std::chrono::duration<double>(Clock::now() - start_).count();
        if (n_ > 0 && secs > 0)
            *rate_ = double(kBytes) * double(n_) / secs / 1e6;
    }
    void count() { ++n_; }

private:
    double *rate_;
    Clock::time_point start_;
    int n_ = 0;
};

// Milliseconds of the simulator's CPU per block since `since` (seconds).
double SimCpuPerBlock(const benchmark::State &state, double since)
{
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    return (ChildCpuSeconds() - since) * 1000.0 / n;
}

// The program's panels, a tested Jasper session and its capture settings.
bool Prepare(int port)
{
    static bool built = false;
    if (!built) {
        ui_test::SetScripted(true);
        if (BuildPanels() < 0)
            return false;
        built = true;
    }
    a.Typ = DEV_JASPER;
    a.Ift = IFT_LAN;
    const std::string addr = "127.0.0.1:" + std::to_string(port);
    std::snprintf(a.Ipa, sizeof a.Ipa, "%s", addr.c_str());
    if (AnaIni(a) != VI_SUCCESS)
        return false;
    // The count the capture asks for is the one the Jasper panel shows.
    SetCtrlAttribute(hJas, JA_CNT, ATTR_MAX_VALUE, kSamples);
    SetCtrlVal(hJas, JA_CNT, kSamples);
    SRat = 81600000.0f;
    Rbw = 50000000.0f;
    std::strcpy(TrgMod, "IMM");
    std::strcpy(TrgSlp, "POS");
    PreTrg = 0;
    win = 0;
    return true;
}

// The first capture of a length gets fresh arrays from the system, and the
// kernel zeroes their 134 MB as they are first written; the captures after
// it, of the same length, write over the same arrays.  That first capture is
// timed on its own (ms), before the repeated ones.
double FirstCapture()
{
    FreeIqRec(&s);
    const auto start = Clock::now();
    if (TracIQ(a, s) != 0 || s.Len != kSamples)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count() * 1000.0;
}

// TracIQ of the longest trace from the simulator, repeated; the rate goes
// into *rate when given.
void RunTraces(benchmark::State &state, SimProcess &sim, double *rate = nullptr)
{
    const int port = sim.analyzerPort();
    if (!sim.started() || port <= 0 || !Prepare(port)) {
        state.SkipWithError("kalmira-sim could not be started or reached");
        return;
    }
    const double first = rate ? FirstCapture() : 0;
    if (first < 0) {
        state.SkipWithError("the acquisition failed");
        return;
    }
    double shown = 0;
    double ignored = 0;
    const double simCpu = ChildCpuSeconds();
    RateClock clock(rate ? rate : &ignored);
    for (auto _ : state) {
        if (TracIQ(a, s) != 0 || s.Len != kSamples) {
            state.SkipWithError("the acquisition failed");
            break;
        }
        clock.count();
        benchmark::DoNotOptimize(s.I);
        GetCtrlVal(hTrc, TR_DRAT, &shown);
    }
    state.counters["MB/s"] =
        benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    // The figure the trace panel shows (its clock starts before the setup
    // commands).
    state.counters["panel_MB/s"] = shown;
    state.counters["sim_cpu_ms"] = SimCpuPerBlock(state, simCpu);
    if (rate)
        state.counters["first_ms"] = first;
    viClose(a.Vi);
    a.Vi = 0;
}

// One TracIQ with Abort pressed when the progress text says 50 %; the
// seconds from the press to its end, or -1.
double AbortHalfWay()
{
    struct Watch {
        bool done = false;
        Clock::time_point pressed{};
    };
    auto w = std::make_shared<Watch>();
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [w, watch] {
        if (w->done)
            return;
        char text[256] = "";
        GetCtrlVal(hSta, ST_MSG, text);
        if (std::strcmp(text, "Reading IQ values  50%") != 0)
            return ui_test::Post(*watch, 0);
        w->pressed = Clock::now();
        ui_test::UserClick(hSta, ST_ABO);
    };
    // The text the last capture left must not count as this one's.
    SetCtrlVal(hSta, ST_MSG, "");
    ui_test::Post(*watch, 0);
    const int st = TracIQ(a, s);
    const auto end = Clock::now();
    w->done = true;
    if (st != 0 || w->pressed == Clock::time_point{})
        return -1;
    return std::chrono::duration<double>(end - w->pressed).count();
}

void BM_TraceIQ_Jasper16M(benchmark::State &state)
{
    // One Jasper on a free port for the whole run.
    SimProcess sim({"--analyzer", "jasper", "--port", "0"});
    RunTraces(state, sim, &gCaptureRate);
}

// The same simulator's block, asked for and dropped by a plain socket.
void BM_PlainReaderOfSim(benchmark::State &state)
{
    SimProcess sim({"--analyzer", "jasper", "--port", "0"});
    if (!sim.started() || sim.analyzerPort() <= 0) {
        state.SkipWithError("kalmira-sim could not be started");
        return;
    }
    SimBlockReader reader(sim.analyzerPort(), kSamples);
    const double simCpu = ChildCpuSeconds();
    RateClock clock(&gReaderRate);
    for (auto _ : state) {
        if (reader.readBlock() != kBytes) {
            state.SkipWithError("the block did not come whole");
            break;
        }
        clock.count();
    }
    state.counters["MB/s"] =
        benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["sim_cpu_ms"] = SimCpuPerBlock(state, simCpu);
}

// The same at 100 MB/s: about 1.34 s of transfer.
void BM_TraceIQ_Jasper16M_100MBps(benchmark::State &state)
{
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--rate", "100"});
    RunTraces(state, sim);
}

// At 100 MB/s, Abort once the progress text reaches 50 %: the seconds from
// the press to the end of TracIQ.
void BM_AbortLatency_Jasper16M_100MBps(benchmark::State &state)
{
    SimProcess sim({"--analyzer", "jasper", "--port", "0", "--rate", "100"});
    if (!sim.started() || sim.analyzerPort() <= 0 || !Prepare(sim.analyzerPort())) {
        state.SkipWithError("kalmira-sim could not be started or reached");
        return;
    }
    double worst = 0, sum = 0;
    for (auto _ : state) {
        const double secs = AbortHalfWay();
        if (secs < 0) {
            state.SkipWithError("Abort was not pressed, or the acquisition failed");
            break;
        }
        sum += secs;
        worst = std::max(worst, secs);
    }
    const double n = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["abort_ms"] = sum / n * 1000.0;
    state.counters["worst_abort_ms"] = worst * 1000.0;
    viClose(a.Vi);
    a.Vi = 0;
}

// The same number of bytes from one loopback socket to another.
void BM_PlainLoopbackTcpCopy(benchmark::State &state)
{
    LoopbackCopy copy;
    RateClock clock(&gCopyRate);
    for (auto _ : state) {
        if (!copy.run(kBytes)) {
            state.SkipWithError("loopback copy incomplete");
            break;
        }
        clock.count();
    }
    state.counters["MB/s"] =
        benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

// The capture and its two baselines one after the other, so that the
// ratios printed at the end compare figures taken under the same load.
BENCHMARK(BM_TraceIQ_Jasper16M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainReaderOfSim)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainLoopbackTcpCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TraceIQ_Jasper16M_100MBps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_AbortLatency_Jasper16M_100MBps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The capture as a share of each baseline, when all three ran.
void PrintRatios()
{
    if (gCaptureRate <= 0 || (gReaderRate <= 0 && gCopyRate <= 0))
        return;
    std::printf("\ncapture %.0f MB/s", gCaptureRate);
    if (gReaderRate > 0)
        std::printf("  = %.0f %% of the plain reader of the simulator (%.0f MB/s)", 100.0 * gCaptureRate / gReaderRate,
                    gReaderRate);
    if (gCopyRate > 0)
        std::printf("  = %.0f %% of the plain loopback copy (%.0f MB/s)", 100.0 * gCaptureRate / gCopyRate, gCopyRate);
    std::printf("\n");
}

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitUserInterface(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintRatios();
    return 0;
}
