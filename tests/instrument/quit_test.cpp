// A quit asked from outside (a termination signal) stops a capture through
// the Status panel's Abort, as a person's press does.
#include "shell/modes.h"
#include "tracefixture.h"

#include <chrono>
#include <csignal>

namespace {

// The request comes before the trace: the warning the trace would show is
// refused, and although the read releases Abort when it begins, the request
// presses it again at the read's first events.  So the read stops before
// the block's header and the instrument is put back.
TEST_F(TraceTest, QuitRequestStopsAChunkedTraceThroughAbort)
{
    StartAnalyzer("jasper", {"--mode", "2"});
    UseLan(DEV_JASPER);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, kMaxTraceLen), 0);
    ASSERT_EQ(QuitOnTerminationSignals(AbortRunning), 0);
    RequestQuit();
    ASSERT_EQ(Click(TR_TRC), 0);
    const std::string said = Messages();
    ui_test::ClearQuitRequest();
    // The request also ended the event loop: the next one returns at once.
    EXPECT_EQ(RunUserInterface(), 0);

    EXPECT_EQ(said, "");
    EXPECT_EQ(EscFlg, 0);
    // Stopped before the block's header: nothing is held.
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(HeldSamples(), 0);
    EXPECT_EQ(s.I, nullptr);
    // The simulator logs on its own time, the restore commands came on the
    // connection the device clear made anew: wait for the last line.
    Lines got = Log();
    for (int i = 0; i < 300 && (got.empty() || got.back() != "INIT:CONT ON"); ++i) {
        ::usleep(10000);
        got = Log();
    }
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(Lines(got.end() - 2, got.end()), (Lines{"TRAC:IQ OFF", "INIT:CONT ON"}));
}

// A termination signal while the instrument waits for its trigger (the block
// would start 3 s after the query): the capture stops at once, the
// instrument is cleared and put back under local control, and nothing is
// held.  (A second signal would end the process at once: this is the only
// one the test program raises.)
TEST_F(TraceTest, TerminationSignalDuringTheWaitForTheTriggerStopsTheCapture)
{
    StartAnalyzer("jasper", {"--trigger-delay", "3", "--log-bus"});
    UseLan(DEV_JASPER);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, 65536), 0);
    ASSERT_EQ(QuitOnTerminationSignals(AbortRunning), 0);
    ui_test::Post([] { ::raise(SIGTERM); }, 400);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Click(TR_TRC), 0);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string said = Messages();
    ui_test::ClearQuitRequest();
    EXPECT_EQ(RunUserInterface(), 0);

    EXPECT_LT(secs, 1.5) << "the capture waited for the block";
    EXPECT_EQ(said, "");
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(HeldSamples(), 0);
    Lines got = Log();
    for (int i = 0; i < 300 && (got.empty() || got.back() != "<GTL>"); ++i) {
        ::usleep(10000);
        got = Log();
    }
    ASSERT_GE(got.size(), 3u);
    EXPECT_EQ(Lines(got.end() - 3, got.end()), (Lines{"TRAC:IQ OFF", "INIT:CONT ON", "<GTL>"}));
}

}  // namespace
