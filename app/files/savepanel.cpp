#include "files/savepanel.h"

#include "files/filenames.h"
#include "files/formats.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/uibuild.h"

#include <cstdio>
#include <cstring>
#include <vector>

int SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV;

namespace {

int SelectFile(const char *pattern, int button, char *path)
{
    return ChooseFile(DstDir, pattern, button, path);
}

bool TwoFiles()
{
    return t[d.Typ].Files == 2;
}

// A new format forgets the destination: its files would be written in a
// format other than the one they were chosen for.
void OnType()
{
    GetCtrlVal(hSav, SA_TYP, &d.Typ);
    int single = !TwoFiles();
    SetCtrlAttribute(hSav, SA_Q, ATTR_DIMMED, single);
    SetCtrlAttribute(hSav, SA_DQ, ATTR_DIMMED, single);
    ForgetDestination();
}

void OnIFile()
{
    int chosen = SelectFile(t[d.Typ].Pat1, VAL_SAVE_BUTTON, d.INam);
    if (chosen <= 0)
        return;
    SetCtrlVal(hSav, SA_DI, d.INam);
    FExI = chosen == VAL_EXISTING_FILE_SELECTED ? 1 : 0;
    if (SplitIFile(d.Typ, d.INam, DstDir, d.QNam))
        SetCtrlVal(hSav, SA_DQ, d.QNam);
    // The second file is the one shown, derived or chosen before.
    FExQ = TwoFiles() ? FileExists(d.QNam) : FExI;
}

void OnQFile()
{
    int chosen = SelectFile(t[d.Typ].Pat2, VAL_OK_BUTTON, d.QNam);
    if (chosen <= 0)
        return;
    SetCtrlVal(hSav, SA_DQ, d.QNam);
    FExQ = chosen == VAL_EXISTING_FILE_SELECTED ? 1 : 0;
}

void RunSave(int append)
{
    AppFlg = append;
    SaveDatFile();
    HidePanel(hSta);
    // A save that created the destination makes it one to append to.
    FExI = FileExists(d.INam);
    FExQ = TwoFiles() ? FileExists(d.QNam) : FExI;
}

// A commit that came while a file operation runs is not acted on: the
// control shows again what the program holds.
void PutBack(int control)
{
    if (control == SA_TYP)
        SetCtrlVal(hSav, SA_TYP, d.Typ);
    else if (control == SA_CNT)
        SetCtrlVal(hSav, SA_CNT, NGrd);
}

// The destination is what the panel shows: its file, and the second one
// for a two-file format.
bool DestinationShown()
{
    return d.INam[0] != '\0' && (!TwoFiles() || d.QNam[0] != '\0');
}

}  // namespace

void ForgetDestination()
{
    d.INam[0] = d.QNam[0] = '\0';
    f.INam[0] = f.QNam[0] = '\0';
    FExI = FExQ = 0;
    SetCtrlVal(hSav, SA_DI, d.INam);
    SetCtrlVal(hSav, SA_DQ, d.QNam);
}

void UpdSaveDim()
{
    const bool ready = DVal == 1 && DestinationShown();
    SetCtrlAttribute(hSav, SA_SAV, ATTR_DIMMED, !ready);
    // Appending reads what is there: every file of the destination must exist.
    const bool existing = FExI == 1 && (!TwoFiles() || FExQ == 1);
    SetCtrlAttribute(hSav, SA_APP, ATTR_DIMMED, !(ready && existing));
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
    if (event != EVENT_COMMIT)
        return 0;
    // While a file operation runs, nothing may change the records under it.
    if (IoBusy) {
        PutBack(control);
        return 0;
    }
    RunCtrlAction(control, {{SA_TYP, OnType},
                            {SA_I, OnIFile},
                            {SA_Q, OnQFile},
                            {SA_CNT, [] { GetCtrlVal(hSav, SA_CNT, &NGrd); }},
                            {SA_APP, [] { RunSave(1); }},
                            {SA_SAV, [] { RunSave(0); }}});
    UpdSaveDim();
    return 0;
}
