// I/Q-source modes, the main panel's actions and the copying of analyzer
// settings between the settings panels and the acquisition globals.
#pragma once

// Shows the panels of the mode (non-zero: analyzer) and refreshes dimming,
// the "Data Valid" lamp, the sample count and the remote client.
void DspMode(int analyzer);

// Panels to globals: hides the five settings panels; in analyzer mode reads
// the interface, shows the current model's panel and reads its settings
// (the Agate's sample count is computed from rate and record length); in
// file mode takes the sample count from the Load panel.
void UpdVar();

// Globals to panels: shows the current model's settings panel and writes the
// settings into it (the Agate's record length cut to the longest record the
// instrument keeps), then sets the Jasper's baseband dimming.
void UpdPnl();

// Callback of the main panel's source switch, port, Quit and Spectrum.
int cbRun(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// The Status panel's Abort button: asks a running load to stop.
int cbAbort(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
