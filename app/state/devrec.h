// The instrument: which analyzer, how it is reached, and its open session.
#pragma once

#include <cstdint>

// Analyzer model codes (values of the trace panel's "Device Type" ring).
enum { DEV_AGATE = 1, DEV_BERYL = 2, DEV_CORAL = 3, DEV_JASPER = 4, DEV_ONYX = 5 };

// Interface codes.
enum { IFT_GPIB = 0, IFT_LAN = 1 };

struct DevRec {
    int32_t Pad;   // GPIB primary address 0..31
    int32_t Typ;   // model code 1..5
    uint32_t Vi;   // open VISA session, 0 when none is open
    int32_t Ift;   // 0 GPIB, 1 LAN
    char Ipa[20];  // LAN address as typed
};
