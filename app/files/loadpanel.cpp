#include "files/loadpanel.h"

#include "VmFunLib.h"
#include "files/filenames.h"
#include "files/formats.h"
#include "files/savepanel.h"
#include "remote/topaz.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/panelids.h"
#include "state/statuspanel.h"
#include "state/uibuild.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA, LO_TEXTMSG;

namespace {

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
    return ChooseFile(SrcDir, pattern, VAL_SELECT_BUTTON, path);
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

// The reason below "File Load Error.": the library's text, and for a file
// that could not be opened what the system said.  A one-file format whose
// reader opens files of other names (SigMF's metadata and dataset) names
// the one that failed: the user picked only one of them.
void ShowLoadError(int status, int err, const std::string &named)
{
    const bool opening = status == IQ_ERR_OPEN1 || status == IQ_ERR_OPEN2;
    std::string reason = IqStatusText(status);
    if (opening && !named.empty())
        reason = named + ": " + IqStatusText(IQ_ERR_OPEN1);
    MessagePopup("Error", FailureText("File Load Error.", reason.c_str(), opening ? err : 0).c_str());
}

// Loads the chosen file into s.  The Q name of a one-file format stays as
// the panel has it; what the reader left there is the name of a file it
// could not open, returned in named.
int LoadChosen(int &err, std::string &named)
{
    const bool single = t[s.Typ].Files != 2;
    std::string keep = s.QNam;
    if (single)
        s.QNam[0] = '\0';
    errno = 0;
    int status = LoadDatFile(&s);
    err = errno;
    if (single) {
        named = status != 0 ? s.QNam : "";
        std::snprintf(s.QNam, sizeof s.QNam, "%s", keep.c_str());
    }
    return status;
}

void OnLoad()
{
    DspTxtPnl("Loading IQ data...");
    // Only a file that stores a rate may set one: the rate of an earlier
    // file must not replace the one typed for this file.
    s.Rat = 0.0f;
    int status, err;
    std::string named;
    {
        IoBusyScope busy;
        status = LoadChosen(err, named);
    }
    // A text of plain numbers that yields nothing (an empty file, a binary
    // file of another format) loads as an empty record: nothing the panels
    // could call valid data.
    const bool empty = status == 0 && s.Len < 1;
    if (empty)
        FreeIqRec(&s);
    HeldLen = status == 0 ? s.Len : 0;
    if (status != 0 || empty) {
        if (empty)
            MessagePopup("Error", "File Load Error.\nThe file holds no samples of this format.");
        else
            ShowLoadError(status, err, named);
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
    HidePanel(hSta);
}

void OnTransmit()
{
    int adr = 0;
    GetCtrlVal(hLod, LO_ADR, &adr);
    int status = TransmitUInt16(adr);
    if (status == TOPAZ_ERR_NODATA) {
        MessagePopup("Error", "No 16-bit word data (UInt16) are loaded.\nNothing was sent.");
    } else if (status == TOPAZ_ERR_RANGE) {
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
    UpdLoadPanel();
    UpdSaveDim();
    GetCtrlVal(hLod, LO_FRQ, &SRat);
    SetCtrlVal(hRun, RN_DVAL, DVal);
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, DVal != 1);
    UpdTesAll(Hdl, NewState, SRat, s.Len);
}

// A commit that came while a file operation runs is not acted on: the
// control shows again what the program holds.
void PutBack(int control)
{
    if (control == LO_TYP)
        SetCtrlVal(hLod, LO_TYP, s.Typ);
    else if (control == LO_FRQ)
        SetCtrlVal(hLod, LO_FRQ, static_cast<double>(SRat));
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

void UpdLoadPanel()
{
    int ready = IFlg == 1 && (t[s.Typ].Files != 2 || QFlg == 1);
    SetCtrlAttribute(hLod, LO_LOAD, ATTR_DIMMED, !ready);
    SetCtrlAttribute(hLod, LO_CNT, ATTR_DIMMED, DVal != 1);
    SetCtrlVal(hLod, LO_CNT, s.Len);
    const int offer = TopazDataHeld();
    SetCtrlAttribute(hLod, LO_TRA, ATTR_DIMMED, !offer);
    SetCtrlAttribute(hLod, LO_ADR, ATTR_DIMMED, !offer);
}

int cbLoad(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    // While a file operation runs, nothing may change the records under it.
    if (IoBusy) {
        PutBack(control);
        return 0;
    }
    RunCtrlAction(control, {{LO_TYP, OnType},
                            {LO_I, OnIFile},
                            {LO_Q, OnQFile},
                            {LO_FRQ, [] { GetCtrlVal(hLod, LO_FRQ, &SRat); }},
                            {LO_LOAD, OnLoad},
                            {LO_TRA, OnTransmit}});
    CommonTail();
    return 0;
}
