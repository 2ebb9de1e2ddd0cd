// Abort in the middle of the longest Jasper trace, on the LAN and through the
// GPIB gateway: the transfer ends at once with a device clear instead of
// reading the rest, the window keeps working meanwhile, what arrived is kept,
// and the next capture works.
#include "tracefixture.h"

#include <chrono>
#include <functional>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

class AbortTest : public TraceTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Gateway() const { return GetParam(); }

    // A Jasper with the extra options, tested, set to the longest trace.
    void ConnectJasper(Lines extra)
    {
        extra.push_back("--log-bus");
        StartAndChoose(DEV_JASPER, "jasper", Gateway(), extra);
        Connect();
        ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, kMaxTraceLen), 0);
    }

    struct Watch {
        std::string at;
        int delayMs = 0;
        bool done = false;
        int ticks = 0;
        Clock::time_point pressed{};
    };

    // Presses Trace IQ and, delayMs after the progress text first starts
    // with `at`, Abort.  Returns the seconds from Abort to the end of the
    // trace; ticks counts a 20 ms timer of the window meanwhile.
    double TraceAndAbort(const std::string &at, int delayMs, int *ticks)
    {
        return TraceAndPress(at, delayMs, ticks, [] { ui_test::UserClick(hSta, ST_ABO); });
    }

    // The same with another action of the person in place of Abort.
    double TraceAndPress(const std::string &at, int delayMs, int *ticks, std::function<void()> press)
    {
        // Shared with the posted calls, which may outlive this function.
        auto w = std::make_shared<Watch>();
        w->at = at;
        w->delayMs = delayMs;
        auto tick = std::make_shared<std::function<void()>>();
        *tick = [w, tick] {
            if (w->done)
                return;
            ++w->ticks;
            ui_test::Post(*tick, 20);
        };
        auto watch = std::make_shared<std::function<void()>>();
        *watch = [w, watch, press] {
            if (w->done)
                return;
            if (Text(hSta, ST_MSG).rfind(w->at, 0) != 0)
                return ui_test::Post(*watch, 1);
            ui_test::Post([w, press] {
                w->pressed = Clock::now();
                press();
            }, w->delayMs);
        };
        ui_test::Post(*watch, 1);
        ui_test::Post(*tick, 20);
        EXPECT_EQ(Click(TR_TRC), 0);
        const auto end = Clock::now();
        w->done = true;
        *ticks = w->ticks;
        if (w->pressed == Clock::time_point{})
            return -1;
        return std::chrono::duration<double>(end - w->pressed).count();
    }

    // What the instrument heard after the data query: the clear (through the
    // gateway; on the LAN the connection is made anew), then the restore.
    void ExpectClearedAndRestored() const
    {
        // The simulator logs on its own time: wait for the last line.
        Lines got = Log();
        for (int i = 0; i < 300 && (got.empty() || got.back() != "<GTL>"); ++i) {
            ::usleep(10000);
            got = Log();
        }
        auto q = std::find(got.begin(), got.end(), "TRAC:IQ:DATA?");
        ASSERT_NE(q, got.end());
        Lines tail{"TRAC:IQ OFF", "INIT:CONT ON", "<GTL>"};
        if (Gateway())
            tail.insert(tail.begin(), "<SDC>");
        EXPECT_EQ(Lines(q + 1, got.end()), tail);
    }

    // The tone in I and Q below sample n.
    static double ToneErrorBelow(int n)
    {
        double worst = 0;
        for (int k = 0; k < n; ++k) {
            const double ph = 2.0 * M_PI * (k % 16) / 16.0;
            worst = std::max({worst, std::fabs(s.I[k] - 0.9 * std::cos(ph)), std::fabs(s.Q[k] - 0.9 * std::sin(ph))});
        }
        return worst;
    }

    void ExpectNextTraceWorks()
    {
        ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, 65536), 0);
        Truncate();
        ASSERT_EQ(Click(TR_TRC), 0);
        EXPECT_EQ(Messages(), "");
        EXPECT_EQ(DVal, 1);
        ASSERT_EQ(HeldSamples(), 65536);
        EXPECT_LT(ToneError(), kTol);
    }
};

}  // namespace

// At 10 MB/s the rest of the 134 MB block would take some 13 s.
TEST_P(AbortTest, AbortInTheMiddleOfAThrottledTransferEndsItAtOnce)
{
    ConnectJasper({"--rate", "10"});
    int ticks = 0;
    const double secs = TraceAndAbort("Reading IQ values  0%", 600, &ticks);
    ASSERT_GE(secs, 0.0) << "Abort was never pressed";
    EXPECT_LT(secs, 5.0) << "the rest of the block was read";
    EXPECT_GT(ticks, 0) << "the window stood still during the transfer";
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(EscFlg, 0);  // the next file load is not aborted by this click
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    ASSERT_EQ(HeldSamples(), kMaxTraceLen);
    // What came before Abort is kept; the rest stays zero.
    EXPECT_LT(ToneErrorBelow(1000), kTol);
    EXPECT_EQ(s.I[kMaxTraceLen - 1], 0.0f);
    EXPECT_EQ(s.Q[kMaxTraceLen - 1], 0.0f);
    ExpectClearedAndRestored();
    ExpectNextTraceWorks();
}

// The instrument stops sending half-way (and keeps the connection open):
// Abort still ends the transfer, long before the 30 s time-out would.
TEST_P(AbortTest, AbortWhileTheInstrumentHasStoppedSendingEndsTheTransfer)
{
    ConnectJasper({"--fault", "short"});
    int ticks = 0;
    // Half the block is in pair 15 of 32, whose text says 46%.
    const double secs = TraceAndAbort("Reading IQ values  46%", 500, &ticks);
    ASSERT_GE(secs, 0.0) << "Abort was never pressed";
    EXPECT_LT(secs, 10.0);
    // Events are let through at least every 100 ms of silence.
    EXPECT_GE(ticks, 3) << "the window stood still while the instrument was silent";
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(DVal, 1);
    ASSERT_EQ(HeldSamples(), kMaxTraceLen);
    EXPECT_LT(ToneErrorBelow(15 * kJasperChunk), kTol);
    EXPECT_EQ(s.I[kMaxTraceLen - 1], 0.0f);
    ExpectClearedAndRestored();
    ExpectNextTraceWorks();
}

// While the transfer runs the window lives: the trace panel's controls
// cannot change the instrument or the window under the running capture, and
// show again what it uses; the device test waits; Stop Meas stops the
// capture as Abort does.
TEST_P(AbortTest, TracePanelDuringATransferShowsWhatTheCaptureUses)
{
    ConnectJasper({"--rate", "10"});
    int ticks = 0;
    int testDimmed = -1;
    const double secs = TraceAndPress("Reading IQ values  0%", 400, &ticks, [&] {
        testDimmed = Dimmed(hTrc, TR_TST);
        ui_test::UserSetVal(hTrc, TR_TYP, DEV_CORAL);
        ui_test::UserSetVal(hTrc, TR_IFT, Gateway() ? IFT_LAN : IFT_GPIB);
        ui_test::UserSetVal(hTrc, TR_WIN, 4);
        ui_test::UserClick(hTrc, TR_BRK);
    });
    ASSERT_GE(secs, 0.0) << "Stop Meas was never pressed";
    EXPECT_LT(secs, 5.0) << "Stop Meas did not stop the transfer";
    EXPECT_EQ(testDimmed, 1);
    EXPECT_EQ(Dimmed(hTrc, TR_TST), 0);
    EXPECT_EQ(IntVal(hTrc, TR_TYP), DEV_JASPER);
    EXPECT_EQ(a.Typ, DEV_JASPER);
    EXPECT_EQ(IntVal(hTrc, TR_IFT), Gateway() ? IFT_GPIB : IFT_LAN);
    EXPECT_EQ(IntVal(hTrc, TR_WIN), win);
    ExpectClearedAndRestored();
    ExpectNextTraceWorks();
}

// Quit while a transfer runs stops it as Abort does; the instrument is put
// back before the program ends.
TEST_P(AbortTest, QuitDuringATransferStopsItFirst)
{
    ConnectJasper({"--rate", "10"});
    int ticks = 0;
    const double secs = TraceAndPress("Reading IQ values  0%", 400, &ticks,
                                      [] { ui_test::UserClick(hRun, RN_QUIT); });
    // The quit also ended the event loop: the next one returns at once.
    EXPECT_EQ(RunUserInterface(), 0);
    ASSERT_GE(secs, 0.0) << "Quit was never pressed";
    EXPECT_LT(secs, 5.0) << "the rest of the block was read before the program could end";
    ExpectClearedAndRestored();
}

INSTANTIATE_TEST_SUITE_P(Paths, AbortTest, ::testing::Values(false, true),
                         [](const auto &info) { return std::string(info.param ? "Gateway" : "Lan"); });
