// The I/Q block an analyzer answers to "TRAC:IQ:DATA?": a definite-length
// block of little-endian float32 samples of a tone plus noise, in the
// model's layout, optionally damaged on purpose.
#pragma once

#include "stream.h"

#include <cstdint>
#include <memory>

namespace kalsim {

// Sample pairs per block in the Jasper's alternating layout.
constexpr int64_t kJasperChunk = 524288;

// The tone sits this fraction of the sample rate above the centre.
constexpr int kToneBin = 256;
constexpr int kTonePeriod = 4096;
// Tone and noise amplitude relative to the full-scale value.
constexpr double kToneLevel = 0.9;
constexpr double kNoiseLevel = 0.01;

enum class BlockFault { None, Drop, Short, BadHeader, OddCount, HugeCount };

struct BlockShape {
    int64_t count = 0;      // sample pairs
    bool chunked = false;   // alternating 524288-pair I and Q blocks
    double fullScale = 1.0; // the value that the program's divisor maps to 1.0
    BlockFault fault = BlockFault::None;
};

std::unique_ptr<Stream> makeBlockStream(const BlockShape &shape);

}  // namespace kalsim
