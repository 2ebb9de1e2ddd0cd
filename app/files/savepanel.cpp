#include "files/savepanel.h"

#include "files/busy.h"
#include "files/filenames.h"
#include "files/formats.h"
#include "shell/globals.h"
#include "shell/uibuild.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

int SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV;

namespace {

int BuildFileRows(int p)
{
    UI_NEW(SA_TYP, NewCtrl(p, CTRL_RING, "Type", 9, 46));
    UI_TRY(SetCtrlAttribute(p, SA_TYP, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SetCtrlAttribute(p, SA_TYP, ATTR_WIDTH, 260));
    for (int i = 0; i < IQ_NFMT; ++i) {
        const IqFormat *row = IqFormatAt(i);
        if (row->save)
            UI_TRY(InsertListItem(p, SA_TYP, -1, row->saveLabel, i));
    }
    UI_TRY(SetCtrlAttribute(p, SA_TYP, ATTR_DEFAULT_INDEX, 0));
    UI_TRY(DefaultCtrl(p, SA_TYP));

    UI_NEW(SA_I, NewCtrl(p, CTRL_COMMAND_BUTTON, "I", 33, 5));
    UI_NEW(SA_DI, NewCtrl(p, CTRL_STRING, "", 32, 46));
    UI_TRY(SetCtrlAttribute(p, SA_DI, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SetCtrlAttribute(p, SA_DI, ATTR_WIDTH, 380));
    UI_NEW(SA_Q, NewCtrl(p, CTRL_COMMAND_BUTTON, "Q", 57, 5));
    UI_NEW(SA_DQ, NewCtrl(p, CTRL_STRING, "", 56, 46));
    UI_TRY(SetCtrlAttribute(p, SA_DQ, ATTR_CTRL_MODE, VAL_INDICATOR));
    UI_TRY(SetCtrlAttribute(p, SA_DQ, ATTR_WIDTH, 380));
    return 0;
}

int BuildGuardAndButtons(int p)
{
    UI_NEW(SA_CNT, NewCtrl(p, CTRL_NUMERIC, "No of Guard Samples", 89, 120));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_DATA_TYPE, VAL_INTEGER));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_WIDTH, 75));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_MIN_VALUE, 0));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_MAX_VALUE, 2147483647));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_INCR_VALUE, 1));
    UI_TRY(SetCtrlAttribute(p, SA_CNT, ATTR_DEFAULT_VALUE, 0));
    UI_TRY(DefaultCtrl(p, SA_CNT));

    UI_NEW(SA_APP, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Append", 88, 233));
    UI_NEW(SA_SAV, NewCtrl(p, CTRL_COMMAND_BUTTON, "__Save IQ", 88, 334));
    for (int id : {SA_APP, SA_SAV}) {
        UI_TRY(SetCtrlAttribute(p, id, ATTR_WIDTH, 92));
        UI_TRY(SetCtrlAttribute(p, id, ATTR_HEIGHT, 26));
        UI_TRY(SetCtrlAttribute(p, id, ATTR_DIMMED, 1));
    }
    return 0;
}

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
    int p = NewPanel(parent, "Save IQ Data", 298, 87, 125, 430);
    if (p < 0)
        return p;
    UI_TRY(SetPanelAttribute(p, ATTR_BACKCOLOR, VAL_PANEL_GRAY));
    UI_TRY(BuildFileRows(p));
    UI_TRY(BuildGuardAndButtons(p));
    for (int id : {SA_TYP, SA_I, SA_Q, SA_CNT, SA_APP, SA_SAV})
        UI_TRY(SetCtrlAttribute(p, id, ATTR_CALLBACK_FUNCTION_POINTER, cbSave));
    const int tabOrder[] = {SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV};
    for (int pos = 0; pos < 8; ++pos)
        UI_TRY(SetCtrlAttribute(p, tabOrder[pos], ATTR_CTRL_TAB_POSITION, pos));
    UI_TRY(ScalePanel(p));
    return p;
}

int cbSave(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    // While a file operation runs, nothing may change the records under it.
    if (event != EVENT_COMMIT || IoBusy)
        return 0;
    if (control == SA_TYP)
        OnType();
    else if (control == SA_I)
        OnIFile();
    else if (control == SA_Q)
        OnQFile();
    else if (control == SA_CNT)
        GetCtrlVal(hSav, SA_CNT, &NGrd);
    else if (control == SA_APP)
        RunSave(1);
    else if (control == SA_SAV)
        RunSave(0);
    UpdSaveDim();
    SetCtrlAttribute(hSav, SA_APP, ATTR_DIMMED, !(FExI == 1 && FExQ == 1));
    return 0;
}
