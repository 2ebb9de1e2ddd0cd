// I/Q-source modes and the actions of the main panel's controls.
#include "shell/modes.h"

#include "VmFunLib.h"
#include "files/formats.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "remote/tcpserver.h"
#include "shell/mainpanel.h"
#include "shell/spectrum.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

namespace {

void ShowAnalyzerMode()
{
    HidePanel(hLod);
    DisplayPanel(hTrc);
}

void ShowFileMode()
{
    HidePanel(hTrc);
    DisplayPanel(hLod);
    QFlg = 0;
    IFlg = 0;
    SetCtrlVal(hLod, LO_DI, "");
    SetCtrlVal(hLod, LO_DQ, "");
    GetCtrlVal(hLod, LO_FRQ, &SRat);
}

// ---- main panel

void ChangePort(int panel, int control)
{
    const int old = TcpPrt;
    GetCtrlVal(panel, control, &TcpPrt);
    MoveServer(old);
}

}  // namespace

void MoveServer(int oldPort)
{
    SetCtrlVal(hRun, RN_CONN, 0);
    if (Hdl != 0)
        DisconnectTCPClient(static_cast<unsigned>(Hdl));
    UnregisterTCPServer(static_cast<unsigned>(oldPort));
    RegisterTCPServer(static_cast<unsigned>(TcpPrt), cbTCPServer, nullptr);
}

void ShowDataState()
{
    SetCtrlVal(hRun, RN_DVAL, DVal);
    // Without valid data the arrays of s need not match its count any more.
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, DVal != 1);
    SetCtrlAttribute(hTrc, TR_PAD, ATTR_DIMMED, a.Ift == IFT_LAN);
    SetCtrlAttribute(hTrc, TR_IPA, ATTR_DIMMED, a.Ift == IFT_GPIB);
    UpdLoadPanel();
    UpdSaveDim();
}

void DspMode(int analyzer)
{
    if (analyzer)
        ShowAnalyzerMode();
    else
        ShowFileMode();
    UpdVar();
    if (TrcFlg && a.Typ == DEV_AGATE)
        s.Len = AgateSamples(SRat, RecLen);
    ShowDataState();
    UpdTesAll(Hdl, NewState, HeldRate(), StateLen());
}

int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == RN_MODE) {
        // A load in progress owns s; the switch waits until it has ended.
        if (IoBusy) {
            SetCtrlVal(panel, control, TrcFlg);
            return 0;
        }
        GetCtrlVal(panel, control, &TrcFlg);
        NewState = 1;
        DVal = 0;
        DspMode(TrcFlg);
    } else if (control == RN_PORT) {
        ChangePort(panel, control);
    } else if (control == RN_QUIT) {
        QuitProgram();
    } else if (control == RN_SPEC && !IoBusy) {
        // (While a load fills s its arrays are not to be read.)
        return ShowSpectrum();
    }
    return 0;
}

void QuitProgram()
{
    // A load, save or capture running below this callback stops first, as
    // at a press of Abort; the shutdown follows when it has returned.
    AbortRunning();
    QuitUserInterface(0);
}
