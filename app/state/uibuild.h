// Helpers for the panel builders: every builder stops at the first toolkit
// call that fails and returns its (negative) error code.  A builder reads as
// its control table: one call per control, in the order the identifiers are
// handed out, then the callback, the tab order and the scaling.
#pragma once

#include "userint.h"

#include <initializer_list>
#include <vector>

#define UI_TRY(call)                 \
    do {                             \
        int ui_rc_ = (call);         \
        if (ui_rc_ < 0)              \
            return ui_rc_;           \
    } while (0)

// Creates a control and stores its identifier, or returns the error.
#define UI_NEW(id, call)             \
    do {                             \
        (id) = (call);               \
        if ((id) < 0)                \
            return (id);             \
    } while (0)

// Where a control stands on its panel.
struct At {
    int top, left;
};

// A new panel with its background colour; returns the handle or the error.
int NewColoredPanel(int parent, const char *title, int top, int left, int height, int width,
                    int color = VAL_PANEL_GRAY);

// Sets a control's width and, unless 0, its height.
int SizeCtrl(int panel, int ctrl, int width, int height = 0);

// The value side of a numeric control (or of a percentage bar).
struct Numeric {
    int dataType;            // 0: the kind's own
    double min, max, def;
    int precision = -1;      // -1: what the data type leaves
    double incr = 1.0;
    bool indicator = false;
};

// Applies n: data type, indicator mode, range, step, precision, default,
// and shows the default.
int SetNumeric(int panel, int ctrl, const Numeric &n);

// A numeric control of the given width.
int NewNumeric(int panel, int &id, const char *label, At at, int width, const Numeric &n);

// A command button; width and height 0 keep the kind's own size.
int NewButton(int panel, int &id, const char *label, At at, int width = 0, int height = 0,
              int dimmed = 0);

// A string control in indicator mode.
int NewStringIndicator(int panel, int &id, const char *label, At at, int width);

// A text message showing `text`.
int NewTextMsg(int panel, int &id, At at, const char *text);

// A binary switch with its two values and texts, set to `initial`.
struct Switch {
    int width, height;
    int on;
    const char *onText;
    int off;
    const char *offText;
    int initial;
};
int NewSwitch(int panel, int &id, const char *label, At at, const Switch &sw);

// An integer ring with the given items, showing item `defaultIndex`.
struct RingItem {
    const char *label;
    int value;
};
int NewIntRing(int panel, int &id, const char *label, At at, int width,
               const std::vector<RingItem> &items, int defaultIndex);

// Installs one callback on each of the controls.
int InstallCallback(int panel, CtrlCallbackPtr cb, std::initializer_list<int> ctrls);

// Gives the controls tab positions 0, 1, 2, ... in the order listed.
int SetTabOrder(int panel, std::initializer_list<int> ctrls);

// The end of a builder: one callback on the live controls, the tab order,
// then the scaling to the screen.
int FinishPanel(int panel, CtrlCallbackPtr cb, std::initializer_list<int> live,
                std::initializer_list<int> tabOrder);

// What a panel's callback does for one of its controls.
struct CtrlAction {
    int ctrl;
    void (*run)();
};

// Runs the action listed for `control`; other controls do nothing.
void RunCtrlAction(int control, std::initializer_list<CtrlAction> actions);

// Rescales a panel built for a 1280 x 996 screen by the toolkit's
// resolution-adjustment percentage.  Returns 0 or a negative error code.
int ScalePanel(int panel);
