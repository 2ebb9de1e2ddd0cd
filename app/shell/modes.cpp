// I/Q-source modes and the actions of the main panel's controls.
#include "shell/modes.h"

#include "VmFunLib.h"
#include "files/busy.h"
#include "files/formats.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "shell/globals.h"
#include "shell/mainpanel.h"
#include "userint.h"

namespace {

void ShowFileMode()
{
    HidePanel(hTrc);
    DisplayPanel(hLod);
    QFlg = 0;
    IFlg = 0;
    SetCtrlVal(hLod, LO_DI, "");
    SetCtrlVal(hLod, LO_DQ, "");
    SetCtrlAttribute(hLod, LO_LOAD, ATTR_DIMMED, DVal == 0);
    SetCtrlAttribute(hLod, LO_CNT, ATTR_DIMMED, DVal == 0);
    GetCtrlVal(hLod, LO_FRQ, &SRat);
}

}  // namespace

void DspMode(int analyzer)
{
    if (!analyzer)
        ShowFileMode();
    if (!TrcFlg)
        GetCtrlVal(hLod, LO_CNT, &s.Len);
    UpdSaveDim();
    SetCtrlVal(hRun, RN_DVAL, DVal);
    SetCtrlVal(hLod, LO_CNT, s.Len);
    UpdTesAll(Hdl, NewState, SRat, s.Len);
}

int cbAbort(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // The library's flag: the running load ends with its abort status.
    if (event == EVENT_COMMIT && IoBusy)
        EscFlg = 1;
    return 0;
}

int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == RN_QUIT)
        QuitUserInterface(0);
    return 0;
}
