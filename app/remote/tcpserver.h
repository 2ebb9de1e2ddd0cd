// The TCP remote-control server: identity, data state and the current I/Q
// data for a client program.
#pragma once

// Callback of the toolkit's TCP server (connect 1, disconnect 2, data ready 3).
int cbTCPServer(unsigned handle, int event, int error, void *callbackData);
