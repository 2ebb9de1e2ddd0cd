// I/Q-source modes and the main panel's actions.
#pragma once

#include "instrument/settingsvars.h"

// Shows the panels of the mode (non-zero: analyzer) and refreshes dimming,
// the "Data Valid" lamp, the sample count and the remote client.
void DspMode(int analyzer);

// Sets everything that follows the data state from the globals: the "Data
// Valid" lamp, Spectrum, the Load panel's count and buttons, "Save IQ" and
// "Append", and the trace panel's address field of the other interface.
void ShowDataState();

// The server and its client leave oldPort; the server listens on TcpPrt.  A
// port that cannot be opened leaves the program without a server until the
// next change.
void MoveServer(int oldPort);

// Callback of the main panel's source switch, port, Quit and Spectrum.
int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Quit, the close box and the menu's Quit: whatever runs is stopped as by
// Abort, then the event loop ends and the shutdown follows.
void QuitProgram();
