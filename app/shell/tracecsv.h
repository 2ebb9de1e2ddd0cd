// Export of a spectrum trace as text: one "x,value" line per point.
#pragma once

#include "graphpopup.h"

#include <cstdint>
#include <string>

// Writes points [first, last) of the trace to path, safely (safewrite.h):
// a header line naming the columns ("bin,magnitude", "frequency_Hz,level_dB",
// ...), then each point's x and value in the shortest form that reads back
// as the same double.  Returns "" or the reason it failed.
std::string WriteTraceCsv(const GraphTrace &trace, int64_t first, int64_t last, const std::string &path,
                          GraphProgress &progress);
