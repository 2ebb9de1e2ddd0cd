#include "shell/startup.h"

#include "VmFunLib.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "remote/tcpserver.h"
#include "shell/config.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/modes.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "immediateexit.h"
#include "userint.h"
#include "visa.h"

#include <cstdio>

static void LetEventsThrough()
{
    ProcessSystemEvents();
}

int BuildPanels()
{
    // In build order; a parent is read when its child is built.  Each handle
    // is stored before it is tested, so the panels built before a failure
    // stay known.
    static const int kTopLevel = 0;
    const struct {
        int &handle;
        int (*build)(int parent);
        const int &parent;
    } panels[] = {{hRun, BuildRN, kTopLevel}, {hTrc, BuildTR, hRun}, {hLod, BuildLO, hRun},
                  {hSav, BuildSA, hRun},      {hAgt, BuildAG, hTrc}, {hBer, BuildBY, hTrc},
                  {hCor, BuildCL, hTrc},      {hJas, BuildJA, hTrc}, {hOnx, BuildOX, hTrc},
                  {hSta, BuildST, kTopLevel}, {hDat, BuildDT, kTopLevel}, {hMen, BuildMN, hRun}};
    for (const auto &panel : panels)
        if ((panel.handle = panel.build(panel.parent)) < 0)
            return -1;
    InstallCtrlCallback(hSta, ST_ABO, cbAbort, nullptr);
    // Loads let the window live every 25000 samples (and see Abort).
    IqSetEventHook(LetEventsThrough);
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
    if (ExeFlg) {
        // Without a word this looks like a crash, above all when the first
        // copy runs on another display.
        std::fprintf(stderr, "Kalmira is already running; its window was brought to the front.\n");
        return 0;
    }

    GetModuleDir(WrkDir);
    SetDir(WrkDir);
    GetAppNam(argc > 0 ? argv[0] : "Kalmira", AppNam);

    if (BuildPanels() < 0)
        return -1;
    QuitOnTerminationSignals(AbortRunning);
    // A save cut short by a second signal leaves no hidden temporary file.
    AtImmediateExit(IqRemoveTemporaries);

    s.Len = 0;
    DVal = 0;
    NewState = 0;
    JasM34Flg = 0;
    ShowVersionTitle();

    CfgPath(FNam);
    LoadCfgFile(FNam, &a, t);

    SetSystemPopupsAttribute(ATTR_SYSTEM_POPUPS_LOOK, 1);
    DisplayPanel(hRun);
    DisplayPanel(hSav);
    DspMode(TrcFlg);
    RegisterTCPServer(TcpPrt, cbTCPServer, nullptr);
    SetCtrlAttribute(hLod, LO_LOAD, ATTR_DIMMED, 1);

    RunUserInterface();

    viClose(a.Vi);
    CfgPath(FNam);
    SaveCfgFile(FNam, a);
    return 0;
}
