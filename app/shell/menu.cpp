#include "shell/menu.h"

#include "files/formats.h"
#include "shell/config.h"
#include "shell/modes.h"
#include "shell/places.h"
#include "state/busy.h"
#include "state/globals.h"
#include "userint.h"

#include <cstdio>
#include <string>

int MN_FILE, MN_FILE_LOAD, MN_FILE_SAVE, MN_FILE_SEPARATOR, MN_FILE_QUIT;
int MN_HELP, MN_HELP_HELP, MN_HELP_ABOUT;

namespace {

int NewItem(int bar, int menu, const char *name)
{
    return NewMenuItem(bar, menu, name, -1, 0, cbMen, nullptr);
}

// The manual beside the program or where the installation put it.  Help
// that silently does nothing looks broken: a missing manual is said.
void ShowManual()
{
    const std::string path = ManualPath();
    if (path.empty()) {
        std::string text = std::string("The manual was not found beside the program (") + WrkDir +
                           "/doc) nor where an installation puts it.";
        MessagePopup("Manual", text.c_str());
        return;
    }
    OpenDocument(path.c_str());
}

// The dialogs open where the program keeps its own configuration.
int SelectCfgFile(const char *title, int button)
{
    char own[MAX_PATHNAME_LEN], drive[MAX_PATHNAME_LEN], dir[MAX_PATHNAME_LEN], name[MAX_PATHNAME_LEN];
    CfgPath(own);
    SplitPath(own, drive, dir, name);
    char start[MAX_PATHNAME_LEN * 2];
    std::snprintf(start, sizeof start, "%s%s", drive, dir);
    return FileSelectPopup(start, "*.cfg", "*.cfg", title, button, 0, 1, 1, 1, FNam);
}

void LoadConfiguration()
{
    if (SelectCfgFile("Load Configuration", VAL_LOAD_BUTTON) <= 0)
        return;
    int mode = TrcFlg;
    const int port = TcpPrt;
    LoadCfgFile(FNam, &a, t);
    // The port field now shows the file's port: the server goes there too,
    // as after an edit of the field, or the field would name a port nobody
    // listens on and its next edit would close the wrong one.
    if (TcpPrt != port)
        MoveServer(port);
    // A file of the other mode: show that mode's panels, as the switch now says.
    if (TrcFlg != mode)
        DspMode(TrcFlg);
}

void SaveConfiguration()
{
    if (SelectCfgFile("Save Configuration", VAL_SAVE_BUTTON) > 0)
        SaveCfgFile(FNam, a);
}

}  // namespace

int BuildMN(int panel)
{
    int bar = NewMenuBar(panel);
    if (bar < 0)
        return bar;
    struct Item {
        int *id;
        int kind;  // 0 menu, 1 item, 2 separator
        const char *name;
    };
    const Item items[] = {
        {&MN_FILE, 0, "__File"},
        {&MN_FILE_LOAD, 1, "__Load Configuration"},
        {&MN_FILE_SAVE, 1, "__Save Configuration"},
        {&MN_FILE_SEPARATOR, 2, ""},
        {&MN_FILE_QUIT, 1, "__Quit"},
        {&MN_HELP, 0, "__Help"},
        {&MN_HELP_HELP, 1, "__Contents"},
        {&MN_HELP_ABOUT, 1, "__About"},
    };
    int menu = 0;
    for (const Item &it : items) {
        int id = it.kind == 0   ? NewMenu(bar, it.name, -1)
                 : it.kind == 1 ? NewItem(bar, menu, it.name)
                                : InsertSeparator(bar, menu, -1);
        if (id < 0)
            return id;
        *it.id = id;
        if (it.kind == 0)
            menu = id;
    }
    return bar;
}

std::string AboutText()
{
    char version[64];
    std::snprintf(version, sizeof version, "           Version %0.2lf\n\n", PrgVer);
    std::string text;
    text += "";
    text += " Software for reading Agate/Beryl/Coral/Jasper/Onyx traces and\n";
    text += "   saving calculated I/Q data in various file formats\n\n";
    text += version;
    text += "The software was developed using Qt\n";
    text += "";
    return text;
}

void cbMen(int menuBar, int menuItem, void *callbackData, int panel)
{
    // A configuration changes the formats and the count under a running load,
    // save or capture; saving one would record a state about to change.
    if (IoBusy && (menuItem == MN_FILE_LOAD || menuItem == MN_FILE_SAVE))
        return;
    if (menuItem == MN_FILE_LOAD)
        LoadConfiguration();
    else if (menuItem == MN_FILE_SAVE)
        SaveConfiguration();
    else if (menuItem == MN_FILE_QUIT)
        QuitProgram();
    else if (menuItem == MN_HELP_HELP)
        ShowManual();
    else if (menuItem == MN_HELP_ABOUT)
        MessagePopup("About", AboutText().c_str());
}
