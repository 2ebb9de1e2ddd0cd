#include "shell/statuspanel.h"

#include "shell/globals.h"
#include "shell/uibuild.h"
#include "userint.h"

int ST_MSG, ST_ABO;
int DT_TRANSF;

namespace {

constexpr int kLightGreen = 0xC0FFC0;
constexpr int kLightYellow = 0xFFFFC0;

}  // namespace

int BuildST(int parent)
{
    int p = NewPanel(parent, "Status", 180, 216, 68, 193);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, kLightGreen));
    UI_NEW(ST_MSG, NewCtrl(p, CTRL_TEXT_MSG, "", 9, 16));
    UI_TRY(SetCtrlAttribute(p, ST_MSG, ATTR_TEXT_POINT_SIZE, 13));
    UI_TRY(SetCtrlVal(p, ST_MSG, ""));
    UI_NEW(ST_ABO, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Abort", 38, 72));
    UI_TRY(SetCtrlAttribute(p, ST_ABO, ATTR_WIDTH, 48));
    UI_TRY(SetCtrlAttribute(p, ST_ABO, ATTR_HEIGHT, 23));
    UI_TRY(ScalePanel(p));
    return p;
}

int BuildDT(int parent)
{
    int p = NewPanel(parent, "Transfer", 220, 87, 73, 193);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, kLightYellow));
    UI_NEW(DT_TRANSF, NewCtrl(p, CTRL_PERCENTAGE_BAR, "Data Transfer %", 28, 12));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_WIDTH, 168));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_HEIGHT, 15));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_MIN_VALUE, 0.0));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_MAX_VALUE, 100.0));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_INCR_VALUE, 1.0));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_DEFAULT_VALUE, 0.0));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_FILL_COLOR, VAL_RED));
    UI_TRY(DefaultCtrl(p, DT_TRANSF));
    UI_TRY(ScalePanel(p));
    return p;
}

void DspTxtPnl(const char *text)
{
    SetCtrlVal(hSta, ST_MSG, text);
    GetPanelAttribute(hRun, ATTR_LEFT, &x);
    GetPanelAttribute(hRun, ATTR_TOP, &y);
    SetPanelPos(hSta, y + 150, x + 200);
    DisplayPanel(hSta);
}
