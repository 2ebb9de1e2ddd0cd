// Helpers for the panel builders: every builder stops at the first toolkit
// call that fails and returns its (negative) error code.
#pragma once

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

// Rescales a panel built for a 1280 x 996 screen by the toolkit's
// resolution-adjustment percentage.  Returns 0 or a negative error code.
int ScalePanel(int panel);
