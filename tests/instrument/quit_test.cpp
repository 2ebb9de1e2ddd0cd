// A quit asked from outside (a termination signal) stops a capture through
// the Status panel's Abort, as a person's press does.
#include "shell/modes.h"
#include "tracefixture.h"

namespace {

// The request comes before the trace: the warning the trace would show is
// refused, and although the chunked read releases Abort when it begins, the
// request presses it again at the read's first events.  So the read stops
// long before the end of the block and the instrument is put back.
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
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(EscFlg, 0);
    ASSERT_EQ(s.Len, kMaxTraceLen);
    // The end of the trace never came.
    EXPECT_EQ(s.I[kMaxTraceLen - 1], 0.0f);
    EXPECT_EQ(s.Q[kMaxTraceLen - 1], 0.0f);
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

}  // namespace
