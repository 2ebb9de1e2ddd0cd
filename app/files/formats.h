// The program's view of the format table: one row per format index 0..23.
// The rows come from VmKalLib's table, the one place that names the formats.
#pragma once

#include "VmKalLib.h"

struct FmtRow {
    int Files;          // 1: I and Q in one file, 2: one file per channel
    const char *Pat1;   // dialog pattern of the only or the I file
    const char *Pat2;   // pattern of the Q file, "" for one-file formats
};

class FormatTable {
public:
    // Row of a format index; an index outside 0..23 gives an empty one-file row.
    FmtRow operator[](int typ) const;
};

extern const FormatTable t;

// True when the format index has a writer.
bool CanSave(int typ);

// True for the formats whose samples are 16-bit integer words (WAV and the
// generator's UInt16 words): their full scale is 32768, not 1.0.
bool IntegerWordFormat(int typ);
