// What the toolkit layer keeps about every panel, control and menu bar.
// The handles the program sees are plain integers; this registry maps them
// to the Qt widgets that stand behind them.
#pragma once

#include "userint.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QMenuBar;
class QMenu;
class QAction;

namespace kui {

class PanelWidget;

struct RingItem {
    std::string label;
    double num = 0;       // integer and float rings
    std::string str;      // string rings
};

struct Ctrl {
    int id = 0;
    int panel = 0;
    int kind = 0;
    QPointer<QWidget> body;                 // the widget itself
    QPointer<QLabel> label;                 // caption above or beside
    std::vector<QPointer<QLabel>> extras;   // the switch's on/off texts
    std::string labelText;                  // as the program gave it

    CtrlCallbackPtr cb = nullptr;
    void *cbData = nullptr;

    int dataType = VAL_INTEGER;
    double num = 0;                          // numeric, switch, LED, check box, bar, button
    double minV = 0, maxV = 0, incr = 1, defVal = 0;
    int precision = 2;
    std::string text;                        // string and text message

    std::vector<RingItem> items;
    int index = -1, defIndex = 0;

    double onVal = 1, offVal = 0;
    std::string onText = "On", offText = "Off";
    int onColor = VAL_GREEN, offColor = 0x602020;

    bool dimmed = false, visible = true;
    int mode = VAL_HOT;
    int top = 0, left = 0, width = 0, height = 0;
    int zPlane = 0, textColor = VAL_BLACK, textBg = VAL_TRANSPARENT;
    int pointSize = 0, fillColor = VAL_RED, buttonColor = -1, maxLen = 0;
    int labelPos = VAL_LABEL_AUTO;
};

struct Panel {
    int handle = 0;
    int parent = 0;
    QPointer<PanelWidget> w;
    std::string title;
    int closeCtrl = 0;
    int backColor = VAL_PANEL_GRAY;
    int menuBar = 0;
    bool dimmed = false;
    std::vector<std::unique_ptr<Ctrl>> ctrls;   // index = id - 2
    std::vector<int> tabOrder;                 // control ids in the order Tab visits them
};

struct MenuEntry {
    int id = 0;
    int menu = 0;            // 0 for a menu of the bar, else its menu
    bool isMenu = false, isSeparator = false;
    std::string name;
    QPointer<QMenu> qmenu;
    QPointer<QAction> action;
    MenuCallbackPtr cb = nullptr;
    void *cbData = nullptr;
};

struct MenuBar {
    int handle = 0;
    int panel = 0;
    QPointer<QMenuBar> bar;
    std::map<int, MenuEntry> entries;
    int nextId = 2;
};

// Registry access; null when the handle is unknown.
Panel *FindPanel(int handle);
Ctrl *FindCtrl(int panel, int ctrl);
MenuBar *FindMenuBar(int handle);
// The status for a control FindCtrl did not find: an unknown panel is told
// from an unknown control of a known panel.
int MissingCtrl(int panel);
// FindCtrl with that status in *rc (0 when found).
Ctrl *LookupCtrl(int panel, int ctrl, int *rc);
// The same for the getters, which also need somewhere to put the answer: a
// null out is UIEInvalidValue.
Ctrl *LookupCtrl(int panel, int ctrl, const void *out, int *rc);
std::map<int, std::unique_ptr<Panel>> &Panels();
std::map<int, std::unique_ptr<MenuBar>> &MenuBars();
int NextHandle();

// The toolkit's own label convention: "__X" marks the mnemonic.
QString ToQtMnemonic(const std::string &label);
QString PlainLabel(const std::string &label);
QColor ToQColor(int rgb);

// Control behaviour shared by the setters and the user-action paths.
void UserCommit(Ctrl &c);           // value already taken: call back with commit
void RefreshCtrl(Ctrl &c);          // push the stored state into the widgets
void PlaceCtrl(Ctrl &c);            // geometry of body, caption and texts
QWidget *CreateBody(Ctrl &c, QWidget *parent);
void UpdateCaption(Ctrl &c);        // create, change or drop the caption for labelText
bool RingValueMatches(const Ctrl &c, const RingItem &it, double v);
double ClampNumeric(const Ctrl &c, double v);
double StoreAsType(int dataType, double v);
bool IsInitialised();
int TakeNumber(Ctrl &c, double v);          // 0, or negative when the control refuses it
int TakeText(Ctrl &c, const char *v);
bool NumberOf(const Ctrl &c, double *v);

// Copies text into a caller buffer the toolkit's calls fill (at most
// MAX_PATHNAME_LEN for paths); false when it does not fit.
bool CopyOut(const std::string &s, char *out, size_t cap);

// While a quit asked from outside is pending, the program's stop handler runs
// again (see QuitOnTerminationSignals).
void KeepStopping();
// A quit was asked for, or a termination signal came that the event loop has
// not yet turned into one (a wait that lets no socket notifiers through
// would never see it become a request).
bool QuitPending();
// Runs the actions of KALMIRA_TEST_ACTIONS once the first event loop runs,
// and tells a test where the program is (testactions.cpp).
void StartTestActions();
void AnnounceForTests(const std::string &what);

void RaiseMainWindow();
void BringToFront(QWidget *w);
int SetTabPosition(Panel &p, int ctrl, int pos);
int TabPosition(const Panel &p, int ctrl);
void ApplyPanelStyle();

}  // namespace kui
