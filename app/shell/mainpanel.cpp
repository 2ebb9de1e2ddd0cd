#include "shell/mainpanel.h"

#include "shell/uibuild.h"
#include "userint.h"

int RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT, RN_DECORATION, RN_SPEC;

namespace {

constexpr int kOrange = 0xFF8C00;
constexpr int kPink = 0xFFB6C1;

int BuildLamp(int panel, int &id, const char *label, int top)
{
    UI_NEW(id, NewCtrl(panel, CTRL_ROUND_LED, label, top, 30));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_WIDTH, 22));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_HEIGHT, 20));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_OFF_COLOR, kLampOff));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_ON_COLOR, kLampOn));
    return 0;
}

int BuildSwitchAndPort(int p)
{
    UI_NEW(RN_MODE, NewCtrl(p, CTRL_BINARY_SWITCH, "IQ Source", 69, 11));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_WIDTH, 20));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_HEIGHT, 40));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_ON_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_OFF_VALUE, 0));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_ON_TEXT, "Analyzer"));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_OFF_TEXT, "File"));
    UI_TRY(SetCtrlVal(p, RN_MODE, 0));
    UI_TRY(SetCtrlAttribute(p, RN_MODE, ATTR_CALLBACK_FUNCTION_POINTER, cbRun));

    UI_NEW(RN_PORT, NewCtrl(p, CTRL_NUMERIC, "TCP/IP Port", 142, 11));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_WIDTH, 62));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_MIN_VALUE, 0));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_MAX_VALUE, 2147483647));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_INCR_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_DEFAULT_VALUE, 0));
    UI_TRY(DefaultCtrl(p, RN_PORT));
    UI_TRY(SetCtrlAttribute(p, RN_PORT, ATTR_CALLBACK_FUNCTION_POINTER, cbRun));
    return 0;
}

int BuildButtons(int p)
{
    UI_NEW(RN_QUIT, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Quit", 386, 7));
    UI_TRY(SetCtrlAttribute(p, RN_QUIT, ATTR_WIDTH, 70));
    UI_TRY(SetCtrlAttribute(p, RN_QUIT, ATTR_HEIGHT, 26));
    UI_TRY(SetCtrlAttribute(p, RN_QUIT, ATTR_CMD_BUTTON_COLOR, kOrange));
    UI_TRY(SetCtrlAttribute(p, RN_QUIT, ATTR_CALLBACK_FUNCTION_POINTER, cbRun));

    // The frame around the source switch, the port and the lamps.
    UI_NEW(RN_DECORATION, NewCtrl(p, CTRL_RAISED_BOX, "", 26, 3));
    UI_TRY(SetCtrlAttribute(p, RN_DECORATION, ATTR_WIDTH, 79));
    UI_TRY(SetCtrlAttribute(p, RN_DECORATION, ATTR_HEIGHT, 265));
    UI_TRY(SetCtrlAttribute(p, RN_DECORATION, ATTR_ZPLANE_POSITION, 1000));

    UI_NEW(RN_SPEC, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Spectrum", 258, 11));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_WIDTH, 62));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_HEIGHT, 23));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_CMD_BUTTON_COLOR, kPink));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_DIMMED, 1));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_CALLBACK_FUNCTION_POINTER, cbRun));
    return 0;
}

}  // namespace

int BuildRN(int parent)
{
    int p = NewPanel(parent, "Kalmira", 30, 16, 435, 528);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, VAL_PANEL_GRAY));
    UI_TRY(BuildSwitchAndPort(p));
    UI_TRY(BuildLamp(p, RN_CONN, "Connected", 188));
    UI_TRY(BuildLamp(p, RN_DVAL, "Data Valid", 231));
    UI_TRY(BuildButtons(p));

    // The close box acts as the Quit button.
    UI_TRY(SetPanelAttribute(p, ATTR_CLOSE_CTRL, RN_QUIT));
    const int tabOrder[] = {RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT};
    for (int pos = 0; pos < 5; ++pos)
        UI_TRY(SetCtrlAttribute(p, tabOrder[pos], ATTR_CTRL_TAB_POSITION, pos));
    UI_TRY(ScalePanel(p));
    return p;
}
