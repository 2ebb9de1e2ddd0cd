// Sends the loaded 16-bit words of `s` to the Topaz generator and starts it.
#pragma once

#include <string>

// Returns 0, the VISA status of the step that failed, TOPAZ_ERR_NODATA
// unless TopazDataHeld(), or TOPAZ_ERR_RANGE when a sample is not a 16-bit
// word (nothing is sent in either case).
int TransmitUInt16(int adr);

constexpr int TOPAZ_ERR_RANGE = -1;
constexpr int TOPAZ_ERR_NODATA = -2;

// The format of 16-bit generator words, one file per channel.
constexpr int kUInt16Format = 20;

// Valid words of that format, at least one sample: the only data the
// generator is given (an empty waveform would replace the one it plays).
bool TopazDataHeld();

// Index of the first sample (I or Q) outside -32768..65535, or -1.
long FirstSampleOutOfRange();
