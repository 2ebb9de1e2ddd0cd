// The session around every exchange, as kalmira-sim sees it: the instrument
// is given back to local operation after the device test, a trace and Stop
// Meas; option codes count inside longer tokens; commands wait 10 s and the
// data 30 s; and a capture that waits long for its trigger arrives through
// the GPIB gateway, whose own reads give up after 3 s.
#include "tracefixture.h"

namespace {

const char kBeryl4096[] = "TRAC:IQ:SET NORM,300000Hz,32000000Hz,IMM,POS,0,4096;*WAI";

class LocalTest : public TraceTest, public ::testing::WithParamInterface<bool> {};

ViUInt32 TimeOut()
{
    ViUInt32 tmo = 0;
    EXPECT_EQ(viGetAttribute(a.Vi, VI_ATTR_TMO_VALUE, &tmo), VI_SUCCESS);
    return tmo;
}

}  // namespace

// GPIB: go-to-local through the gateway.  LAN: the LAN protocol's local state,
// which reaches the instrument as its interface message.
TEST_P(LocalTest, TheInstrumentReturnsToLocalAfterTheTestATraceAndStop)
{
    // The second trace goes wrong, so that Stop Meas is offered.
    StartAndChoose(DEV_BERYL, "beryl", GetParam(), {"--log-bus", "--fault", "badheader:2"});
    ASSERT_EQ(Click(TR_TST), 0);
    ASSERT_GT(a.Vi, 0u) << Messages();
    ExpectLog({"*IDN?", "<GTL>"});
    Truncate();
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 4096), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    Lines trace = TraceLines(DEV_BERYL, kBeryl4096);
    trace.push_back("<GTL>");
    ExpectLog(trace);

    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(Dimmed(hTrc, TR_BRK), 0) << Messages();
    Truncate();
    ASSERT_EQ(Click(TR_BRK), 0);
    Lines stop = StopLines();
    stop.push_back("<GTL>");
    ExpectLog(stop);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, LocalTest, ::testing::Values(false, true),
                         [](const auto &info) { return std::string(info.param ? "Gpib" : "Lan"); });

TEST_F(TraceTest, AnOptionCodeInsideALongerTokenCounts)
{
    StartAnalyzer("jasper", {"--options", "B4,M34X,K7"});
    UseLan(DEV_JASPER);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(JasM34Flg, 1);
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 0);

    StartAnalyzer("agate", {"--options", "K7,M33B"});
    UseLan(DEV_AGATE);
    ui_test::ClearPopups();
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Messages(), "");
    EXPECT_GT(a.Vi, 0u);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
}

// The capture waits 11 s for its trigger: longer than the 10 s of the
// commands, within the 30 s of the data transfer.
TEST_F(TraceTest, CommandsWaitTenSecondsAndTheDataThirty)
{
    StartAnalyzer("beryl", {"--trigger-delay", "11"});
    UseLan(DEV_BERYL);
    Connect();
    EXPECT_EQ(TimeOut(), 10000u);
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 4096), 0);
    ASSERT_EQ(viSetAttribute(a.Vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(DVal, 1);
    EXPECT_LT(ToneError(), kTol);
    EXPECT_EQ(TimeOut(), 10000u);

    // Stop Meas as offered after a trace that went wrong.
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 0);
    ASSERT_EQ(viSetAttribute(a.Vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
    ASSERT_EQ(Click(TR_BRK), 0);
    EXPECT_EQ(TimeOut(), 10000u);
}

// 130560 samples at 15.625 kHz after an external trigger: the first byte
// comes 10 s after the data query.
TEST_F(TraceTest, ASlowCaptureArrivesThroughTheGateway)
{
    StartGateway("beryl", {"--trigger-delay", "10"});
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_BERYL), 0);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_SRAT, 15625.0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 130560), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    ExpectLog(TraceLines(DEV_BERYL, "TRAC:IQ:SET NORM,300000Hz,15625Hz,IMM,POS,0,130560;*WAI"));
    EXPECT_EQ(DVal, 1);
    ASSERT_EQ(HeldSamples(), 130560);
    EXPECT_LT(ToneError(), kTol);
}
