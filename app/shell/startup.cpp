#include "shell/startup.h"

#include "VmFunLib.h"
#include "shell/globals.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/statuspanel.h"
#include "userint.h"

#include <cstdio>

int BuildPanels()
{
    // Each handle is stored before it is tested, so the panels built before a
    // failure stay known.
    if ((hRun = BuildRN(0)) < 0)
        return -1;
    if ((hSta = BuildST(0)) < 0)
        return -1;
    if ((hDat = BuildDT(0)) < 0)
        return -1;
    if ((hMen = BuildMN(hRun)) < 0)
        return -1;
    return 0;
}

namespace {

void ShowVersionTitle()
{
    std::snprintf(FNam, sizeof FNam, "%s v%0.2lf", AppNam, PrgVer);
    SetPanelAttribute(hRun, ATTR_TITLE, FNam);
}

}  // namespace

int KalMain(int argc, char **argv)
{
    CheckForDuplicateAppInstance(ACTIVATE_OTHER_INSTANCE, &ExeFlg);
    if (ExeFlg)
        return 0;

    GetModuleDir(WrkDir);
    SetDir(WrkDir);
    GetAppNam(argc > 0 ? argv[0] : "Kalmira", AppNam);

    if (BuildPanels() < 0)
        return -1;

    s.Len = 0;
    DVal = 0;
    NewState = 0;
    JasM34Flg = 0;
    ShowVersionTitle();

    SetSystemPopupsAttribute(ATTR_SYSTEM_POPUPS_LOOK, 1);
    DisplayPanel(hRun);

    RunUserInterface();
    return 0;
}
