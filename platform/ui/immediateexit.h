// What must still happen when a second termination signal ends the process
// at once, skipping the shutdown (see QuitOnTerminationSignals).
#pragma once

// lastWords runs in the signal handler just before the process ends, so it
// must be async-signal-safe; nullptr removes it.
void AtImmediateExit(void (*lastWords)());
