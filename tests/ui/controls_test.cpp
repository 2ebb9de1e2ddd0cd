#include "userint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Call {
    int panel, ctrl, event;
};
std::vector<Call> calls;

int Record(int panel, int control, int event, void *, int, int)
{
    calls.push_back({panel, control, event});
    return 0;
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        p = NewPanel(0, "Test", 40, 40, 300, 400);
        ASSERT_GT(p, 0);
    }
    void TearDown() override { DiscardPanel(p); }
    int p = 0;
};

TEST_F(Controls, IdentifiersRunFromTwoInCreationOrderOnEveryPanel)
{
    EXPECT_EQ(NewCtrl(p, CTRL_BINARY_SWITCH, "IQ Source", 69, 11), 2);
    EXPECT_EQ(NewCtrl(p, CTRL_NUMERIC, "TCP/IP Port", 142, 11), 3);
    EXPECT_EQ(NewCtrl(p, CTRL_ROUND_LED, "Connected", 188, 30), 4);
    const int child = NewPanel(p, "Child", 10, 10, 100, 100);
    ASSERT_GT(child, 0);
    EXPECT_EQ(NewCtrl(child, CTRL_RING, "Type", 20, 20), 2);
    EXPECT_EQ(NewCtrl(p, CTRL_COMMAND_BUTTON, "__Quit", 200, 10), 5);
    EXPECT_EQ(ui_test::CtrlCount(p), 4);
    EXPECT_EQ(ui_test::CtrlKindName(p, 4), "round LED");
    EXPECT_EQ(NewCtrl(p, 99, "bad", 0, 0), UIEInvalidValue);
    EXPECT_EQ(NewCtrl(987654, CTRL_RING, "x", 0, 0), UIEInvalidPanel);
    char label[64];
    ASSERT_EQ(GetCtrlAttribute(p, 5, ATTR_LABEL_TEXT, label), 0);
    EXPECT_STREQ(label, "__Quit");
}

TEST_F(Controls, RingsGiveTheCurrentItemsValueInTheirDataType)
{
    const int ri = NewCtrl(p, CTRL_RING, "Device Type", 20, 10);
    const int rf = NewCtrl(p, CTRL_RING, "Resolution BW", 60, 10);
    const int rs = NewCtrl(p, CTRL_RING, "Trigger Mode", 100, 10);
    ASSERT_EQ(SetCtrlAttribute(p, rf, ATTR_DATA_TYPE, VAL_FLOAT), 0);
    ASSERT_EQ(SetCtrlAttribute(p, rs, ATTR_DATA_TYPE, VAL_STRING), 0);
    for (int i = 1; i <= 5; ++i)
        ASSERT_EQ(InsertListItem(p, ri, -1, (std::string("M") + std::to_string(i)).c_str(), i), 0);
    ASSERT_EQ(InsertListItem(p, rf, -1, "10 MHz", 10000000.0), 0);
    ASSERT_EQ(InsertListItem(p, rf, -1, "15.625 kHz", 15625.0), 0);
    ASSERT_EQ(InsertListItem(p, rs, -1, "IMMediate", "IMM"), 0);
    ASSERT_EQ(InsertListItem(p, rs, -1, "EXTernal", "EXT"), 0);
    // A text value does not go into a number ring, nor a number into a text ring.
    EXPECT_LT(InsertListItem(p, ri, -1, "x", "x"), 0);
    EXPECT_LT(InsertListItem(p, rs, -1, "x", 3), 0);

    int iv = 0;
    float fv = 0;
    double dv = 0;
    char sv[32];
    ASSERT_EQ(GetCtrlVal(p, ri, &iv), 0);
    EXPECT_EQ(iv, 1);   // the first item is current
    ASSERT_EQ(SetCtrlAttribute(p, ri, ATTR_DEFAULT_INDEX, 1), 0);
    ASSERT_EQ(GetCtrlVal(p, ri, &iv), 0);
    EXPECT_EQ(iv, 1);   // the default applies only through DefaultCtrl
    ASSERT_EQ(DefaultCtrl(p, ri), 0);
    ASSERT_EQ(GetCtrlVal(p, ri, &iv), 0);
    EXPECT_EQ(iv, 2);

    ASSERT_EQ(SetCtrlVal(p, rf, 15625.0f), 0);
    ASSERT_EQ(GetCtrlVal(p, rf, &fv), 0);
    EXPECT_EQ(fv, 15625.0f);
    ASSERT_EQ(GetCtrlVal(p, rf, &dv), 0);
    EXPECT_EQ(dv, 15625.0);
    int idx = -1;
    ASSERT_EQ(GetCtrlIndex(p, rf, &idx), 0);
    EXPECT_EQ(idx, 1);
    // A value no item has is refused and changes nothing.
    EXPECT_EQ(SetCtrlVal(p, rf, 12345.0), UIEInvalidValue);
    ASSERT_EQ(GetCtrlIndex(p, rf, &idx), 0);
    EXPECT_EQ(idx, 1);

    ASSERT_EQ(SetCtrlVal(p, rs, "EXT"), 0);
    ASSERT_EQ(GetCtrlVal(p, rs, sv), 0);
    EXPECT_STREQ(sv, "EXT");
    EXPECT_LT(GetCtrlVal(p, rs, &iv), 0);
    ASSERT_EQ(GetLabelFromIndex(p, rs, 0, sv), 0);
    EXPECT_STREQ(sv, "IMMediate");
    ASSERT_EQ(GetValueFromIndex(p, rs, 1, sv), 0);
    EXPECT_STREQ(sv, "EXT");
    int n = 0;
    ASSERT_EQ(GetNumListItems(p, ri, &n), 0);
    EXPECT_EQ(n, 5);
    ASSERT_EQ(ClearListCtrl(p, ri), 0);
    ASSERT_EQ(GetNumListItems(p, ri, &n), 0);
    EXPECT_EQ(n, 0);
    EXPECT_LT(GetCtrlVal(p, ri, &iv), 0);
}

TEST_F(Controls, NumericsKeepRangeStepPrecisionAndClamp)
{
    const int ni = NewCtrl(p, CTRL_NUMERIC, "Count", 20, 10);
    const int nf = NewCtrl(p, CTRL_NUMERIC, "Record Len / ms", 60, 10);
    ASSERT_EQ(SetCtrlAttribute(p, ni, ATTR_DATA_TYPE, VAL_INTEGER), 0);
    ASSERT_EQ(SetCtrlAttribute(p, ni, ATTR_MIN_VALUE, 1), 0);
    ASSERT_EQ(SetCtrlAttribute(p, ni, ATTR_MAX_VALUE, 523776), 0);
    ASSERT_EQ(SetCtrlAttribute(p, ni, ATTR_DEFAULT_VALUE, 65536), 0);
    ASSERT_EQ(DefaultCtrl(p, ni), 0);
    int iv = 0;
    ASSERT_EQ(GetCtrlVal(p, ni, &iv), 0);
    EXPECT_EQ(iv, 65536);
    ASSERT_EQ(SetCtrlVal(p, ni, 600000), 0);
    ASSERT_EQ(GetCtrlVal(p, ni, &iv), 0);
    EXPECT_EQ(iv, 523776);
    ASSERT_EQ(SetCtrlVal(p, ni, 200000), 0);
    // Lowering the limit pulls the value in.
    ASSERT_EQ(SetCtrlAttribute(p, ni, ATTR_MAX_VALUE, 130560), 0);
    ASSERT_EQ(GetCtrlVal(p, ni, &iv), 0);
    EXPECT_EQ(iv, 130560);
    ASSERT_EQ(SetCtrlVal(p, ni, -5), 0);
    ASSERT_EQ(GetCtrlVal(p, ni, &iv), 0);
    EXPECT_EQ(iv, 1);

    ASSERT_EQ(SetCtrlAttribute(p, nf, ATTR_DATA_TYPE, VAL_FLOAT), 0);
    ASSERT_EQ(SetCtrlAttribute(p, nf, ATTR_MIN_VALUE, 0.001), 0);
    ASSERT_EQ(SetCtrlAttribute(p, nf, ATTR_MAX_VALUE, 20.4), 0);
    ASSERT_EQ(SetCtrlAttribute(p, nf, ATTR_PRECISION, 4), 0);
    ASSERT_EQ(SetCtrlAttribute(p, nf, ATTR_INCR_VALUE, 0.5), 0);
    // The value is kept whole; only the display is rounded to the precision.
    const float recLen = 524200000.0f / 32000000.0f;
    ASSERT_EQ(SetCtrlVal(p, nf, recLen), 0);
    float fv = 0;
    ASSERT_EQ(GetCtrlVal(p, nf, &fv), 0);
    EXPECT_EQ(fv, recLen);
    double step = 0;
    int prec = 0;
    ASSERT_EQ(GetCtrlAttribute(p, nf, ATTR_INCR_VALUE, &step), 0);
    ASSERT_EQ(GetCtrlAttribute(p, nf, ATTR_PRECISION, &prec), 0);
    EXPECT_EQ(step, 0.5);
    EXPECT_EQ(prec, 4);
    EXPECT_EQ(SetCtrlAttribute(p, nf, ATTR_INCR_VALUE, 0.0), UIEInvalidValue);
    ASSERT_EQ(ui_test::UserSetVal(p, nf, 99.0), 0);
    ASSERT_EQ(GetCtrlVal(p, nf, &fv), 0);
    EXPECT_EQ(fv, 20.4f);
}

TEST_F(Controls, CallbacksHearOnlyUserCommits)
{
    const int sw = NewCtrl(p, CTRL_BINARY_SWITCH, "IQ Source", 69, 11);
    const int num = NewCtrl(p, CTRL_NUMERIC, "Port", 142, 11);
    const int str = NewCtrl(p, CTRL_STRING, "IP Addr", 180, 11);
    const int btn = NewCtrl(p, CTRL_COMMAND_BUTTON, "__Go", 220, 11);
    int data = 7;
    for (int c : {sw, num, str, btn})
        ASSERT_EQ(InstallCtrlCallback(p, c, Record, &data), 0);
    ASSERT_EQ(SetCtrlVal(p, sw, 1), 0);
    ASSERT_EQ(SetCtrlVal(p, num, 5025), 0);
    ASSERT_EQ(SetCtrlVal(p, str, "10.0.0.1"), 0);
    ASSERT_EQ(SetCtrlAttribute(p, num, ATTR_MAX_VALUE, 100), 0);
    ASSERT_EQ(DefaultCtrl(p, num), 0);
    ProcessSystemEvents();
    EXPECT_TRUE(calls.empty());

    ASSERT_EQ(ui_test::UserSetVal(p, num, 42), 0);
    ASSERT_EQ(ui_test::UserSetVal(p, str, "192.168.1.5"), 0);
    ASSERT_EQ(ui_test::UserClick(p, btn), 0);
    ASSERT_EQ(ui_test::UserClick(p, sw), 0);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].ctrl, num);
    EXPECT_EQ(calls[3].ctrl, sw);
    for (const Call &c : calls) {
        EXPECT_EQ(c.event, EVENT_COMMIT);
        EXPECT_EQ(c.panel, p);
    }
    int v = -1;
    ASSERT_EQ(GetCtrlVal(p, sw, &v), 0);
    EXPECT_EQ(v, 0);   // it was on, the click turned it off
    char s[32];
    ASSERT_EQ(GetCtrlVal(p, str, s), 0);
    EXPECT_STREQ(s, "192.168.1.5");
}

TEST_F(Controls, DimmedHiddenAndIndicatorControlsRefuseAPerson)
{
    const int num = NewCtrl(p, CTRL_NUMERIC, "n", 20, 10);
    const int btn = NewCtrl(p, CTRL_COMMAND_BUTTON, "b", 60, 10);
    const int ind = NewCtrl(p, CTRL_NUMERIC, "MB/s", 100, 10);
    for (int c : {num, btn, ind})
        ASSERT_EQ(InstallCtrlCallback(p, c, Record, nullptr), 0);
    ASSERT_EQ(SetCtrlAttribute(p, num, ATTR_DIMMED, 1), 0);
    ASSERT_EQ(SetCtrlAttribute(p, btn, ATTR_VISIBLE, 0), 0);
    ASSERT_EQ(SetCtrlAttribute(p, ind, ATTR_CTRL_MODE, VAL_INDICATOR), 0);
    EXPECT_LT(ui_test::UserSetVal(p, num, 3), 0);
    EXPECT_LT(ui_test::UserClick(p, btn), 0);
    EXPECT_LT(ui_test::UserSetVal(p, ind, 3), 0);
    EXPECT_TRUE(calls.empty());
    int v = -1;
    ASSERT_EQ(GetCtrlVal(p, num, &v), 0);
    EXPECT_EQ(v, 0);
    // Dimmed means disabled for the widget too; undimming gives it back.
    ASSERT_EQ(SetCtrlAttribute(p, num, ATTR_DIMMED, 0), 0);
    EXPECT_EQ(ui_test::UserSetVal(p, num, 3), 0);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(Controls, BinarySwitchUsesItsOnAndOffValuesAndTexts)
{
    const int sw = NewCtrl(p, CTRL_BINARY_SWITCH, "", 20, 60);
    ASSERT_EQ(SetCtrlAttribute(p, sw, ATTR_ON_VALUE, 7), 0);
    ASSERT_EQ(SetCtrlAttribute(p, sw, ATTR_OFF_VALUE, 3), 0);
    ASSERT_EQ(SetCtrlAttribute(p, sw, ATTR_ON_TEXT, "LAN"), 0);
    ASSERT_EQ(SetCtrlAttribute(p, sw, ATTR_OFF_TEXT, "GPIB"), 0);
    ASSERT_EQ(SetCtrlVal(p, sw, 3), 0);
    ASSERT_EQ(ui_test::UserClick(p, sw), 0);
    int v = 0;
    ASSERT_EQ(GetCtrlVal(p, sw, &v), 0);
    EXPECT_EQ(v, 7);
    EXPECT_LT(ui_test::UserSetVal(p, sw, 5), 0);   // a switch has two positions only
    ASSERT_EQ(ui_test::UserSetVal(p, sw, 3), 0);
    ASSERT_EQ(GetCtrlVal(p, sw, &v), 0);
    EXPECT_EQ(v, 3);
    char t[16];
    ASSERT_EQ(GetCtrlAttribute(p, sw, ATTR_ON_TEXT, t), 0);
    EXPECT_STREQ(t, "LAN");
    ASSERT_EQ(GetCtrlAttribute(p, sw, ATTR_OFF_TEXT, t), 0);
    EXPECT_STREQ(t, "GPIB");
}

TEST_F(Controls, CloseBoxCommitsTheCloseControlOnly)
{
    const int quit = NewCtrl(p, CTRL_COMMAND_BUTTON, "__Quit", 20, 10);
    ASSERT_EQ(InstallCtrlCallback(p, quit, Record, nullptr), 0);
    ASSERT_EQ(DisplayPanel(p), 0);
    // Without a close control the close box does nothing at all.
    ASSERT_EQ(ui_test::UserClosePanel(p), 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(ui_test::PanelVisible(p), 1);
    EXPECT_EQ(SetPanelAttribute(p, ATTR_CLOSE_CTRL, 99), UIEInvalidControl);
    ASSERT_EQ(SetPanelAttribute(p, ATTR_CLOSE_CTRL, quit), 0);
    ASSERT_EQ(ui_test::UserClosePanel(p), 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].ctrl, quit);
    EXPECT_EQ(calls[0].event, EVENT_COMMIT);
    EXPECT_EQ(ui_test::PanelVisible(p), 1);   // the callback decides, the box does not close
}

}  // namespace
