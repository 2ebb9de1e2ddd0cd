// Abort in each phase of a capture: while the instrument waits for its
// trigger, during the I block and during the Q block of a single-block
// trace.  Abort is seen at once in every phase, the instrument is cleared and
// put back, and only the samples whose I and Q both came are held.
#include "abortfixture.h"

namespace {

class AbortPhaseTest : public AbortFixture {
protected:
    // Presses Abort delayMs after the progress text starts with `at`, and
    // notes whether the capture marked itself busy at that moment.
    double AbortAt(const std::string &at, int delayMs, int *busy)
    {
        int ticks = 0;
        const double secs = TraceAndPress(at, delayMs, &ticks, [busy] {
            *busy = IoBusy;
            ui_test::UserClick(hSta, ST_ABO);
        });
        // The events come at least every 100 ms of silence.
        EXPECT_GE(ticks, delayMs / 150) << "the window stood still during the capture";
        return secs;
    }

    // Abort ended the capture at once, which kept other actions away from s.
    static void ExpectStoppedAtOnce(double secs, int busy)
    {
        ASSERT_GE(secs, 0.0) << "Abort was never pressed";
        EXPECT_LT(secs, 1.0) << "the capture went on after Abort";
        EXPECT_GT(busy, 0) << "nothing kept other actions from s meanwhile";
        EXPECT_EQ(IoBusy, 0);
    }

    // The instrument was cleared and put back, and it captures again.
    void ExpectPutBackAndUsable()
    {
        ExpectClearedAndRestored();
        ExpectNextTraceWorks();
    }
};

}  // namespace

// The block would start 3 s after the data query.
TEST_P(AbortPhaseTest, AbortWhileTheInstrumentWaitsForItsTriggerEndsAtOnce)
{
    ConnectJasper({"--trigger-delay", "3"}, 65536);
    int busy = 0;
    const double secs = AbortAt("Starting measurement...", 400, &busy);
    ExpectStoppedAtOnce(secs, busy);
    ExpectNothingHeld();
    EXPECT_EQ(DataRate(), 0.0);
    ExpectPutBackAndUsable();
}

// At 1 MB/s the I block of 524288 samples takes 2 s, the Q block 2 s more.
TEST_P(AbortPhaseTest, AbortDuringTheIBlockOfASingleBlockHoldsNothing)
{
    ConnectJasper({"--rate", "1"}, kJasperChunk);
    int busy = 0;
    const double secs = AbortAt("Reading I values...", 400, &busy);
    ExpectStoppedAtOnce(secs, busy);
    ExpectNothingHeld();
    // Some I values came, at no more than the instrument's speed.
    EXPECT_GT(DataRate(), 0.0);
    EXPECT_LT(DataRate(), 1.05);
    ExpectPutBackAndUsable();
}

TEST_P(AbortPhaseTest, AbortDuringTheQBlockHoldsTheSamplesWhoseQCame)
{
    ConnectJasper({"--rate", "1"}, kJasperChunk);
    int busy = 0;
    const double secs = AbortAt("Reading Q values...", 400, &busy);
    ExpectStoppedAtOnce(secs, busy);
    EXPECT_EQ(Messages(), "");
    // About 0.4 s of Q values at 250000 a second.
    ExpectPartHeld(kJasperChunk);
    EXPECT_GT(HeldSamples(), 25000);
    EXPECT_LT(HeldSamples(), 300000);
    EXPECT_GT(DataRate(), 0.5);
    EXPECT_LT(DataRate(), 1.05);
    ExpectPutBackAndUsable();
}

INSTANTIATE_TEST_SUITE_P(Paths, AbortPhaseTest, ::testing::Values(false, true),
                         [](const auto &info) { return std::string(info.param ? "Gateway" : "Lan"); });
