#include "shell/mainpanel.h"

#include "state/uibuild.h"

namespace {

constexpr int kOrange = 0xFF8C00;
constexpr int kPink = 0xFFB6C1;

int BuildLamp(int panel, int &id, const char *label, int top)
{
    UI_NEW(id, NewCtrl(panel, CTRL_ROUND_LED, label, top, 30));
    UI_TRY(SizeCtrl(panel, id, 22, 20));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_OFF_COLOR, kLampOff));
    UI_TRY(SetCtrlAttribute(panel, id, ATTR_ON_COLOR, kLampOn));
    return 0;
}

}  // namespace

int BuildRN(int parent)
{
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Kalmira", 30, 16, 435, 528));
    UI_TRY(NewSwitch(p, RN_MODE, "IQ Source", {69, 11}, 
                     {.width = 20, .height = 40, .on = 1, .onText = "Analyzer", .off = 0,
                      .offText = "File", .initial = 0}));
    UI_TRY(NewNumeric(p, RN_PORT, "TCP/IP Port", {142, 11}, 62,
                      {.dataType = VAL_INTEGER, .min = 0, .max = 2147483647, .def = 0}));
    UI_TRY(BuildLamp(p, RN_CONN, "Connected", 188));
    UI_TRY(BuildLamp(p, RN_DVAL, "Data Valid", 231));
    UI_TRY(NewButton(p, RN_QUIT, "__Quit", {386, 7}, 70, 26));
    UI_TRY(SetCtrlAttribute(p, RN_QUIT, ATTR_CMD_BUTTON_COLOR, kOrange));
    // The frame around the source switch, the port and the lamps.
    UI_NEW(RN_DECORATION, NewCtrl(p, CTRL_RAISED_BOX, "", 26, 3));
    UI_TRY(SizeCtrl(p, RN_DECORATION, 79, 265));
    UI_TRY(SetCtrlAttribute(p, RN_DECORATION, ATTR_ZPLANE_POSITION, 1000));
    UI_TRY(NewButton(p, RN_SPEC, "__Spectrum", {258, 11}, 62, 23, 1));
    UI_TRY(SetCtrlAttribute(p, RN_SPEC, ATTR_CMD_BUTTON_COLOR, kPink));

    // The close box acts as the Quit button.
    UI_TRY(SetPanelAttribute(p, ATTR_CLOSE_CTRL, RN_QUIT));
    UI_TRY(FinishPanel(p, cbRun, {RN_MODE, RN_PORT, RN_QUIT, RN_SPEC},
                       {RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT}));
    return p;
}
