#include "state/statuspanel.h"

#include "VmKalLib.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/uibuild.h"

int ST_MSG, ST_ABO;
int DT_TRANSF;

namespace {

constexpr int kLightGreen = 0xC0FFC0;
constexpr int kLightYellow = 0xFFFFC0;

}  // namespace

int BuildST(int parent)
{
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Status", 180, 216, 68, 193, kLightGreen));
    UI_TRY(NewTextMsg(p, ST_MSG, {9, 16}, ""));
    UI_TRY(SetCtrlAttribute(p, ST_MSG, ATTR_TEXT_POINT_SIZE, 13));
    UI_TRY(NewButton(p, ST_ABO, "__Abort", {38, 72}, 48, 23));
    UI_TRY(ScalePanel(p));
    return p;
}

int BuildDT(int parent)
{
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Transfer", 220, 87, 73, 193, kLightYellow));
    UI_NEW(DT_TRANSF, NewCtrl(p, CTRL_PERCENTAGE_BAR, "Data Transfer %", 28, 12));
    UI_TRY(SizeCtrl(p, DT_TRANSF, 168, 15));
    UI_TRY(SetCtrlAttribute(p, DT_TRANSF, ATTR_FILL_COLOR, VAL_RED));
    UI_TRY(SetNumeric(p, DT_TRANSF, {.dataType = 0, .min = 0.0, .max = 100.0, .def = 0.0}));
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

int cbAbort(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // The library's flag: the running load ends with its abort status.
    if (event == EVENT_COMMIT && IoBusy)
        EscFlg = 1;
    return 0;
}

void AbortRunning()
{
    // As a press of Abort: the capture looks at the button, a load or an
    // append read at the library's flag.
    SetCtrlVal(hSta, ST_ABO, 1);
    cbAbort(hSta, ST_ABO, EVENT_COMMIT, nullptr, 0, 0);
}
