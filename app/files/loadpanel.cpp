#include "files/loadpanel.h"

#include "VmFunLib.h"
#include "files/busy.h"
#include "files/filenames.h"
#include "files/formats.h"
#include "files/savepanel.h"
#include "remote/topaz.h"
#include "shell/globals.h"
#include "shell/mainpanel.h"
#include "shell/statuspanel.h"
#include "shell/uibuild.h"
#include "userint.h"

#include <cstdio>
#include <cstring>
#include <string>

int LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA, LO_TEXTMSG;

namespace {

constexpr int kUInt16Format = 20;

int SizeCtrl(int p, int id, int width, int height = 0)
{
    UI_TRY(SetCtrlAttribute(p, id, ATTR_WIDTH, width));
    if (height > 0)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_HEIGHT, height));
    return 0;
}

int BuildFileRows(int p)
{
    UI_NEW(LO_TYP, NewCtrl(p, CTRL_RING, "Type", 27, 48));
    UI_TRY(SetCtrlAttribute(p, LO_TYP, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SizeCtrl(p, LO_TYP, 270));
    for (int i = 0; i < IQ_NFMT; ++i)
        UI_TRY(InsertListItem(p, LO_TYP, -1, IqFormatAt(i)->label, i));
    UI_TRY(SetCtrlAttribute(p, LO_TYP, ATTR_DEFAULT_INDEX, 2));
    UI_TRY(DefaultCtrl(p, LO_TYP));

    UI_NEW(LO_I, NewCtrl(p, CTRL_COMMAND_BUTTON, "I", 51, 5));
    UI_NEW(LO_DI, NewCtrl(p, CTRL_STRING, "", 50, 47));
    UI_TRY(SetCtrlAttribute(p, LO_DI, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SizeCtrl(p, LO_DI, 380));
    UI_NEW(LO_Q, NewCtrl(p, CTRL_COMMAND_BUTTON, "Q", 75, 5));
    UI_NEW(LO_DQ, NewCtrl(p, CTRL_STRING, "", 74, 47));
    UI_TRY(SetCtrlAttribute(p, LO_DQ, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SizeCtrl(p, LO_DQ, 380));
    return 0;
}

int BuildNumerics(int p)
{
    UI_NEW(LO_FRQ, NewCtrl(p, CTRL_NUMERIC, "Frequency", 110, 64));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_DATA_TYPE, VAL_FLOAT));
    UI_TRY(SizeCtrl(p, LO_FRQ, 95));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_MIN_VALUE, 0.0));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_MAX_VALUE, 2147480000.0));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_INCR_VALUE, 1.0));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_PRECISION, 0));
    UI_TRY(SetCtrlAttribute(p, LO_FRQ, ATTR_DEFAULT_VALUE, 100000000.0));
    UI_TRY(DefaultCtrl(p, LO_FRQ));

    UI_NEW(LO_ADR, NewCtrl(p, CTRL_NUMERIC, "Topaz Adr.", 171, 286));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SizeCtrl(p, LO_ADR, 40));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_MIN_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_MAX_VALUE, 31));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_INCR_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_DEFAULT_VALUE, 6));
    UI_TRY(DefaultCtrl(p, LO_ADR));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_DIMMED, 1));

    UI_NEW(LO_CNT, NewCtrl(p, CTRL_NUMERIC, "No of Samples", 110, 256));
    UI_TRY(SetCtrlAttribute(p, LO_CNT, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SetCtrlAttribute(p, LO_CNT, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SizeCtrl(p, LO_CNT, 70));
    UI_TRY(SetCtrlAttribute(p, LO_CNT, ATTR_MIN_VALUE, 0));
    UI_TRY(SetCtrlAttribute(p, LO_CNT, ATTR_MAX_VALUE, 2147483647));
    UI_TRY(SetCtrlAttribute(p, LO_CNT, ATTR_DEFAULT_VALUE, 0));
    UI_TRY(DefaultCtrl(p, LO_CNT));
    return 0;
}

int BuildButtons(int p)
{
    UI_NEW(LO_LOAD, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Load IQ", 107, 334));
    UI_TRY(SizeCtrl(p, LO_LOAD, 92, 26));
    UI_TRY(SetCtrlAttribute(p, LO_LOAD, ATTR_DIMMED, 1));
    UI_NEW(LO_TRA, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Topaz Transm.", 169, 334));
    UI_TRY(SizeCtrl(p, LO_TRA, 92, 26));
    UI_TRY(SetCtrlAttribute(p, LO_TRA, ATTR_DIMMED, 1));
    UI_NEW(LO_TEXTMSG, NewCtrl(p, CTRL_TEXT_MSG, "", 115, 160));
    UI_TRY(SetCtrlVal(p, LO_TEXTMSG, "Hz"));
    return 0;
}

void ShowTwoFileControls(int typ)
{
    int single = t[typ].Files != 2;
    SetCtrlAttribute(hLod, LO_Q, ATTR_DIMMED, single);
    SetCtrlAttribute(hLod, LO_DQ, ATTR_DIMMED, single);
}

void OnType()
{
    GetCtrlVal(hLod, LO_TYP, &s.Typ);
    ShowTwoFileControls(s.Typ);
    SetCtrlVal(hLod, LO_DI, "");
    SetCtrlVal(hLod, LO_DQ, "");
    DVal = 0;
    s.Len = 0;
    QFlg = 0;
    IFlg = 0;
    NewState = 1;
}

int SelectFile(const char *pattern, char *path)
{
    return FileSelectPopup(SrcDir, pattern, pattern, "Select File", VAL_SELECT_BUTTON, 0, 0, 1, 1,
                           path);
}

void OnIFile()
{
    if (SelectFile(t[s.Typ].Pat1, s.INam) <= 0)
        return;
    SetCtrlVal(hLod, LO_DI, s.INam);
    IFlg = 1;
    if (SplitIFile(s.Typ, s.INam, SrcDir, s.QNam)) {
        QFlg = FileExists(s.QNam) ? 1 : 0;
        if (!QFlg)
            s.QNam[0] = '\0';
        SetCtrlVal(hLod, LO_DQ, s.QNam);
    }
    s.Len = 0;
    DVal = 0;
}

void OnQFile()
{
    if (SelectFile(t[s.Typ].Pat2, s.QNam) <= 0)
        return;
    SetCtrlVal(hLod, LO_DQ, s.QNam);
    QFlg = 1;
    s.Len = 0;
    DVal = 0;
}

void OnLoad()
{
    DspTxtPnl("Loading IQ data...");
    int status;
    {
        IoBusyScope busy;
        status = LoadDatFile(&s);
    }
    HeldLen = status == 0 ? s.Len : 0;
    if (status != 0) {
        MessagePopup("Error", "File Load Error.");
        DVal = 0;
        NewState = 0;
    } else {
        DVal = 1;
        NewState = 1;
        SetCtrlVal(hLod, LO_CNT, s.Len);
        if (s.Rat != 0.0f)
            SRat = s.Rat;
        else
            GetCtrlVal(hLod, LO_FRQ, &SRat);
        SetCtrlVal(hLod, LO_FRQ, static_cast<double>(SRat));
    }
    int offer = DVal == 1 && s.Typ == kUInt16Format;
    SetCtrlAttribute(hLod, LO_TRA, ATTR_DIMMED, !offer);
    SetCtrlAttribute(hLod, LO_ADR, ATTR_DIMMED, !offer);
    HidePanel(hSta);
}

void OnTransmit()
{
    int adr = 0;
    GetCtrlVal(hLod, LO_ADR, &adr);
    int status = TransmitUInt16(adr);
    if (status == TOPAZ_ERR_RANGE) {
        HidePanel(hSta);
        char text[200];
        std::snprintf(text, sizeof text,
                      "Sample %ld is not a 16-bit word (-32768 to 65535).\nNothing was sent.",
                      FirstSampleOutOfRange());
        MessagePopup("Error", text);
    } else if (status != 0) {
        HidePanel(hSta);
        ErrMsgPop(status, "Error", "Please check Topaz address or GPIB cables.");
    }
}

void CommonTail()
{
    int ready = IFlg == 1 && (t[s.Typ].Files != 2 || QFlg == 1);
    SetCtrlAttribute(hLod, LO_LOAD, ATTR_DIMMED, !ready);
    SetCtrlAttribute(hLod, LO_CNT, ATTR_DIMMED, DVal != 1);
    UpdSaveDim();
    SetCtrlVal(hLod, LO_CNT, s.Len);
    GetCtrlVal(hLod, LO_FRQ, &SRat);
    SetCtrlVal(hRun, RN_DVAL, DVal);
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, DVal != 1);
    UpdTesAll(Hdl, NewState, SRat, s.Len);
}

}  // namespace

int BuildLO(int parent)
{
    int p = NewPanel(parent, "Load IQ Data", 50, 87, 220, 430);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, VAL_PANEL_GRAY));
    UI_TRY(BuildFileRows(p));
    UI_TRY(BuildNumerics(p));
    UI_TRY(BuildButtons(p));
    const int active[] = {LO_TYP, LO_I, LO_Q, LO_FRQ, LO_ADR, LO_LOAD, LO_TRA};
    for (int id : active)
        UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cbLoad));
    const int tabOrder[] = {LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA};
    for (int pos = 0; pos < 10; ++pos)
        UI_TRY(SetCtrlAttribute(p, tabOrder[pos], ATTR_CTRL_TAB_POSITION, pos));
    UI_TRY(ScalePanel(p));
    return p;
}

int cbLoad(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // While a file operation runs, nothing may change the records under it.
    if (event != EVENT_COMMIT || IoBusy)
        return 0;
    if (control == LO_TYP)
        OnType();
    else if (control == LO_I)
        OnIFile();
    else if (control == LO_Q)
        OnQFile();
    else if (control == LO_FRQ)
        GetCtrlVal(hLod, LO_FRQ, &SRat);
    else if (control == LO_LOAD)
        OnLoad();
    else if (control == LO_TRA)
        OnTransmit();
    CommonTail();
    return 0;
}
