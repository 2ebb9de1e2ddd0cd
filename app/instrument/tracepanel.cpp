#include "instrument/tracepanel.h"

#include "VmFunLib.h"
#include "files/savepanel.h"
#include "instrument/acquire.h"
#include "instrument/session.h"
#include "instrument/settings.h"
#include "instrument/settingsvars.h"
#include "numeric/window.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/panelids.h"
#include "state/statuspanel.h"
#include "state/uibuild.h"

#include <cstdio>
#include <cstring>
#include <vector>

int TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC, TR_MSG, TR_DRAT, TR_DYN, TR_STA;

// kalmira-sim listens here (port 5025, the VISA layer's default) unless told
// otherwise.
const char kDefaultIpAddr[] = "127.0.0.1";

namespace {

// A device test, trace or stop is running; the chunked read lets input
// through for its Abort button, and nothing here may start meanwhile.
int Busy;

// The record mirrors the four device controls from the start, so a first
// test without a configuration file reaches the instrument the panel shows.
void MirrorDefaults(int p)
{
    GetCtrlVal(p, TR_TYP, &a.Typ);
    GetCtrlVal(p, TR_PAD, &a.Pad);
    GetCtrlVal(p, TR_IFT, &a.Ift);
    std::snprintf(a.Ipa, sizeof a.Ipa, "%s", kDefaultIpAddr);
}

// ---------------------------------------------------------------- actions

void OnType()
{
    GetCtrlVal(hTrc, TR_TYP, &a.Typ);
    SetCtrlVal(hTrc, TR_MSG, "");
    a.Vi = 0;
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 1);
}

void OnPad()
{
    GetCtrlVal(hTrc, TR_PAD, &a.Pad);
    a.Vi = 0;
}

void OnInterface()
{
    GetCtrlVal(hTrc, TR_IFT, &a.Ift);
    SetCtrlAttribute(hTrc, TR_PAD, ATTR_DIMMED, a.Ift == IFT_LAN);
    SetCtrlAttribute(hTrc, TR_IPA, ATTR_DIMMED, a.Ift == IFT_GPIB);
    ForgetInstrument();
}

void OnAddress()
{
    char text[256] = {};
    GetCtrlVal(hTrc, TR_IPA, text);
    std::snprintf(a.Ipa, sizeof a.Ipa, "%s", text);
    a.Vi = 0;
}

void OnTrace()
{
    NewState = 0;
    DVal = 0;
    SetCtrlVal(hRun, RN_DVAL, 0);
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 1);
    // The Save panel lives on while the block comes: nothing to save meanwhile.
    UpdSaveDim();
    // The arrays of s are about to be replaced.  The rate is the one the
    // capture asks for: the panels may change it while the block comes.
    HeldLen = 0;
    const float rate = SRat;
    // A device test would close the session the capture reads from.
    SetCtrlAttribute(hTrc, TR_TST, ATTR_DIMMED, 1);
    const int st = TracIQ(a, s);
    SetCtrlAttribute(hTrc, TR_TST, ATTR_DIMMED, 0);
    if (st != 0) {
        CVI_Beep();
        MessagePopup("Error", kVisaErrText);
    }
    HeldLen = DVal ? s.Len : 0;
    HeldRat = rate;
    // A failed trace, or one aborted before a sample came, leaves nothing a
    // spectrum could be taken of or a save could write.
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, HeldSamples() > 0 ? 0 : 1);
    UpdSaveDim();
}

// Returns false when the stop sequence failed: the panel then stays stuck,
// with Stop Meas offered for another try.  The person hears of it, or the
// press would seem to have done nothing.
bool OnStop()
{
    if (StopMeas(a) == VI_SUCCESS)
        return true;
    CVI_Beep();
    MessagePopup("Error", kVisaErrText);
    return false;
}

// A commit that arrives while a device test or a capture runs (the window
// lives on between the pieces of a transfer).  Stop Meas stops the capture as
// Abort does; any other control shows again what the running exchange uses,
// so the panel never names an instrument or a setting that is not the one in
// use.
void WhileBusy(int control)
{
    if (control == TR_BRK)
        AbortRunning();
    else if (control == TR_TYP)
        SetCtrlVal(hTrc, TR_TYP, a.Typ);
    else if (control == TR_PAD)
        SetCtrlVal(hTrc, TR_PAD, a.Pad);
    else if (control == TR_IFT)
        SetCtrlVal(hTrc, TR_IFT, a.Ift);
    else if (control == TR_IPA)
        SetCtrlVal(hTrc, TR_IPA, a.Ipa);
    else if (control == TR_WIN)
        SetCtrlVal(hTrc, TR_WIN, win);
}

void CommonTail()
{
    UpdVar();
    if (TrcFlg && a.Typ == DEV_AGATE)
        s.Len = AgateSamples(SRat, RecLen);
    // Len is now the count of the next capture; the client hears of the trace held.
    UpdTesAll(Hdl, NewState, HeldRate(), StateLen());
}

}  // namespace

int BuildTR(int parent)
{
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Trace IQ Data", 50, 87, 220, 430));
    UI_TRY(NewIntRing(p, TR_TYP, "Device Type", {20, 8}, 80,
                      {{"Agate", 1}, {"Beryl", 2}, {"Coral", 3}, {"Jasper", 4}, {"Onyx", 5}}, 1));
    UI_TRY(NewNumeric(p, TR_PAD, "PAD", {20, 96}, 42,
                      {.dataType = VAL_INTEGER, .min = 0, .max = 31, .def = 20}));
    UI_TRY(NewSwitch(p, TR_IFT, "", {16, 180}, 
                     {.width = 40, .height = 24, .on = IFT_LAN, .onText = "LAN", .off = IFT_GPIB,
                      .offText = "GPIB", .initial = IFT_GPIB}));
    UI_NEW(TR_IPA, NewCtrl(p, CTRL_STRING, "IP Addr", 20, 290));
    UI_TRY(SizeCtrl(p, TR_IPA, 130));
    UI_TRY(SetCtrlAttribute(p, TR_IPA, ATTR_MAX_ENTRY_LENGTH, int(sizeof a.Ipa) - 1));
    UI_TRY(SetCtrlVal(p, TR_IPA, kDefaultIpAddr));
    UI_TRY(SetCtrlAttribute(p, TR_IPA, ATTR_DIMMED, 1));

    UI_TRY(NewButton(p, TR_TST, "Test __Dev", {62, 8}, 72, 24));
    UI_TRY(NewButton(p, TR_BRK, "__Stop Meas", {62, 84}, 72, 24, 1));
    std::vector<RingItem> windows;
    for (int type = 0; type < kWindowTypes; ++type)
        windows.push_back({WindowName(type), type});
    UI_TRY(NewIntRing(p, TR_WIN, "Window Type", {62, 162}, 112, windows, 0));
    UI_TRY(NewButton(p, TR_TRC, "__Trace IQ", {62, 280}, 72, 24, 1));

    UI_TRY(NewStringIndicator(p, TR_MSG, "Device Message", {194, 112}, 300));
    UI_TRY(SetCtrlAttribute(p, TR_MSG, ATTR_LABEL_POSITION, VAL_LABEL_LEFT));
    UI_TRY(SetCtrlVal(p, TR_MSG, ""));
    UI_TRY(NewNumeric(p, TR_DRAT, "MB/s", {62, 358}, 64,
                      {.dataType = VAL_DOUBLE, .min = 0.0, .max = 1.0e9, .def = 0.0, .precision = 3,
                       .indicator = true}));
    UI_TRY(NewTextMsg(p, TR_DYN, {84, 330}, ""));
    UI_TRY(NewTextMsg(p, TR_STA, {84, 8}, ""));

    MirrorDefaults(p);
    UI_TRY(FinishPanel(p, cbTrc, {TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC},
                       {TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC}));
    return p;
}

int cbTrc(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (Busy) {
        WhileBusy(control);
        return 0;
    }
    // A capture would replace s under a running load or save.
    if (control == TR_TRC && IoBusy)
        return 0;
    Busy = 1;
    bool tail = true;
    if (control == TR_BRK)
        tail = OnStop();
    else
        RunCtrlAction(control, {{TR_TYP, OnType},
                                {TR_PAD, OnPad},
                                {TR_IFT, OnInterface},
                                {TR_IPA, OnAddress},
                                {TR_TST, DevTest},
                                {TR_WIN, [] { GetCtrlVal(hTrc, TR_WIN, &win); }},
                                {TR_TRC, OnTrace}});
    if (tail)
        CommonTail();
    Busy = 0;
    return 0;
}

void ForgetInstrument()
{
    a.Vi = 0;
    SetCtrlVal(hTrc, TR_MSG, "");
    SetCtrlVal(hTrc, TR_DRAT, 0.0);
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 1);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
}
