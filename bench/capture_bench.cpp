// The whole acquisition of the largest Jasper trace (16,776,704 samples,
// 134 MB) from kalmira-sim over loopback, as Trace IQ runs it: TracIQ with
// every command, the chunked block read, the scaling and the status texts on
// the program's own panels (offscreen).  Beside it, in the same run, a plain
// loopback TCP copy of the same byte count: the gap is what the program, the
// VISA layer and the simulator's signal cost.
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

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kSamples = kMaxTraceLen;
constexpr int64_t kBytes = int64_t(kSamples) * 8;

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

// TracIQ of the longest trace from the simulator, repeated.
void RunTraces(benchmark::State &state, SimProcess &sim)
{
    const int port = sim.analyzerPort();
    if (!sim.started() || port <= 0 || !Prepare(port)) {
        state.SkipWithError("kalmira-sim could not be started or reached");
        return;
    }
    double shown = 0;
    for (auto _ : state) {
        if (TracIQ(a, s) != 0 || s.Len != kSamples) {
            state.SkipWithError("the acquisition failed");
            break;
        }
        benchmark::DoNotOptimize(s.I);
        GetCtrlVal(hTrc, TR_DRAT, &shown);
    }
    state.counters["MB/s"] =
        benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
    // The figure the trace panel shows (its clock starts before the setup
    // commands).
    state.counters["panel_MB/s"] = shown;
    viClose(a.Vi);
    a.Vi = 0;
}

// One TracIQ with Abort pressed when the progress text says 50 %; the
// seconds from the press to its end, or -1.
double AbortHalfWay()
{
    using Clock = std::chrono::steady_clock;
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
    RunTraces(state, sim);
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
    for (auto _ : state) {
        if (!copy.run(kBytes)) {
            state.SkipWithError("loopback copy incomplete");
            break;
        }
    }
    state.counters["MB/s"] =
        benchmark::Counter(double(kBytes) / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_TraceIQ_Jasper16M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TraceIQ_Jasper16M_100MBps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_AbortLatency_Jasper16M_100MBps)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainLoopbackTcpCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char **argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitUserInterface(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
