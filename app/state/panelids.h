// Control identifiers of the main panel that every area reads or sets: the
// lamps, the Spectrum button and the source switch.  The main panel itself is
// built by the shell; these are filled in as it creates the controls.
#pragma once

extern int RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT, RN_DECORATION, RN_SPEC;

// Lamp colours shared by the main panel's two lamps.
constexpr int kLampOff = 0xFF4500;  // red-orange
constexpr int kLampOn = 0x00C000;   // green
