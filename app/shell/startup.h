// Start-up and shutdown of the program.
#pragma once

// Builds every panel in its order and stores the handles; returns 0, or -1
// when a builder fails (nothing is shown then).
int BuildPanels();

// The program: refuses a second copy, builds the panels, runs the event loop
// and shuts down.  Returns 0 after a normal run or when another copy runs,
// -1 when a panel cannot be built.
int KalMain(int argc, char **argv);
