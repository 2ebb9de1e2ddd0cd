// The copying of analyzer settings between the five settings panels and the
// acquisition globals.
#pragma once

// Panels to globals: hides the five settings panels; in analyzer mode reads
// the interface, shows the current model's panel and reads its settings
// (the Agate's sample count is computed from rate and record length); in
// file mode takes the sample count from the Load panel.
void UpdVar();

// Globals to panels: shows the current model's settings panel and writes the
// settings into it (the Agate's record length cut to the longest record the
// instrument keeps), then sets the Jasper's baseband dimming.
void UpdPnl();

// The sample count the model's settings panel shows: what the next capture
// asks for.  The Agate's follows its rate and record length.
int PanelCount(int typ);
