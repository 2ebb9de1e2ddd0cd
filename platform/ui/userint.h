// The user-interface toolkit layer.  The program builds its panels, controls,
// menus and pop-ups through these calls, in the shapes of the original
// run-time, so that panel builders and callbacks read as the design describes
// them.  Qt lives behind this header and nowhere above it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------- constants

// Control kinds for NewCtrl.
enum {
    CTRL_RING = 1,            // drop-down ring; value type set with ATTR_DATA_TYPE
    CTRL_NUMERIC,             // numeric with range, step and precision
    CTRL_STRING,              // one-line text entry
    CTRL_TEXT_MSG,            // static text
    CTRL_COMMAND_BUTTON,
    CTRL_BINARY_SWITCH,       // two-state switch with on/off texts and values
    CTRL_ROUND_LED,           // lamp
    CTRL_CHECK_BOX,
    CTRL_RAISED_BOX,          // decoration frame behind other controls
    CTRL_PERCENTAGE_BAR       // horizontal progress indicator 0..100
};

// Value types (ATTR_DATA_TYPE, YGraphPopup).
enum { VAL_INTEGER = 0, VAL_FLOAT = 4, VAL_DOUBLE = 5, VAL_STRING = 7 };

// Control attributes.
enum {
    ATTR_DIMMED = 1,
    ATTR_VISIBLE,
    ATTR_MIN_VALUE,
    ATTR_MAX_VALUE,
    ATTR_INCR_VALUE,
    ATTR_PRECISION,
    ATTR_DEFAULT_VALUE,
    ATTR_DEFAULT_INDEX,
    ATTR_DATA_TYPE,
    ATTR_ON_VALUE,
    ATTR_OFF_VALUE,
    ATTR_ON_TEXT,
    ATTR_OFF_TEXT,
    ATTR_ON_COLOR,
    ATTR_OFF_COLOR,
    ATTR_CMD_BUTTON_COLOR,
    ATTR_FILL_COLOR,
    ATTR_TEXT_COLOR,
    ATTR_TEXT_BGCOLOR,
    ATTR_TEXT_POINT_SIZE,
    ATTR_LABEL_TEXT,
    ATTR_CTRL_MODE,           // VAL_HOT or VAL_INDICATOR
    ATTR_WIDTH,
    ATTR_HEIGHT,
    ATTR_TOP,
    ATTR_LEFT,
    ATTR_CALLBACK_FUNCTION_POINTER,
    ATTR_CTRL_TAB_POSITION,
    ATTR_ZPLANE_POSITION,     // 0 = front; a large value sends a control behind the others
    ATTR_NUM_ITEMS,           // rings: number of items (read only)
    ATTR_CTRL_INDEX,          // rings: index of the current item
    ATTR_MAX_ENTRY_LENGTH,    // strings: most characters a person can type (0: no limit)
    ATTR_LABEL_POSITION,      // VAL_LABEL_AUTO (above; left when no room above), _ABOVE, _LEFT, _RIGHT

    // Panel attributes (SetPanelAttribute / GetPanelAttribute).
    ATTR_TITLE = 100,
    ATTR_BACKCOLOR,
    ATTR_CLOSE_CTRL,          // control whose commit the close box sends
    ATTR_PANEL_PARENT,
    ATTR_PANEL_FIRST_CTRL,

    // Menu bar attributes (SetMenuBarAttribute / GetMenuBarAttribute).
    ATTR_ITEM_NAME = 150,     // label of a menu or item ("" for a separator)
    ATTR_MENU_DIMMED,
    ATTR_IS_SEPARATOR,

    // System attributes.
    ATTR_RESOLUTION_ADJUSTMENT = 200,
    ATTR_PRIMARY_MONITOR,
    ATTR_SYSTEM_MONITOR_WIDTH,
    ATTR_SYSTEM_MONITOR_HEIGHT,

    // Pop-up look (SetSystemPopupsAttribute); the only code the program sets.
    ATTR_SYSTEM_POPUPS_LOOK = 1850
};

enum { VAL_HOT = 0, VAL_INDICATOR = 1 };
enum { VAL_LABEL_AUTO = 0, VAL_LABEL_ABOVE, VAL_LABEL_LEFT, VAL_LABEL_RIGHT };

// Events.
enum {
    EVENT_NONE = 0,
    EVENT_COMMIT = 2,
    EVENT_VAL_CHANGED = 3,
    EVENT_CLOSE = 4
};

// FileSelectPopup buttons and results.
enum { VAL_OK_BUTTON = 0, VAL_SAVE_BUTTON = 1, VAL_SELECT_BUTTON = 2, VAL_LOAD_BUTTON = 3 };
enum { VAL_NO_FILE_SELECTED = 0, VAL_EXISTING_FILE_SELECTED = 1, VAL_NEW_FILE_SELECTED = 2 };

// CheckForDuplicateAppInstance mode.
enum { DO_NOT_ACTIVATE_OTHER_INSTANCE = 0, ACTIVATE_OTHER_INSTANCE = 1 };

// TCP server events.
enum { TCP_CONNECT = 1, TCP_DISCONNECT = 2, TCP_DATAREADY = 3 };

// Colours: 0xRRGGBB.
constexpr int MakeColor(int r, int g, int b) { return (r << 16) | (g << 8) | b; }
enum : int {
    VAL_BLACK = 0x000000,
    VAL_WHITE = 0xFFFFFF,
    VAL_RED = 0xFF0000,
    VAL_GREEN = 0x00FF00,
    VAL_DK_GREEN = 0x008000,
    VAL_BLUE = 0x0000FF,
    VAL_YELLOW = 0xFFFF00,
    VAL_LT_GRAY = 0xCCCCCC,
    VAL_GRAY = 0xA0A0A0,
    VAL_DK_GRAY = 0x808080,
    VAL_OFFWHITE = 0xE0E0E0,
    VAL_PANEL_GRAY = 0xC0C0C0,
    VAL_TRANSPARENT = 0x1000000
};

constexpr int MAX_PATHNAME_LEN = 260;

// Error codes returned by the calls (negative).
enum {
    UIENoError = 0,
    UIEInvalidPanel = -1,
    UIEInvalidControl = -2,
    UIEInvalidAttribute = -3,
    UIEInvalidValue = -4,
    UIEOutOfMemory = -12,
    UIEInvalidMenu = -20,
    UIEInvalidMenuItem = -21,
    UIETCPFailed = -30
};

// Errors of the TCP server calls (negative).
enum {
    TCPETimeOut = -11,        // nothing arrived, or not everything went out, in time
    TCPEInvalidHandle = -13,  // no such connection (never was, or already forgotten)
    TCPEReadFailed = -14,     // the connection is closed or broken: nothing more to read
    TCPEWriteFailed = -15     // the connection is closed or broken: nothing can be sent
};

// ---------------------------------------------------------------- callbacks

typedef int (*CtrlCallbackPtr)(int panel, int control, int event, void *callbackData,
                               int eventData1, int eventData2);
typedef void (*MenuCallbackPtr)(int menuBar, int menuItem, void *callbackData, int panel);
typedef int (*tcpFuncPtr)(unsigned handle, int xType, int errCode, void *callbackData);

// ---------------------------------------------------------------- panels

int NewPanel(int parent, const char *title, int top, int left, int height, int width);
int DiscardPanel(int panel);
int DisplayPanel(int panel);
int HidePanel(int panel);
int SetPanelPos(int panel, int top, int left);
int SetPanelSize(int panel, int height, int width);
int SetPanelAttribute(int panel, int attr, int value);
int SetPanelAttribute(int panel, int attr, const char *value);
int GetPanelAttribute(int panel, int attr, int *value);
int GetPanelAttribute(int panel, int attr, char *value);

// ---------------------------------------------------------------- controls

int NewCtrl(int panel, int kind, const char *label, int top, int left);
int SetCtrlAttribute(int panel, int ctrl, int attr, int value);
int SetCtrlAttribute(int panel, int ctrl, int attr, double value);
int SetCtrlAttribute(int panel, int ctrl, int attr, const char *value);
int SetCtrlAttribute(int panel, int ctrl, int attr, CtrlCallbackPtr cb);
int GetCtrlAttribute(int panel, int ctrl, int attr, int *value);
int GetCtrlAttribute(int panel, int ctrl, int attr, double *value);
int GetCtrlAttribute(int panel, int ctrl, int attr, char *value);
int InstallCtrlCallback(int panel, int ctrl, CtrlCallbackPtr cb, void *callbackData);

// Ring items: index -1 appends.  The value's type follows the ring's data type.
int InsertListItem(int panel, int ctrl, int index, const char *label, int value);
int InsertListItem(int panel, int ctrl, int index, const char *label, double value);
int InsertListItem(int panel, int ctrl, int index, const char *label, const char *value);
int ClearListCtrl(int panel, int ctrl);
int GetNumListItems(int panel, int ctrl, int *count);
int GetLabelFromIndex(int panel, int ctrl, int index, char *label);
int GetValueFromIndex(int panel, int ctrl, int index, int *value);
int GetValueFromIndex(int panel, int ctrl, int index, double *value);
int GetValueFromIndex(int panel, int ctrl, int index, char *value);
int GetCtrlIndex(int panel, int ctrl, int *index);
int SetCtrlIndex(int panel, int ctrl, int index);

// Values.  Setting a value never calls the control's callback.  A ring takes
// the value of one of its items; a numeric clamps to its range and keeps the
// value whole (the precision only rounds what is shown).  A command button's
// value becomes 1 when a person presses it and stays so until the program
// sets it back to 0 (a long operation polls its Abort button this way).
int SetCtrlVal(int panel, int ctrl, int value);
int SetCtrlVal(int panel, int ctrl, double value);
int SetCtrlVal(int panel, int ctrl, const char *value);
int GetCtrlVal(int panel, int ctrl, int *value);
int GetCtrlVal(int panel, int ctrl, float *value);
int GetCtrlVal(int panel, int ctrl, double *value);
int GetCtrlVal(int panel, int ctrl, char *value);
int DefaultCtrl(int panel, int ctrl);

// ---------------------------------------------------------------- menus

int NewMenuBar(int panel);
int NewMenu(int menuBar, const char *name, int before);
int NewMenuItem(int menuBar, int menu, const char *name, int before, int shortcut,
                MenuCallbackPtr cb, void *callbackData);
int InsertSeparator(int menuBar, int menu, int before);
int SetMenuBarAttribute(int menuBar, int item, int attr, int value);
int GetMenuBarAttribute(int menuBar, int item, int attr, int *value);
int GetMenuBarAttribute(int menuBar, int item, int attr, char *value);

// ---------------------------------------------------------------- event loop

// RunUserInterface returns the result given to QuitUserInterface.  A quit
// asked for while no loop runs makes the next RunUserInterface return at once.
int RunUserInterface();
int QuitUserInterface(int result);
// SIGTERM, SIGINT and SIGHUP (a desktop session ending, Ctrl-C in a terminal)
// end the program whatever is open, so that the shutdown after the event loop
// still runs: the first one calls RequestQuit; a second one ends the process
// at once with 128 + the signal's number.  stopRunning is the program's part:
// it asks whatever runs to stop through its own abort path.
int QuitOnTerminationSignals(void (*stopRunning)());
// Closes every pop-up as if cancelled, calls stopRunning, and ends the event
// loop.  Until the process ends, every pop-up returns at once as if cancelled
// (nothing new waits for a person), and stopRunning runs again after every
// ProcessDrawEvents and ProcessSystemEvents, since an operation may clear its
// abort request when it enters a new stage.
void RequestQuit();
int QuitRequested();
int ProcessDrawEvents();
int ProcessSystemEvents();

// ---------------------------------------------------------------- pop-ups

int MessagePopup(const char *title, const char *message);
// A note that does not wait for the person: the call returns at once, the
// window takes no focus and closes itself after a few seconds.  For news that
// comes from outside (a network peer) and must never stop the program.
int NotePopup(const char *title, const char *message);
int FileSelectPopup(const char *defaultDir, const char *defaultSpec, const char *typeList,
                    const char *title, int button, int restrictDir, int restrictExt,
                    int allowCancel, int allowMakeDir, char *path);
int YGraphPopup(const char *title, const void *values, int count, int dataType);
int SetSystemPopupsAttribute(int attr, int value);
void CVI_Beep();

// ---------------------------------------------------------------- TCP server

// Events reach the callback on the UI thread, one at a time: never while a
// callback, ServerTCPRead or ServerTCPWrite is still running.  Handles are
// never 0 and never reused.  A time-out of 0 means 5 seconds: nothing waits
// forever.  A write that times out ends the connection, since part of the
// bytes may have gone out; the callback then hears of the disconnect.  Once
// the program is to end (RequestQuit, a termination signal) a write that
// would have to wait for the client ends it the same way, at once.
// Every call on the handle of a client that has gone returns a negative code.
int RegisterTCPServer(unsigned port, tcpFuncPtr cb, void *callbackData);
int UnregisterTCPServer(unsigned port);
// What is there (at most size bytes), waiting up to the time-out for the first.
int ServerTCPRead(unsigned handle, void *buffer, size_t size, unsigned timeoutMs);
int ServerTCPWrite(unsigned handle, const void *buffer, size_t size, unsigned timeoutMs);
int DisconnectTCPClient(unsigned handle);
bool TCPClientConnected(unsigned handle);

// ---------------------------------------------------------------- utilities

int CheckForDuplicateAppInstance(int mode, int *otherInstanceRunning);
int GetModuleDir(char *dir);
int GetProgramPath(char *path);
int SetDir(const char *dir);
int SplitPath(const char *path, char *drive, char *dir, char *file);
int GetFileAttrs(const char *path, int *readOnly, int *system, int *hidden, int *archive);
int LaunchExecutable(const char *commandLine);
int OpenDocument(const char *path);   // in the desktop's viewer (the manual in the browser)
void StringLowerCase(char *text);
int FindPattern(const char *buffer, int start, int count, const char *pattern, int caseSensitive,
                int fromRight);
double Timer();
int CVI_GetFileSize(const char *path, long *size);
int GetSystemAttribute(int attr, int *value);
int SetSystemAttribute(int attr, int value);
int GetMonitorFromPanel(int panel, int *monitor);
int GetMonitorAttribute(int monitor, int attr, int *value);
int GetUserConfigDir(char *dir);      // where per-user settings lie when the program directory is read-only

// Must be called once before any other call (creates the application object).
void InitUserInterface(int &argc, char **argv);

// ---------------------------------------------------------------- tests

// Tests drive the panels as a person would and script the pop-ups, so that
// no test ever blocks on a dialog.  A test that starts the whole program as a
// process drives it with KALMIRA_TEST_ACTIONS instead (testactions.cpp).
namespace ui_test {

// Pop-ups stop being modal: MessagePopup and YGraphPopup are recorded and
// return at once; FileSelectPopup answers from the queue (empty: nothing chosen).
void SetScripted(bool on);
void QueueFileSelect(int result, const std::string &path);

struct Popup {
    std::string kind;     // "message", "note", "file", "graph", "beep"
    std::string title;
    std::string text;     // message text, or the file dialog's default file pattern
    int count = 0;        // graph: number of points
    std::vector<double> values;  // graph: the points
};
const std::vector<Popup> &Popups();
void ClearPopups();

// A user action: the control takes the value (or is pressed) and its callback
// receives EVENT_COMMIT.  Dimmed or hidden controls refuse, as for a person:
// the result is then negative and no callback runs.
int UserSetVal(int panel, int ctrl, int value);
int UserSetVal(int panel, int ctrl, double value);
int UserSetVal(int panel, int ctrl, const char *value);
int UserClick(int panel, int ctrl);
int UserMenu(int menuBar, int item);
int UserClosePanel(int panel);           // the close box

// Runs fn once the event loop is running (for Quit paths and long operations).
void Post(std::function<void()> fn, int delayMs = 0);

// Forgets a RequestQuit, so that the next test has pop-ups again.
void ClearQuitRequest();

// Geometry as the toolkit placed it (screen pixels for top-level panels).
int PanelVisible(int panel);
std::string CtrlKindName(int panel, int ctrl);
int CtrlCount(int panel);                 // identifiers run from 2 to CtrlCount + 1
void *PanelWidget(int panel);             // QWidget*, for screenshots in tests
int PaintCount(int panel);                // times the panel's area was drawn

// GetModuleDir (and so the program's own configuration file) answers this
// folder from now on; "" gives the program's real folder back.  Tests keep
// their settings away from those of the built program this way.
void SetModuleDir(const std::string &dir);

}  // namespace ui_test
