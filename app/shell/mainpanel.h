// The main panel "Kalmira": I/Q source switch, TCP port, lamps, Spectrum, Quit.
#pragma once

extern int RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT, RN_DECORATION, RN_SPEC;

// Lamp colours shared by the main panel's two lamps.
constexpr int kLampOff = 0xFF4500;  // red-orange
constexpr int kLampOn = 0x00C000;   // green

int BuildRN(int parent);
int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
