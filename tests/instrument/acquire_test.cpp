// An acquisition per model against kalmira-sim: the commands in order, as the
// simulator logged them, and the samples that arrive in s.
#include "tracefixture.h"

namespace {

const char kNorm65536[] = "TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,65536;*WAI";

double Hanning(int k, int n)
{
    return 0.5 - 0.5 * std::cos(2.0 * M_PI * k / n);
}

// The capture settings of the Beryl, Coral and Onyx panels, as a person
// picks them.
void SetNorm(int panel, int rbwCtrl, int cntCtrl, double rbw, int count)
{
    ASSERT_EQ(ui_test::UserSetVal(panel, rbwCtrl, rbw), 0);
    ASSERT_EQ(ui_test::UserSetVal(panel, cntCtrl, count), 0);
}

void SetJasper(double kHz, int count)
{
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_SRAT, kHz), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, count), 0);
}

struct NormModel {
    int typ;
    const char *name;
};

class NormModels : public TraceTest, public ::testing::WithParamInterface<NormModel> {};

}  // namespace

TEST_P(NormModels, SendsTheCaptureSequenceAndStoresTheToneScaled)
{
    const NormModel m = GetParam();
    StartAnalyzer(m.name);
    UseLan(m.typ);
    ASSERT_EQ(Click(TR_TST), 0);
    ExpectLog(Lines{"*IDN?"});
    EXPECT_FALSE(Text(hTrc, TR_MSG).empty());
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    Truncate();

    const int panel = m.typ == DEV_BERYL ? hBer : m.typ == DEV_CORAL ? hCor : hOnx;
    const int rbw = m.typ == DEV_BERYL ? BY_RBW : m.typ == DEV_CORAL ? CL_RBW : OX_RBW;
    const int cnt = m.typ == DEV_BERYL ? BY_CNT : m.typ == DEV_CORAL ? CL_CNT : OX_CNT;
    SetNorm(panel, rbw, cnt, 10000000.0, 65536);
    ASSERT_EQ(Click(TR_TRC), 0);

    EXPECT_EQ(Messages(), "");
    ExpectLog(TraceLines(m.typ, kNorm65536));
    ASSERT_EQ(s.Len, 65536);
    EXPECT_LT(ToneError(), kTol);
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(NewState, 1);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_BRK), 1);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 0);
    EXPECT_EQ(Text(hTrc, TR_STA), "Frequ.: 1000.000000MHz    Ref.Lev.: -10.00dBm    Atten.: 10.00dB");
    double rate = 0;
    GetCtrlVal(hTrc, TR_DRAT, &rate);
    EXPECT_GT(rate, 0.0);
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);
}

INSTANTIATE_TEST_SUITE_P(Models, NormModels,
                         ::testing::Values(NormModel{DEV_BERYL, "beryl"}, NormModel{DEV_CORAL, "coral"},
                                           NormModel{DEV_ONYX, "onyx"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(TraceTest, AgateSendsRawSettingsAndIsScaledByAThousandTimesFkt)
{
    StartAnalyzer("agate", {"--options", "B4,M33"});
    UseLan(DEV_AGATE);
    ASSERT_EQ(Click(TR_TST), 0);
    ExpectLog((Lines{"*IDN?", "*OPT?"}));
    Truncate();
    // The panel's defaults: 32000 kHz, immediate, positive, 0.0 ms, 1.0 ms.
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    ExpectLog(TraceLines(DEV_AGATE, "TRAC:IQ:SET RAW,8MHz,32000000Hz,IMM,POS,0.00ms,1.0000ms;*WAI"));
    ASSERT_EQ(s.Len, 32000);
    EXPECT_LT(ToneError(), kTol);
    EXPECT_NEAR(fkt, 1000.0 * std::sqrt(50.0 * std::pow(10.0, -4.0)), 1e-3);
}

TEST_F(TraceTest, AgateWithoutM33CannotBeTraced)
{
    StartAnalyzer("agate", {"--options", "B4,M34"});
    UseLan(DEV_AGATE);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(Messages(), std::string("[Agate Error] ") + kNoM33Text + "\n");
    EXPECT_EQ(Beeps(), 1);
    EXPECT_EQ(a.Vi, 0u);
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
}

TEST_F(TraceTest, JasperWithM34GetsTheBasebandCommands)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    ASSERT_EQ(Click(TR_TST), 0);
    ExpectLog((Lines{"*IDN?", "*OPT?"}));
    EXPECT_EQ(JasM34Flg, 1);
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 0);
    Truncate();
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_IQINP, 1), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_BAL, 1), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_LPAS, 1), 0);
    SetJasper(32000.0, 65536);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    const Lines jasper{"*OPT?",          "INP:SEL AIQ", "INP:IQ:BAL ON", "INP:IQ:IMP LOW",
                       "IQ:DITH OFF",    "IQ:LPAS ON",  "INST:NSEL?"};
    // The Jasper panel's bandwidth ring starts on 3 MHz.
    ExpectLog(TraceLines(DEV_JASPER, "TRAC:IQ:SET NORM,3000000Hz,32000000Hz,IMM,POS,0,65536;*WAI", jasper));
    EXPECT_LT(ToneError(), kTol);
}

TEST_F(TraceTest, JasperWithoutM34OutOfModeIsWarnedAndSwitched)
{
    StartAnalyzer("jasper", {"--options", "B4", "--mode", "3"});
    UseLan(DEV_JASPER);
    ASSERT_EQ(Click(TR_TST), 0);
    EXPECT_EQ(JasM34Flg, 0);
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 1);
    EXPECT_EQ(Messages(), "");
    Truncate();
    SetJasper(32000.0, 65536);
    ASSERT_EQ(Click(TR_TRC), 0);
    // The warning comes without a beep.
    EXPECT_EQ(Messages(), "[Warning] Switching to spectrum analysis mode.\n");
    EXPECT_EQ(Beeps(), 0);
    ExpectLog(TraceLines(DEV_JASPER, "TRAC:IQ:SET NORM,3000000Hz,32000000Hz,IMM,POS,0,65536;*WAI",
                                {"*OPT?", "INST:NSEL?", "INST:NSEL 1"}));
    EXPECT_EQ(DVal, 1);
}

TEST_F(TraceTest, SamplesAreDividedByTheFullScaleOfTheReferenceLevel)
{
    StartAnalyzer("beryl", {"--rlev", "30", "--freq", "1.5e9", "--att", "20"});
    UseLan(DEV_BERYL);
    Connect();
    SetNorm(hBer, BY_RBW, BY_CNT, 10000000.0, 4096);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_NEAR(fkt, std::sqrt(50.0), 1e-5);
    EXPECT_LT(ToneError(), kTol);
    EXPECT_EQ(Text(hTrc, TR_STA), "Frequ.: 1500.000000MHz    Ref.Lev.: 30.00dBm    Atten.: 20.00dB");
}

TEST_F(TraceTest, SingleBlockIsWindowedAndAJasperOfExactlyOneChunkToo)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_WIN, 2), 0);  // Hanning
    EXPECT_EQ(win, 2);
    SetJasper(32000.0, kJasperChunk);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(s.Len, kJasperChunk);
    EXPECT_LT(ToneError(Hanning), kTol);
    EXPECT_EQ(s.I[0], 0.0f);
    EXPECT_EQ(s.Q[0], 0.0f);
    // One data query for the whole block: no chunks.
    int queries = 0;
    for (const auto &l : Log())
        queries += l == "TRAC:IQ:DATA?";
    EXPECT_EQ(queries, 1);
}

TEST_F(TraceTest, LongJasperTraceArrivesInChunksWithoutWindow)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_WIN, 2), 0);
    SetJasper(32000.0, 2 * kJasperChunk + 10);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    ASSERT_EQ(s.Len, 2 * kJasperChunk + 10);
    // I blocks hold the cosine and Q blocks the sine everywhere, the last ten
    // samples included: the alternating layout was taken apart correctly.
    EXPECT_LT(ToneError(), kTol);
    EXPECT_LT(ToneError([](int, int) { return 1.0; }, 2 * kJasperChunk), kTol);
    EXPECT_EQ(Text(hSta, ST_MSG), "Reading IQ values  100%");
}

TEST_F(TraceTest, SameAcquisitionThroughTheGpibGateway)
{
    StartGateway("beryl");
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_BERYL), 0);
    EXPECT_EQ(a.Ift, IFT_GPIB);
    EXPECT_EQ(a.Pad, 20);
    ASSERT_EQ(Click(TR_TST), 0);
    ASSERT_GT(a.Vi, 0u) << Messages();
    ExpectLog(Lines{"*IDN?"});
    Truncate();
    SetNorm(hBer, BY_RBW, BY_CNT, 10000000.0, 65536);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    ExpectLog(TraceLines(DEV_BERYL, kNorm65536));
    ASSERT_EQ(s.Len, 65536);
    EXPECT_LT(ToneError(), kTol);
}
