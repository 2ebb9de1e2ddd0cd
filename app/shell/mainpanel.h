// The main panel "Kalmira": I/Q source switch, TCP port, lamps, Spectrum, Quit.
#pragma once

#include "state/panelids.h"

int BuildRN(int parent);
int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
