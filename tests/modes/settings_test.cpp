// The analyzer settings panels: what each control feeds, the Agate record
// coupling, the count limits, and the copies between panels and globals.
#include "modesfixture.h"

#include <cmath>

namespace {

class SettingsTest : public ModesTest {
protected:
    void Show(int typ)
    {
        TrcFlg = 1;
        a.Typ = typ;
        DspMode(1);
    }
};

TEST_F(SettingsTest, AgateRecordIsCutToTheLongestTheInstrumentKeeps)
{
    Show(DEV_AGATE);
    // 32000 kHz with 20.4 ms would be 652800 samples.
    ASSERT_EQ(ui_test::UserSetVal(hAgt, AG_RECLEN, 20.4), 0);
    EXPECT_EQ(s.Len, 524200);
    EXPECT_NEAR(RecLen, 16.38125, 1e-5);
    EXPECT_NEAR(DblVal(hAgt, AG_RECLEN), 16.38125, 1e-5);
    EXPECT_EQ(IntVal(hAgt, AG_CNT), 524200);
    // The trace panel's update after every commit counts the same.
    UpdVar();
    EXPECT_EQ(s.Len, 524200);

    ASSERT_EQ(ui_test::UserSetVal(hAgt, AG_SRAT, 40.0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hAgt, AG_RECLEN, 1.0), 0);
    EXPECT_EQ(SRat, 40000.0f);
    EXPECT_EQ(s.Len, 40);
    EXPECT_EQ(IntVal(hAgt, AG_CNT), 40);
}

TEST_F(SettingsTest, AgatePanelUpdateLimitsARestoredRecord)
{
    a.Typ = DEV_AGATE;
    TrcFlg = 1;
    SRat = 20000000;
    RecLen = 30;
    std::strcpy(TrgMod, "EXT");
    std::strcpy(TrgSlp, "NEG");
    TrgOfs = 1.25f;
    DisplayPanel(hTrc);
    UpdPnl();
    EXPECT_EQ(ShownSettingsPanel(), hAgt);
    EXPECT_EQ(s.Len, 524200);
    EXPECT_NEAR(RecLen, 26.21, 1e-5);
    EXPECT_EQ(IntVal(hAgt, AG_CNT), 524200);
    EXPECT_NEAR(DblVal(hAgt, AG_SRAT), 20000.0, 1e-9);
    EXPECT_EQ(Text(hAgt, AG_TRGMOD), "EXT");
    EXPECT_EQ(Text(hAgt, AG_TRGSLP), "NEG");
    EXPECT_NEAR(DblVal(hAgt, AG_TRGOFS), 1.25, 1e-6);
    // Whoever recounts from rate and record length gets the same count.
    EXPECT_EQ(static_cast<int>(0.001 * SRat * RecLen), 524200);
}

TEST_F(SettingsTest, ShortenedAgateRecordAlwaysRecountsToTheFullRecord)
{
    // Some rates make the nearest float record length fall just short.
    for (double kHz = 25700.0; kHz <= 32000.0; kHz += 0.125) {
        float rate = static_cast<float>(kHz * 1000.0);
        float len = 20.4f;
        ASSERT_EQ(AgateCount(rate, &len), 524200) << kHz;
        ASSERT_EQ(static_cast<int>(0.001 * rate * len), 524200) << kHz;
        ASSERT_LT(len, 20.4f);
    }
    float len = 1.0f;
    EXPECT_EQ(AgateCount(40000.0f, &len), 40);
    EXPECT_EQ(len, 1.0f);
}

TEST_F(SettingsTest, ShowingAPanelRenewsItsCountLimit)
{
    SetCtrlVal(hBer, BY_CNT, 500000);
    SetCtrlVal(hCor, CL_CNT, 500000);
    SetCtrlVal(hOnx, OX_CNT, 500000);
    ASSERT_EQ(IntVal(hBer, BY_CNT), 500000);

    Show(DEV_BERYL);
    EXPECT_EQ(MaxCount(hBer, BY_CNT), 130560);
    EXPECT_EQ(s.Len, 130560);
    Show(DEV_CORAL);
    EXPECT_EQ(MaxCount(hCor, CL_CNT), 523776);
    EXPECT_EQ(s.Len, 500000);
    Show(DEV_ONYX);
    EXPECT_EQ(MaxCount(hOnx, OX_CNT), 130560);
    EXPECT_EQ(s.Len, 130560);
    Show(DEV_JASPER);
    EXPECT_EQ(MaxCount(hJas, JA_CNT), 16776704);
    EXPECT_EQ(s.Len, 65536);
}

TEST_F(SettingsTest, BuildDefaultsAndRingsPerModel)
{
    Show(DEV_BERYL);
    EXPECT_EQ(Rbw, 300000.0f);
    EXPECT_EQ(SRat, 32000000.0f);
    EXPECT_STREQ(FltTyp, "NORM");
    EXPECT_STREQ(TrgMod, "IMM");
    EXPECT_STREQ(TrgSlp, "POS");
    Show(DEV_CORAL);
    EXPECT_EQ(Rbw, 3000000.0f);
    Show(DEV_JASPER);
    EXPECT_EQ(Rbw, 3000000.0f);
    EXPECT_EQ(SRat, 10000000.0f);
    Show(DEV_AGATE);
    EXPECT_STREQ(DatTyp, "RAW");
    EXPECT_EQ(Rbw, 8000000.0f);
    EXPECT_EQ(SRat, 32000000.0f);
    EXPECT_EQ(s.Len, 32000);

    // Only the Coral and the Jasper offer 50 and 20 MHz.
    EXPECT_EQ(SetCtrlVal(hCor, CL_RBW, 50000000.0), 0);
    EXPECT_EQ(SetCtrlVal(hJas, JA_RBW, 20000000.0), 0);
    EXPECT_LT(SetCtrlVal(hBer, BY_RBW, 50000000.0), 0);
    EXPECT_LT(SetCtrlVal(hOnx, OX_RBW, 20000000.0), 0);
    // The rate ring runs from 15.625 kHz up by doubling.
    EXPECT_EQ(SetCtrlVal(hBer, BY_SRAT, 15625.0), 0);
    EXPECT_LT(SetCtrlVal(hBer, BY_SRAT, 64000000.0), 0);
}

TEST_F(SettingsTest, EveryLiveControlFeedsItsGlobal)
{
    Show(DEV_CORAL);
    ASSERT_EQ(ui_test::UserSetVal(hCor, CL_RBW, 50000000.0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hCor, CL_SRAT, 125000.0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hCor, CL_TRGMOD, "EXT"), 0);
    ASSERT_EQ(ui_test::UserSetVal(hCor, CL_PRETRG, 100), 0);
    ASSERT_EQ(ui_test::UserSetVal(hCor, CL_CNT, 4096), 0);
    EXPECT_EQ(Rbw, 50000000.0f);
    EXPECT_EQ(SRat, 125000.0f);
    EXPECT_STREQ(TrgMod, "EXT");
    EXPECT_EQ(PreTrg, 100);
    EXPECT_EQ(s.Len, 4096);

    Show(DEV_JASPER);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_SRAT, 81600.0), 0);
    EXPECT_EQ(SRat, 81600000.0f);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_TRGMOD, "RFP"), 0);
    EXPECT_STREQ(TrgMod, "RFP");
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, 1048586), 0);
    EXPECT_EQ(s.Len, 1048586);
}

// What UpdPnl writes, UpdVar reads back unchanged.
TEST_F(SettingsTest, PanelUpdateAndVariableUpdateAreInverse)
{
    struct Case {
        int typ;
        float rbw, srat;
        const char *trg;
        int pre, len;
    };
    const Case cases[] = {{DEV_BERYL, 1000000, 2000000, "EXT", 12, 1000},
                          {DEV_CORAL, 20000000, 8000000, "EXT", 300, 500000},
                          {DEV_JASPER, 50000000, 40000000, "IFP", 65023, 2000000},
                          {DEV_ONYX, 10000000, 15625, "IMM", 0, 130560}};
    for (const Case &c : cases) {
        TrcFlg = 1;
        a.Typ = c.typ;
        JasM34Flg = 1;
        Rbw = c.rbw;
        SRat = c.srat;
        std::strcpy(TrgMod, c.trg);
        PreTrg = c.pre;
        s.Len = c.len;
        IqInp = Bal = Dith = 1;
        Imp = LPas = 0;
        DisplayPanel(hTrc);
        UpdPnl();
        EXPECT_EQ(ShownSettingsPanel() != 0, true);
        Rbw = SRat = 0;
        TrgMod[0] = '\0';
        PreTrg = s.Len = 0;
        IqInp = Bal = Dith = 0;
        Imp = LPas = 1;
        UpdVar();
        EXPECT_EQ(Rbw, c.rbw) << c.typ;
        EXPECT_EQ(SRat, c.srat) << c.typ;
        EXPECT_STREQ(TrgMod, c.trg) << c.typ;
        EXPECT_EQ(PreTrg, c.pre) << c.typ;
        EXPECT_EQ(s.Len, c.len) << c.typ;
        if (c.typ == DEV_JASPER) {
            EXPECT_EQ(IqInp + Bal + Dith, 3);
            EXPECT_EQ(Imp + LPas, 0);
        }
    }
}

TEST_F(SettingsTest, JasperBasebandBoxesFollowOptionAndIqInput)
{
    const int four[] = {JA_BAL, JA_IMP, JA_DITH, JA_LPAS};
    TrcFlg = 1;
    a.Typ = DEV_JASPER;
    // Built: only "IQ" is live.
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 0);
    for (int id : four)
        EXPECT_EQ(Dimmed(hJas, id), 1);

    JasM34Flg = 0;
    IqInp = 1;
    UpdPnl();
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 1);
    for (int id : four)
        EXPECT_EQ(Dimmed(hJas, id), 1);

    JasM34Flg = 1;
    IqInp = 0;
    UpdPnl();
    EXPECT_EQ(Dimmed(hJas, JA_IQINP), 0);
    for (int id : four)
        EXPECT_EQ(Dimmed(hJas, id), 1);

    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_IQINP, 1), 0);
    EXPECT_EQ(IqInp, 1);
    for (int id : four)
        EXPECT_EQ(Dimmed(hJas, id), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_BAL, 1), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_LPAS, 1), 0);
    EXPECT_EQ(Bal, 1);
    EXPECT_EQ(LPas, 1);
    EXPECT_EQ(Imp + Dith, 0);

    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_IQINP, 0), 0);
    for (int id : four)
        EXPECT_EQ(Dimmed(hJas, id), 1);
}

}  // namespace
