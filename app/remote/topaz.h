// Sends the loaded 16-bit words of `s` to the Topaz generator and starts it.
#pragma once

#include <string>

// Returns 0, the VISA status of the step that failed, or TOPAZ_ERR_RANGE
// when a sample is not a 16-bit word (nothing is sent then).
int TransmitUInt16(int adr);

constexpr int TOPAZ_ERR_RANGE = -1;

// Index of the first sample (I or Q) outside -32768..65535, or -1.
long FirstSampleOutOfRange();
