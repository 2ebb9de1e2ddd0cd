// Actions of the main panel's controls.
#include "shell/globals.h"
#include "shell/mainpanel.h"
#include "userint.h"

int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == RN_QUIT)
        QuitUserInterface(0);
    return 0;
}
