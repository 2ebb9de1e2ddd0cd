// VmFunLib: the maker's small support library.
#pragma once

// Application name from the program path: its base name without extension,
// NUL-terminated, fewer than 100 bytes.
int GetAppNam(const char *programPath, char *name);

// Tells the remote client on conversation `handle` the data state: a 20-byte
// state message (int32 3, int32 newState, int32 count, float64 rate, all
// little-endian).  Does nothing when no client has connected (handle 0) or the
// client has gone.
int UpdTesAll(int handle, int newState, double rate, int count);

// Modal error message with title and text; the status is shown below the text.
int ErrMsgPop(int status, const char *title, const char *message);
