// The I/Q block an analyzer answers to "TRAC:IQ:DATA?": a definite-length
// block of little-endian float32 samples of a tone plus noise, in the
// model's layout, optionally damaged on purpose.
#pragma once

#include "stream.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

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

// The floats of both channels at one full scale, made once per setting.
// Tone and noise repeat after a period of samples; each channel holds that
// period repeated, long enough that from any sample on at least a few MiB
// follow, so every run of a block is a view into it and goes to the socket
// in large writes.
class PreparedSignal {
public:
    explicit PreparedSignal(double fullScale);
    double fullScale() const { return fullScale_; }
    // Channel c (0 = I, 1 = Q) as it goes on the wire, from byte `off` of
    // sample n's float on: a few MiB of samples n, n + 1, ...
    std::string_view bytesFrom(int c, int64_t n, int off) const;

private:
    double fullScale_;
    std::vector<float> channel_[2];
};

struct BlockShape {
    int64_t count = 0;      // sample pairs
    bool chunked = false;   // alternating 524288-pair I and Q blocks
    std::shared_ptr<const PreparedSignal> signal;  // at the full scale the program's divisor maps to 1.0
    BlockFault fault = BlockFault::None;
};

std::unique_ptr<Stream> makeBlockStream(const BlockShape &shape);

}  // namespace kalsim
