#include "state/globals.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/startup.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::string Label(int panel, int ctrl)
{
    char text[256] = "";
    GetCtrlAttribute(panel, ctrl, ATTR_LABEL_TEXT, text);
    return text;
}

int IntAttr(int panel, int ctrl, int attr)
{
    int v = -12345;
    GetCtrlAttribute(panel, ctrl, attr, &v);
    return v;
}

std::string MenuName(int bar, int item)
{
    char text[256] = "";
    GetMenuBarAttribute(bar, item, ATTR_ITEM_NAME, text);
    return text;
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 0);
        ASSERT_EQ(BuildPanels(), 0);
        ui_test::ClearPopups();
    }
    void TearDown() override
    {
        for (int p : {hRun, hSta, hDat})
            DiscardPanel(p);
    }
};

TEST_F(Shell, MainPanelControlsHaveTheirIdentifiersLabelsAndKinds)
{
    struct Row {
        int id;
        int expect;
        const char *label;
        const char *kind;
    };
    const std::vector<Row> rows = {
        {RN_MODE, 2, "IQ Source", "binary switch"}, {RN_PORT, 3, "TCP/IP Port", "numeric"},
        {RN_CONN, 4, "Connected", "round LED"},     {RN_DVAL, 5, "Data Valid", "round LED"},
        {RN_QUIT, 6, "__Quit", "command button"},    {RN_DECORATION, 7, "", "raised box"},
        {RN_SPEC, 8, "__Spectrum", "command button"},
    };
    EXPECT_EQ(ui_test::CtrlCount(hRun), 7);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.label);
        EXPECT_EQ(r.id, r.expect);
        EXPECT_EQ(Label(hRun, r.id), r.label);
        EXPECT_EQ(ui_test::CtrlKindName(hRun, r.id), r.kind);
    }
    EXPECT_EQ(IntAttr(hRun, RN_SPEC, ATTR_DIMMED), 1);
    EXPECT_EQ(IntAttr(hRun, RN_PORT, ATTR_MAX_VALUE), 2147483647);
    EXPECT_EQ(IntAttr(hRun, RN_PORT, ATTR_MIN_VALUE), 0);
    int port = -1, mode = -1;
    GetCtrlVal(hRun, RN_PORT, &port);
    GetCtrlVal(hRun, RN_MODE, &mode);
    EXPECT_EQ(port, 0);
    EXPECT_EQ(mode, 0);

    char onText[64] = "", offText[64] = "";
    GetCtrlAttribute(hRun, RN_MODE, ATTR_ON_TEXT, onText);
    GetCtrlAttribute(hRun, RN_MODE, ATTR_OFF_TEXT, offText);
    EXPECT_STREQ(onText, "Analyzer");
    EXPECT_STREQ(offText, "File");

    int geometry[4];
    const int attrs[4] = {ATTR_TOP, ATTR_LEFT, ATTR_HEIGHT, ATTR_WIDTH};
    for (int i = 0; i < 4; ++i)
        GetPanelAttribute(hRun, attrs[i], &geometry[i]);
    EXPECT_EQ(geometry[2], 435);
    EXPECT_EQ(geometry[3], 528);
}

TEST_F(Shell, StatusAndTransferPanels)
{
    EXPECT_EQ(ST_MSG, 2);
    EXPECT_EQ(ST_ABO, 3);
    EXPECT_EQ(Label(hSta, ST_ABO), "__Abort");
    EXPECT_EQ(DT_TRANSF, 2);
    EXPECT_EQ(Label(hDat, DT_TRANSF), "Data Transfer %");
    EXPECT_EQ(ui_test::CtrlKindName(hDat, DT_TRANSF), "percentage bar");
    char title[256] = "";
    GetPanelAttribute(hSta, ATTR_TITLE, title);
    EXPECT_STREQ(title, "Status");
    GetPanelAttribute(hDat, ATTR_TITLE, title);
    EXPECT_STREQ(title, "Transfer");
    EXPECT_FALSE(ui_test::PanelVisible(hSta));
    EXPECT_FALSE(ui_test::PanelVisible(hDat));
}

TEST_F(Shell, MenuItemsAreNumberedAcrossTheBar)
{
    EXPECT_EQ(MN_FILE, 2);
    EXPECT_EQ(MN_FILE_LOAD, 3);
    EXPECT_EQ(MN_FILE_SAVE, 4);
    EXPECT_EQ(MN_FILE_SEPARATOR, 5);
    EXPECT_EQ(MN_FILE_QUIT, 6);
    EXPECT_EQ(MN_HELP, 7);
    EXPECT_EQ(MN_HELP_HELP, 8);
    EXPECT_EQ(MN_HELP_ABOUT, 9);
    EXPECT_EQ(MenuName(hMen, MN_FILE), "__File");
    EXPECT_EQ(MenuName(hMen, MN_FILE_LOAD), "__Load Configuration");
    EXPECT_EQ(MenuName(hMen, MN_FILE_SAVE), "__Save Configuration");
    EXPECT_EQ(MenuName(hMen, MN_FILE_QUIT), "__Quit");
    EXPECT_EQ(MenuName(hMen, MN_HELP), "__Help");
    EXPECT_EQ(MenuName(hMen, MN_HELP_HELP), "__Contents");
    EXPECT_EQ(MenuName(hMen, MN_HELP_ABOUT), "__About");
    int sep = 0;
    GetMenuBarAttribute(hMen, MN_FILE_SEPARATOR, ATTR_IS_SEPARATOR, &sep);
    EXPECT_EQ(sep, 1);
}

TEST_F(Shell, AboutBoxShowsItsLinesInOrder)
{
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_HELP_ABOUT), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    const ui_test::Popup &p = ui_test::Popups()[0];
    EXPECT_EQ(p.kind, "message");
    EXPECT_EQ(p.title, "About");
    std::vector<std::string> lines;
    std::istringstream in(p.text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::vector<std::string> expect = {
        " Software for reading Agate/Beryl/Coral/Jasper/Onyx traces and",
        "   saving calculated I/Q data in various file formats",
        "",
        "           Version 4.37",
        "",
        "The software was developed using Qt",
    };
    EXPECT_EQ(lines, expect);
}

TEST_F(Shell, StatusPanelFollowsTheMainPanel)
{
    for (auto [top, left] : {std::pair{30, 16}, std::pair{200, 340}, std::pair{77, 5}}) {
        SetPanelPos(hRun, top, left);
        DspTxtPnl("Loading IQ data...");
        int stTop = 0, stLeft = 0;
        GetPanelAttribute(hSta, ATTR_TOP, &stTop);
        GetPanelAttribute(hSta, ATTR_LEFT, &stLeft);
        EXPECT_EQ(stTop, top + 150);
        EXPECT_EQ(stLeft, left + 200);
        EXPECT_EQ(x, left);
        EXPECT_EQ(y, top);
        EXPECT_TRUE(ui_test::PanelVisible(hSta));
        char msg[100] = "";
        GetCtrlVal(hSta, ST_MSG, msg);
        EXPECT_STREQ(msg, "Loading IQ data...");
        HidePanel(hSta);
    }
}

TEST_F(Shell, PanelsAreRescaledByTheResolutionAdjustment)
{
    int monitor = 0, w = 0, h = 0;
    GetMonitorFromPanel(hRun, &monitor);
    GetMonitorAttribute(monitor, ATTR_SYSTEM_MONITOR_WIDTH, &w);
    GetMonitorAttribute(monitor, ATTR_SYSTEM_MONITOR_HEIGHT, &h);
    ASSERT_GT(w, 0);
    SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 50);
    int p = BuildDT(0);
    ASSERT_GT(p, 0);
    double fh = 1 + 0.01 * 50 * (w / 1280.0 - 1);
    double fv = 1 + 0.01 * 50 * (h / 996.0 - 1);
    int width = 0, height = 0, top = 0, left = 0;
    GetPanelAttribute(p, ATTR_WIDTH, &width);
    GetPanelAttribute(p, ATTR_HEIGHT, &height);
    GetPanelAttribute(p, ATTR_TOP, &top);
    GetPanelAttribute(p, ATTR_LEFT, &left);
    EXPECT_EQ(width, static_cast<int>(193 * fh));
    EXPECT_EQ(left, static_cast<int>(87 * fh));
    EXPECT_EQ(height, static_cast<int>(73 * fv));
    EXPECT_EQ(top, static_cast<int>(220 * fv));
    DiscardPanel(p);
    SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 0);
}

}  // namespace
