// Abort in the middle of the longest Jasper trace, on the LAN and through the
// GPIB gateway: the transfer ends at once with a device clear instead of
// reading the rest, the window keeps working meanwhile, what arrived is kept,
// and the next capture works.
#include "abortfixture.h"

namespace {

class AbortTest : public AbortFixture {};

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
    EXPECT_EQ(EscFlg, 0);  // the next file load is not aborted by this click
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    // Some 0.6 s at 10 MB/s: about the first I/Q pair.
    ExpectPartHeld(kMaxTraceLen);
    // The speed of what came, not of the whole trace asked for.
    EXPECT_GT(DataRate(), 1.0);
    EXPECT_LT(DataRate(), 10.5);
    ExpectClearedAndRestored();
    ExpectNextTraceWorks();
}

// The instrument stops sending half-way (and keeps the connection open):
// Abort still ends the transfer, long before the 30 s time-out would.
TEST_P(AbortTest, AbortWhileTheInstrumentHasStoppedSendingEndsTheTransfer)
{
    ConnectJasper({"--fault", "short"});
    int ticks = 0;
    // The instrument falls silent after half the block: the text says 50%
    // only then.
    const double secs = TraceAndAbort("Reading IQ values  50%", 500, &ticks);
    ASSERT_GE(secs, 0.0) << "Abort was never pressed";
    EXPECT_LT(secs, 10.0);
    // Events are let through at least every 100 ms of silence.
    EXPECT_GE(ticks, 3) << "the window stood still while the instrument was silent";
    EXPECT_EQ(Messages(), "");
    // Half the block ends shortly before the end of pair 15's Q block.
    ExpectPartHeld(kMaxTraceLen);
    EXPECT_GT(HeldSamples(), 15 * kJasperChunk);
    EXPECT_LT(HeldSamples(), 16 * kJasperChunk);
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
