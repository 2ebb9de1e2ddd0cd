#include "files/loadpanel.h"

#include "VmFunLib.h"
#include "files/busy.h"
#include "files/filenames.h"
#include "files/formats.h"
#include "files/savepanel.h"
#include "remote/topaz.h"
#include "state/globals.h"
#include "state/panelids.h"
#include "state/statuspanel.h"
#include "state/uibuild.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA, LO_TEXTMSG;

namespace {

constexpr int kUInt16Format = 20;

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
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Load IQ Data", 50, 87, 220, 430));
    std::vector<RingItem> formats;
    for (int i = 0; i < IQ_NFMT; ++i)
        formats.push_back({IqFormatAt(i)->label, i});
    UI_TRY(NewIntRing(p, LO_TYP, "Type", {27, 48}, 270, formats, 2));
    UI_TRY(NewButton(p, LO_I, "I", {51, 5}));
    UI_TRY(NewStringIndicator(p, LO_DI, "", {50, 47}, 380));
    UI_TRY(NewButton(p, LO_Q, "Q", {75, 5}));
    UI_TRY(NewStringIndicator(p, LO_DQ, "", {74, 47}, 380));
    UI_TRY(NewNumeric(p, LO_FRQ, "Frequency", {110, 64}, 95,
                      {.dataType = VAL_FLOAT, .min = 0.0, .max = 2147480000.0, .def = 100000000.0,
                       .precision = 0}));
    UI_TRY(NewNumeric(p, LO_ADR, "Topaz Adr.", {171, 286}, 40,
                      {.dataType = VAL_INTEGER, .min = 1, .max = 31, .def = 6}));
    UI_TRY(SetCtrlAttribute(p, LO_ADR, ATTR_DIMMED, 1));
    UI_TRY(NewNumeric(p, LO_CNT, "No of Samples", {110, 256}, 70,
                      {.dataType = VAL_INTEGER, .min = 0, .max = 2147483647, .def = 0,
                       .indicator = true}));
    UI_TRY(NewButton(p, LO_LOAD, "__Load IQ", {107, 334}, 92, 26, 1));
    UI_TRY(NewButton(p, LO_TRA, "__Topaz Transm.", {169, 334}, 92, 26, 1));
    UI_TRY(NewTextMsg(p, LO_TEXTMSG, {115, 160}, "Hz"));

    UI_TRY(FinishPanel(p, cbLoad, {LO_TYP, LO_I, LO_Q, LO_FRQ, LO_ADR, LO_LOAD, LO_TRA},
                       {LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA}));
    return p;
}

int cbLoad(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // While a file operation runs, nothing may change the records under it.
    if (event != EVENT_COMMIT || IoBusy)
        return 0;
    RunCtrlAction(control, {{LO_TYP, OnType},
                            {LO_I, OnIFile},
                            {LO_Q, OnQFile},
                            {LO_FRQ, [] { GetCtrlVal(hLod, LO_FRQ, &SRat); }},
                            {LO_LOAD, OnLoad},
                            {LO_TRA, OnTransmit}});
    CommonTail();
    return 0;
}
