#include "instrument/tracepanel.h"

#include "VmFunLib.h"
#include "instrument/acquire.h"
#include "instrument/session.h"
#include "shell/globals.h"
#include "shell/mainpanel.h"
#include "shell/modes.h"
#include "shell/uibuild.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

int TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC, TR_MSG, TR_DRAT, TR_DYN, TR_STA;

// kalmira-sim listens here (port 5025, the VISA layer's default) unless told
// otherwise.
const char kDefaultIpAddr[] = "127.0.0.1";

namespace {

// A device test, trace or stop is running; the chunked read lets input
// through for its Abort button, and nothing here may start meanwhile.
int Busy;

int Size(int p, int id, int width, int height = 0)
{
    UI_TRY(SetCtrlAttribute(p, id, ATTR_WIDTH, width));
    if (height > 0)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_HEIGHT, height));
    return 0;
}

int BuildDeviceRow(int p)
{
    static const char *const models[] = {"Agate", "Beryl", "Coral", "Jasper", "Onyx"};
    UI_NEW(TR_TYP, NewCtrl(p, CTRL_RING, "Device Type", 20, 8));
    UI_TRY(SetCtrlAttribute(p, TR_TYP, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(Size(p, TR_TYP, 80));
    for (int i = 0; i < 5; ++i)
        UI_TRY(InsertListItem(p, TR_TYP, -1, models[i], i + 1));
    UI_TRY(SetCtrlAttribute(p, TR_TYP, ATTR_DEFAULT_INDEX, 1));
    UI_TRY(DefaultCtrl(p, TR_TYP));

    UI_NEW(TR_PAD, NewCtrl(p, CTRL_NUMERIC, "PAD", 20, 96));
    UI_TRY(SetCtrlAttribute(p, TR_PAD, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(Size(p, TR_PAD, 42));
    UI_TRY(SetCtrlAttribute(p, TR_PAD, ATTR_MIN_VALUE, 0));
    UI_TRY(SetCtrlAttribute(p, TR_PAD, ATTR_MAX_VALUE, 31));
    UI_TRY(SetCtrlAttribute(p, TR_PAD, ATTR_INCR_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, TR_PAD, ATTR_DEFAULT_VALUE, 20));
    UI_TRY(DefaultCtrl(p, TR_PAD));

    UI_NEW(TR_IFT, NewCtrl(p, CTRL_BINARY_SWITCH, "", 16, 180));
    UI_TRY(Size(p, TR_IFT, 40, 24));
    UI_TRY(SetCtrlAttribute(p, TR_IFT, ATTR_ON_VALUE, IFT_LAN));
    UI_TRY(SetCtrlAttribute(p, TR_IFT, ATTR_OFF_VALUE, IFT_GPIB));
    UI_TRY(SetCtrlAttribute(p, TR_IFT, ATTR_ON_TEXT, "LAN"));
    UI_TRY(SetCtrlAttribute(p, TR_IFT, ATTR_OFF_TEXT, "GPIB"));
    UI_TRY(SetCtrlVal(p, TR_IFT, IFT_GPIB));

    UI_NEW(TR_IPA, NewCtrl(p, CTRL_STRING, "IP Addr", 20, 290));
    UI_TRY(Size(p, TR_IPA, 130));
    UI_TRY(SetCtrlAttribute(p, TR_IPA, ATTR_MAX_ENTRY_LENGTH, int(sizeof a.Ipa) - 1));
    UI_TRY(SetCtrlVal(p, TR_IPA, kDefaultIpAddr));
    UI_TRY(SetCtrlAttribute(p, TR_IPA, ATTR_DIMMED, 1));
    return 0;
}

int BuildActionRow(int p)
{
    static const char *const windows[] = {"None",    "Triangular",      "Hanning",        "Hamming",
                                          "Blackman", "Kaiser",         "Blackman-Harris", "Tapered Cosine",
                                          "Exact Blackman", "Exponential", "Flat Top",     "Force"};
    UI_NEW(TR_TST, NewCtrl(p, CTRL_COMMAND_BUTTON, "Test __Dev", 62, 8));
    UI_TRY(Size(p, TR_TST, 72, 24));
    UI_NEW(TR_BRK, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Stop Meas", 62, 84));
    UI_TRY(Size(p, TR_BRK, 72, 24));
    UI_TRY(SetCtrlAttribute(p, TR_BRK, ATTR_DIMMED, 1));

    UI_NEW(TR_WIN, NewCtrl(p, CTRL_RING, "Window Type", 62, 162));
    UI_TRY(SetCtrlAttribute(p, TR_WIN, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(Size(p, TR_WIN, 112));
    for (int i = 0; i < 12; ++i)
        UI_TRY(InsertListItem(p, TR_WIN, -1, windows[i], i));
    UI_TRY(DefaultCtrl(p, TR_WIN));

    UI_NEW(TR_TRC, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Trace IQ", 62, 280));
    UI_TRY(Size(p, TR_TRC, 72, 24));
    UI_TRY(SetCtrlAttribute(p, TR_TRC, ATTR_DIMMED, 1));
    return 0;
}

int BuildIndicators(int p)
{
    UI_NEW(TR_MSG, NewCtrl(p, CTRL_STRING, "Device Message", 194, 112));
    UI_TRY(SetCtrlAttribute(p, TR_MSG, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SetCtrlAttribute(p, TR_MSG, ATTR_LABEL_POSITION, VAL_LABEL_LEFT));
    UI_TRY(Size(p, TR_MSG, 300));
    UI_TRY(SetCtrlVal(p, TR_MSG, ""));

    UI_NEW(TR_DRAT, NewCtrl(p, CTRL_NUMERIC, "MB/s", 62, 358));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_DATA_TYPE, VAL_DOUBLE));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(Size(p, TR_DRAT, 64));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_MIN_VALUE, 0.0));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_MAX_VALUE, 1.0e9));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_PRECISION, 3));
    UI_TRY(SetCtrlAttribute(p, TR_DRAT, ATTR_DEFAULT_VALUE, 0.0));
    UI_TRY(DefaultCtrl(p, TR_DRAT));

    UI_NEW(TR_DYN, NewCtrl(p, CTRL_TEXT_MSG, "", 84, 330));
    UI_TRY(SetCtrlVal(p, TR_DYN, ""));
    UI_NEW(TR_STA, NewCtrl(p, CTRL_TEXT_MSG, "", 84, 8));
    UI_TRY(SetCtrlVal(p, TR_STA, ""));
    return 0;
}

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

void OnInterface()
{
    GetCtrlVal(hTrc, TR_IFT, &a.Ift);
    SetCtrlAttribute(hTrc, TR_PAD, ATTR_DIMMED, a.Ift == IFT_LAN);
    SetCtrlAttribute(hTrc, TR_IPA, ATTR_DIMMED, a.Ift == IFT_GPIB);
    a.Vi = 0;
    SetCtrlVal(hTrc, TR_MSG, "");
    SetCtrlVal(hTrc, TR_DRAT, 0.0);
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 1);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
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
    if (TracIQ(a, s) != 0) {
        CVI_Beep();
        MessagePopup("Error", kVisaErrText);
    }
    HeldLen = DVal ? s.Len : 0;
    // A failed trace leaves nothing a spectrum could be taken of.
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, DVal ? 0 : 1);
}

// Returns false when the stop sequence failed: the panel then stays as the
// failure left it.
bool OnStop()
{
    if (StopMeas(a) == VI_SUCCESS)
        return true;
    // The instrument is still in capture mode: keep the way to try again
    // (after a new device test, when the connection was lost).
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 0);
    return false;
}

void CommonTail()
{
    UpdVar();
    if (TrcFlg && a.Typ == DEV_AGATE)
        s.Len = static_cast<int>(0.001 * SRat * RecLen);
    if (DVal && TrcFlg && s.Len > HeldLen)
        s.Len = HeldLen;
    UpdTesAll(Hdl, NewState, SRat, s.Len);
}

}  // namespace

int BuildTR(int parent)
{
    int p = NewPanel(parent, "Trace IQ Data", 50, 87, 220, 430);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, VAL_PANEL_GRAY));
    UI_TRY(BuildDeviceRow(p));
    UI_TRY(BuildActionRow(p));
    UI_TRY(BuildIndicators(p));
    const int active[] = {TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC};
    for (int id : active)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cbTrc));
    for (int pos = 0; pos < 8; ++pos)
        UI_TRY(SetCtrlAttribute(p, active[pos], ATTR_CTRL_TAB_POSITION, pos));
    MirrorDefaults(p);
    UI_TRY(ScalePanel(p));
    return p;
}

int cbTrc(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT || Busy)
        return 0;
    Busy = 1;
    bool tail = true;
    if (control == TR_TYP)
        OnType();
    else if (control == TR_PAD) {
        GetCtrlVal(hTrc, TR_PAD, &a.Pad);
        a.Vi = 0;
    } else if (control == TR_IFT)
        OnInterface();
    else if (control == TR_IPA)
        OnAddress();
    else if (control == TR_TST)
        DevTest();
    else if (control == TR_BRK)
        tail = OnStop();
    else if (control == TR_WIN)
        GetCtrlVal(hTrc, TR_WIN, &win);
    else if (control == TR_TRC)
        OnTrace();
    if (tail)
        CommonTail();
    Busy = 0;
    return 0;
}
