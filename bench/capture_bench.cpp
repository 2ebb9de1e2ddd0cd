// The whole acquisition of the largest Jasper trace (16,776,704 samples,
// 134 MB) from kalmira-sim over loopback, as Trace IQ runs it: TracIQ with
// every command, the chunked block read, the scaling and the status texts on
// the program's own panels (offscreen).  Beside it, in the same run, a plain
// loopback TCP copy of the same byte count: the gap is what the program, the
// VISA layer and the simulator's signal cost.
#include "instrument/acquire.h"
#include "instrument/session.h"
#include "instrument/tracepanel.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include "common/sim_process.h"
#include "loopback_copy.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
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
    SRat = 81600000.0f;
    Rbw = 50000000.0f;
    std::strcpy(TrgMod, "IMM");
    std::strcpy(TrgSlp, "POS");
    PreTrg = 0;
    win = 0;
    return true;
}

void BM_TraceIQ_Jasper16M(benchmark::State &state)
{
    // One Jasper on a free port for the whole run.
    SimProcess sim({"--analyzer", "jasper", "--port", "0"});
    const int port = sim.analyzerPort();
    if (!sim.started() || port <= 0 || !Prepare(port)) {
        state.SkipWithError("kalmira-sim could not be started or reached");
        return;
    }
    double shown = 0;
    for (auto _ : state) {
        s.Len = kSamples;
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
