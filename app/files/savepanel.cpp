#include "files/savepanel.h"

#include "files/busy.h"
#include "files/filenames.h"
#include "files/formats.h"
#include "state/globals.h"
#include "state/uibuild.h"

#include <cstdio>
#include <cstring>
#include <vector>

int SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV;

namespace {

int SelectFile(const char *pattern, int button, char *path)
{
    return FileSelectPopup(DstDir, pattern, pattern, "Select File", button, 0, 0, 1, 1, path);
}

void OnType()
{
    GetCtrlVal(hSav, SA_TYP, &d.Typ);
    int single = t[d.Typ].Files != 2;
    SetCtrlAttribute(hSav, SA_Q, ATTR_DIMMED, single);
    SetCtrlAttribute(hSav, SA_DQ, ATTR_DIMMED, single);
    SetCtrlVal(hSav, SA_DI, "");
    SetCtrlVal(hSav, SA_DQ, "");
    QFlg = 0;
    IFlg = 0;
}

void OnIFile()
{
    int chosen = SelectFile(t[d.Typ].Pat1, VAL_SAVE_BUTTON, d.INam);
    if (chosen <= 0)
        return;
    SetCtrlVal(hSav, SA_DI, d.INam);
    IFlg = 1;
    FExI = FExQ = chosen == VAL_EXISTING_FILE_SELECTED ? 1 : 0;
    if (SplitIFile(d.Typ, d.INam, DstDir, d.QNam)) {
        QFlg = 1;
        FExQ = FileExists(d.QNam) ? 1 : 0;
        SetCtrlVal(hSav, SA_DQ, d.QNam);
    }
    std::memcpy(f.INam, d.INam, sizeof f.INam);
    std::memcpy(f.QNam, d.QNam, sizeof f.QNam);
}

void OnQFile()
{
    int chosen = SelectFile(t[d.Typ].Pat2, VAL_OK_BUTTON, d.QNam);
    if (chosen <= 0)
        return;
    SetCtrlVal(hSav, SA_DQ, d.QNam);
    std::memcpy(f.QNam, d.QNam, sizeof f.QNam);
    QFlg = 1;
    FExQ = chosen == VAL_EXISTING_FILE_SELECTED ? 1 : 0;
}

void RunSave(int append)
{
    AppFlg = append;
    SaveDatFile();
    HidePanel(hSta);
}

}  // namespace

void UpdSaveDim()
{
    int ready = IFlg == 1 && DVal == 1 && (t[d.Typ].Files != 2 || QFlg == 1);
    SetCtrlAttribute(hSav, SA_SAV, ATTR_DIMMED, !ready);
}

int BuildSA(int parent)
{
    int p;
    UI_NEW(p, NewColoredPanel(parent, "Save IQ Data", 298, 87, 125, 430));
    std::vector<RingItem> writable;
    for (int i = 0; i < IQ_NFMT; ++i)
        if (IqFormatAt(i)->save)
            writable.push_back({IqFormatAt(i)->saveLabel, i});
    UI_TRY(NewIntRing(p, SA_TYP, "Type", {9, 46}, 260, writable, 0));
    UI_TRY(NewButton(p, SA_I, "I", {33, 5}));
    UI_TRY(NewStringIndicator(p, SA_DI, "", {32, 46}, 380));
    UI_TRY(NewButton(p, SA_Q, "Q", {57, 5}));
    UI_TRY(NewStringIndicator(p, SA_DQ, "", {56, 46}, 380));
    UI_TRY(NewNumeric(p, SA_CNT, "No of Guard Samples", {89, 120}, 75,
                      {.dataType = VAL_INTEGER, .min = 0, .max = 2147483647, .def = 0}));
    UI_TRY(NewButton(p, SA_APP, "__Append", {88, 233}, 92, 26, 1));
    UI_TRY(NewButton(p, SA_SAV, "__Save IQ", {88, 334}, 92, 26, 1));

    UI_TRY(FinishPanel(p, cbSave, {SA_TYP, SA_I, SA_Q, SA_CNT, SA_APP, SA_SAV},
                       {SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV}));
    return p;
}

int cbSave(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // While a file operation runs, nothing may change the records under it.
    if (event != EVENT_COMMIT || IoBusy)
        return 0;
    RunCtrlAction(control, {{SA_TYP, OnType},
                            {SA_I, OnIFile},
                            {SA_Q, OnQFile},
                            {SA_CNT, [] { GetCtrlVal(hSav, SA_CNT, &NGrd); }},
                            {SA_APP, [] { RunSave(1); }},
                            {SA_SAV, [] { RunSave(0); }}});
    UpdSaveDim();
    SetCtrlAttribute(hSav, SA_APP, ATTR_DIMMED, !(FExI == 1 && FExQ == 1));
    return 0;
}
