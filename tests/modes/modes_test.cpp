// The "IQ Source" switch: which panels a person sees, what gets dimmed, and
// that a switch invalidates the data.
#include "modesfixture.h"

#include "files/loadpanel.h"
#include "files/savepanel.h"

namespace {

TEST_F(ModesTest, FileToAnalyzerShowsTraceAndModelPanelAndInvalidatesTheData)
{
    DspMode(0);
    const float i[4] = {1, 2, 3, 4}, q[4] = {0, 0, 0, 0};
    Hold(i, q, 4);
    d.Typ = 2;
    std::snprintf(d.INam, sizeof d.INam, "/tmp/out.asc");
    UpdSaveDim();
    SetCtrlVal(hRun, RN_DVAL, 1);
    ASSERT_EQ(Dimmed(hSav, SA_SAV), 0);
    ASSERT_EQ(ui_test::PanelVisible(hLod), 1);
    ASSERT_EQ(ui_test::PanelVisible(hTrc), 0);

    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    EXPECT_EQ(TrcFlg, 1);
    EXPECT_EQ(NewState, 1);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(ui_test::PanelVisible(hLod), 0);
    EXPECT_EQ(ui_test::PanelVisible(hTrc), 1);
    EXPECT_EQ(ui_test::PanelVisible(hSav), 1);
    EXPECT_EQ(ShownSettingsPanel(), hBer);
    EXPECT_EQ(IntVal(hRun, RN_DVAL), 0);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    // The held arrays no longer count as data: no spectrum of them.
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
    // The Beryl panel's count became the sample count.
    EXPECT_EQ(s.Len, 65536);
    EXPECT_EQ(IntVal(hLod, LO_CNT), 65536);

    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 0), 0);
    EXPECT_EQ(TrcFlg, 0);
    EXPECT_EQ(ui_test::PanelVisible(hLod), 1);
    EXPECT_EQ(ui_test::PanelVisible(hTrc), 0);
    EXPECT_EQ(ShownSettingsPanel(), 0);
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 1);
    EXPECT_EQ(Dimmed(hLod, LO_CNT), 1);
    EXPECT_EQ(Text(hLod, LO_DI), "");
    EXPECT_EQ(IFlg, 0);
    // File mode takes its rate from the Load panel's "Frequency".
    EXPECT_EQ(SRat, static_cast<float>(DblVal(hLod, LO_FRQ)));
}

TEST_F(ModesTest, EachModelShowsItsOwnPanelAndAnUnknownModelNone)
{
    TrcFlg = 1;
    const int expect[] = {0, hAgt, hBer, hCor, hJas, hOnx, 0};
    for (int typ = 0; typ <= 6; ++typ) {
        a.Typ = typ;
        DspMode(1);
        EXPECT_EQ(ShownSettingsPanel(), expect[typ]) << "model " << typ;
    }
}

TEST_F(ModesTest, InterfaceDimsTheAddressItDoesNotUse)
{
    // The switch and the record agree, as the trace panel and the
    // configuration keep them.
    TrcFlg = 1;
    a.Ift = IFT_LAN;
    SetCtrlVal(hTrc, TR_IFT, IFT_LAN);
    DspMode(1);
    EXPECT_EQ(Dimmed(hTrc, TR_PAD), 1);
    EXPECT_EQ(Dimmed(hTrc, TR_IPA), 0);
    a.Ift = IFT_GPIB;
    SetCtrlVal(hTrc, TR_IFT, IFT_GPIB);
    DspMode(1);
    EXPECT_EQ(Dimmed(hTrc, TR_PAD), 0);
    EXPECT_EQ(Dimmed(hTrc, TR_IPA), 1);

    // The variable update takes the interface from the trace panel's switch.
    SetCtrlVal(hTrc, TR_IFT, 1);
    UpdVar();
    EXPECT_EQ(a.Ift, IFT_LAN);
}

TEST_F(ModesTest, SwitchIsIgnoredWhileAFileOperationRuns)
{
    DspMode(0);
    IoBusy = 1;
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    EXPECT_EQ(TrcFlg, 0);
    EXPECT_EQ(IntVal(hRun, RN_MODE), 0);
    EXPECT_EQ(ui_test::PanelVisible(hLod), 1);
    IoBusy = 0;
}

TEST_F(ModesTest, AgateCountIsRecomputedOnEveryModeDisplay)
{
    TrcFlg = 1;
    a.Typ = DEV_AGATE;
    SetCtrlVal(hAgt, AG_SRAT, 1000.0);
    SetCtrlVal(hAgt, AG_RECLEN, 2.5);
    DspMode(1);
    EXPECT_EQ(SRat, 1000000.0f);
    EXPECT_EQ(s.Len, 2500);
    EXPECT_EQ(IntVal(hAgt, AG_CNT), 2500);
    EXPECT_EQ(IntVal(hLod, LO_CNT), 2500);
}

}  // namespace
