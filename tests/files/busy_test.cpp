// What a person does while a load or a save runs (the library lets the
// window live every 25000 samples): nothing changes the data, the formats or
// the records under the running operation, every control that was touched
// shows again what the program holds, and the next action does what is shown.
#include "panelfixture.h"

#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "state/busy.h"

#include <fstream>

namespace {

class Busy : public PanelTest {
protected:
    void TearDown() override
    {
        IoBusy = 0;
        PanelTest::TearDown();
    }

    static int IntVal(int panel, int ctrl)
    {
        int v = -1;
        GetCtrlVal(panel, ctrl, &v);
        return v;
    }

    // Samples in s as a capture leaves them.
    static void Captured(const Samples &x)
    {
        FreeIqRec(&s);
        const int n = static_cast<int>(x.i.size());
        s.I = static_cast<float *>(std::calloc(n, sizeof(float)));
        s.Q = static_cast<float *>(std::calloc(n, sizeof(float)));
        std::memcpy(s.I, x.i.data(), n * sizeof(float));
        std::memcpy(s.Q, x.q.data(), n * sizeof(float));
        s.Len = HeldLen = n;
        DVal = 1;
    }

    // A configuration of file mode with other formats, another count and
    // another rate than the test uses.
    std::string OtherConfiguration() const
    {
        const std::string cfg = Path("other.cfg");
        std::ofstream(cfg) << "16 30\n2 20 0 0 5 1\nRAW NORM 1000.0 1234.0 IMM POS 0.000 0 1.0000\n"
                              "10 0 0\n\n/\n/\n0 0 0 0 0\n";
        return cfg;
    }
};

// During an append the person loads a configuration, turns both Type rings,
// the guard count, the Frequency and the source switch: all of it is
// refused, the controls show the program's values again, the append writes
// what was there when it started, and the next save writes the format shown.
TEST_F(Busy, ASaveInProgressRefusesWhatWouldChangeItsDataOrFormats)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Ramp(1000)), 0);
    ASSERT_EQ(Write(22, Path("big.kal"), "", Ramp(200000, 5)), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(22, Path("big.kal"), "");
    const float rate = SRat;
    const std::string cfg = OtherConfiguration();
    bool ran = false;
    ui_test::Post([&] {
        ran = IoBusy != 0;
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, cfg);
        ui_test::UserMenu(hMen, MN_FILE_LOAD);
        ui_test::UserSetVal(hLod, LO_TYP, 0);
        ui_test::UserSetVal(hSav, SA_TYP, 6);
        ui_test::UserSetVal(hSav, SA_CNT, 5);
        ui_test::UserSetVal(hLod, LO_FRQ, 777.0);
        ui_test::UserSetVal(hRun, RN_MODE, 1);
    });
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    ASSERT_TRUE(ran) << "the actions did not come during the append";
    EXPECT_TRUE(MessageTexts().empty());

    const Samples back = Read(22, Path("big.kal"), "");
    ASSERT_EQ(back.i.size(), 201000u);
    EXPECT_EQ(back.i[200000], 0.0f);
    EXPECT_EQ(back.i[200999], static_cast<float>(999 % 50));

    EXPECT_EQ(s.Typ, 22);
    EXPECT_EQ(d.Typ, 22);
    EXPECT_EQ(NGrd, 0);
    EXPECT_EQ(TrcFlg, 0);
    EXPECT_EQ(s.Len, 1000);
    EXPECT_FLOAT_EQ(SRat, rate);
    EXPECT_EQ(IntVal(hLod, LO_TYP), 22);
    EXPECT_EQ(IntVal(hSav, SA_TYP), 22);
    EXPECT_EQ(IntVal(hSav, SA_CNT), 0);
    EXPECT_EQ(IntVal(hRun, RN_MODE), 0);
    float shown = 0;
    GetCtrlVal(hLod, LO_FRQ, &shown);
    EXPECT_FLOAT_EQ(shown, rate);

    ui_test::ClearPopups();
    ChooseSave(22, Path("next.kal"), "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_EQ(Read(22, Path("next.kal"), "").i.size(), 1000u) << "written as the KAL shown";
}

// A load in progress: the Save panel's ring and count and the Load panel's
// ring go back to what the program holds, the configuration stays.
TEST_F(Busy, ALoadInProgressPutsTouchedControlsBack)
{
    ASSERT_EQ(Write(22, Path("big.kal"), "", Ramp(200000)), 0);
    ChooseLoad(22, Path("big.kal"), "");
    ChooseSave(22, Path("out.kal"), "");
    const std::string cfg = OtherConfiguration();
    ui_test::Post([&] {
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, cfg);
        ui_test::UserMenu(hMen, MN_FILE_LOAD);
        ui_test::UserSetVal(hSav, SA_TYP, 6);
        ui_test::UserSetVal(hSav, SA_CNT, 9);
        ui_test::UserSetVal(hLod, LO_TYP, 0);
    });
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 200000);
    EXPECT_EQ(IntVal(hSav, SA_TYP), d.Typ);
    EXPECT_EQ(IntVal(hSav, SA_CNT), NGrd);
    EXPECT_EQ(IntVal(hLod, LO_TYP), s.Typ);
    EXPECT_EQ(s.Typ, 22);
    EXPECT_STREQ(s.INam, Path("big.kal").c_str()) << "no configuration was loaded";
}

// In analyzer mode the trace panel and the settings panels are live during a
// save.  "Trace IQ" would replace the data under it and is refused; a new
// count for the next capture is taken and changes nothing of the trace held,
// which the save writes whole.
TEST_F(Busy, InAnalyzerModeASaveKeepsTheDataItStartedWith)
{
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    ASSERT_EQ(a.Typ, DEV_BERYL);
    Captured(Ramp(1000));
    ASSERT_EQ(Write(22, Path("big.kal"), "", Ramp(200000, 5)), 0);
    ChooseSave(22, Path("big.kal"), "");
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_CNT, 100), 0);
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 0);   // as after a device test

    ui_test::Post([] { ui_test::UserClick(hTrc, TR_TRC); });
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(Read(22, Path("big.kal"), "").i.size(), 201100u);

    ui_test::Post([] { ui_test::UserSetVal(hBer, BY_CNT, 10); });
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(s.Len, 10);
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_EQ(Read(22, Path("big.kal"), "").i.size(), 202200u);
}

}  // namespace
