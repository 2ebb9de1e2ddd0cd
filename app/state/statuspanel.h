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
