// The Status panel (progress text of long operations, Abort button) and the
// Transfer panel (percentage bar of the remote data transfer).
#pragma once

extern int ST_MSG, ST_ABO;
extern int DT_TRANSF;

int BuildST(int parent);
int BuildDT(int parent);

// Shows text on the Status panel, 150 below and 200 right of the main panel's
// top-left corner, and brings it to the front.  The caller hides it again.
void DspTxtPnl(const char *text);

// The Abort button: asks a running load or append read to stop (the
// library's flag); a capture looks at the button itself.
int cbAbort(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Presses Abort from the program: a quit, or Stop Meas during a capture.
void AbortRunning();
