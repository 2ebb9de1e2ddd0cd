// The trace panel's states and transitions as a person goes through them.
#include "tracefixture.h"

namespace {

std::string InitError()
{
    return std::string("[Error] ") + kInitErrText + "\n";
}

// A loopback port on which nothing listens.
int ClosedPort()
{
    SimProcess probe({"--analyzer", "onyx", "--port", "0"});
    return probe.analyzerPort();
}

}  // namespace

TEST_F(TraceTest, StartsNotConnectedOnGpibWithTheSimulatorsAddressOffered)
{
    EXPECT_EQ(ui_test::PanelVisible(hTrc), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_PAD), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_IPA), 1);
    EXPECT_EQ(Text(hTrc, TR_IPA), "127.0.0.1");
    EXPECT_STREQ(a.Ipa, "127.0.0.1");
    EXPECT_EQ(a.Typ, DEV_BERYL);
    EXPECT_EQ(a.Pad, 20);
    EXPECT_EQ(ui_test::PanelVisible(hBer), 1);
}

TEST_F(TraceTest, InterfaceAndModelChangesForgetTheSession)
{
    StartAnalyzer("onyx");
    UseLan(DEV_ONYX);
    EXPECT_EQ(Dimmed(hTrc, TR_PAD), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_IPA), 0);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_GT(a.Vi, 0u);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    EXPECT_FALSE(Text(hTrc, TR_MSG).empty());
    ASSERT_EQ(Click(TR_TRC), 0);
    double rate = 0;
    GetCtrlVal(hTrc, TR_DRAT, &rate);
    EXPECT_GT(rate, 0.0);

    // Model: message cleared, Trace IQ dimmed.
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_CORAL), 0);
    EXPECT_EQ(a.Vi, 0u);
    EXPECT_EQ(Text(hTrc, TR_MSG), "");
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
    EXPECT_EQ(ui_test::PanelVisible(hCor), 1);

    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    // Interface: message and rate cleared, both buttons dimmed, fields swap.
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IFT, IFT_GPIB), 0);
    EXPECT_EQ(a.Vi, 0u);
    EXPECT_EQ(Text(hTrc, TR_MSG), "");
    GetCtrlVal(hTrc, TR_DRAT, &rate);
    EXPECT_EQ(rate, 0.0);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_PAD), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_IPA), 1);
}

TEST_F(TraceTest, FailedTestReportsTheInitializationError)
{
    UseLan(DEV_BERYL, ClosedPort());
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Messages(), InitError());
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(a.Vi, 0u);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
    EXPECT_EQ(Text(hTrc, TR_MSG), "");

    // An unreachable Agate: both messages, in this order.
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_AGATE), 0);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Messages(), InitError() + "[Agate Error] " + kNoM33Text + "\n");
    EXPECT_EQ(Beeps(), 2);
}

TEST_F(TraceTest, InstrumentThatNeverAnswersFailsTheTestWithinTheTimeOut)
{
    StartAnalyzer("beryl", {"--fault", "mute"});
    UseLan(DEV_BERYL);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Messages(), InitError());
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
}

TEST_F(TraceTest, ChangingOnlyTheGpibAddressMakesTheNextTraceAVisaError)
{
    StartGateway("coral");
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_CORAL), 0);
    ASSERT_EQ(Click(TR_TST), 0);
    ASSERT_GT(a.Vi, 0u) << Messages();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_PAD, 21), 0);
    EXPECT_EQ(a.Vi, 0u);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);

    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), std::string("[Error] ") + kVisaErrText + "\n");
    // Stuck: only Stop Meas is offered.
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 0);
    EXPECT_EQ(DVal, 0);

    // Back to the right address and a new test; Stop Meas then reaches it.
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_PAD, 20), 0);
    ASSERT_EQ(Click(TR_TST), 0);
    ASSERT_GT(a.Vi, 0u);
    Truncate();
    ASSERT_EQ(Click(TR_BRK), 0);
    ExpectLog(StopLines());
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
}

TEST_F(TraceTest, ChangingTheLanAddressForgetsTheSessionToo)
{
    StartAnalyzer("beryl");
    UseLan(DEV_BERYL);
    Connect();
    const std::string same = "127.0.0.1:" + std::to_string(sim->analyzerPort());
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IPA, same.c_str()), 0);
    EXPECT_EQ(a.Vi, 0u);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), std::string("[Error] ") + kVisaErrText + "\n");
    // Nothing reached the instrument.
    ExpectLog(Lines{});
}
