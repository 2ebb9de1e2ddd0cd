#include "signal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kalsim {

std::string_view TextStream::peek(size_t max) { return std::string_view(text_).substr(pos_, max); }

namespace {

// A paced sender lets bytes out in steps of this size, so that a slow rate
// does not wake the event loop for every few bytes.
constexpr double kPaceStep = 65536;

class PacedStream : public Stream {
public:
    PacedStream(std::unique_ptr<Stream> inner, Clock::time_point start, double rate)
        : inner_(std::move(inner)), start_(start), rate_(rate) {}

    std::string_view peek(size_t max) override {
        if (rate_ > 0) {
            const double allowed = std::chrono::duration<double>(Clock::now() - start_).count() * rate_ - sent_;
            max = std::min(max, size_t(std::max(allowed, 1.0)));
        }
        return inner_->peek(max);
    }

    void advance(size_t n) override {
        inner_->advance(n);
        sent_ += double(n);
    }

    Clock::time_point readyAt() const override {
        if (rate_ <= 0) return start_;
        return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>((sent_ + kPaceStep) / rate_));
    }

    AfterStream after() const override { return inner_->after(); }

private:
    std::unique_ptr<Stream> inner_;
    Clock::time_point start_;
    double rate_;
    double sent_ = 0;
};

constexpr int kNoiseLen = 1 << 16;
// Samples after which tone (period kTonePeriod / kToneBin) and noise (two
// channels interleaved in the noise table) both repeat.
constexpr int64_t kPattern = kNoiseLen / 2;
// Periods a prepared channel holds beyond the first: 16 periods are 2 MiB
// in a row from any sample on, the size of the Jasper's blocks.
constexpr int64_t kPatternRepeats = 16;

struct Tables {
    float cosTab[kTonePeriod];
    float sinTab[kTonePeriod];
    float noise[kNoiseLen];
    Tables() {
        for (int i = 0; i < kTonePeriod; ++i) {
            double ph = 2.0 * M_PI * i / kTonePeriod;
            cosTab[i] = float(std::cos(ph));
            sinTab[i] = float(std::sin(ph));
        }
        uint32_t x = 0x9E3779B9u;  // fixed seed: the same trace every run
        for (float &v : noise) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            v = float(x / 4294967295.0 * 2.0 - 1.0);
        }
    }
};

const Tables &tables() {
    static const Tables t;
    return t;
}

// One float of channel c, sample n, at full scale 1.0.
inline float unitSample(const Tables &t, int c, int64_t n) {
    int ph = int((n * kToneBin) & (kTonePeriod - 1));
    float tone = c == 0 ? t.cosTab[ph] : t.sinTab[ph];
    float nz = t.noise[(n * 2 + c) & (kNoiseLen - 1)];
    return float(kToneLevel) * tone + float(kNoiseLevel) * nz;
}

}  // namespace

PreparedSignal::PreparedSignal(double fullScale) : fullScale_(fullScale) {
    const Tables &t = tables();
    for (int ch = 0; ch < 2; ++ch) {
        std::vector<float> &v = channel_[ch];
        v.resize(size_t(kPattern * (kPatternRepeats + 1)));
        for (int64_t n = 0; n < kPattern; ++n) v[size_t(n)] = unitSample(t, ch, n) * float(fullScale);
        for (size_t k = size_t(kPattern); k < v.size(); k += size_t(kPattern))
            std::copy_n(v.begin(), kPattern, v.begin() + ptrdiff_t(k));
    }
}

std::string_view PreparedSignal::bytesFrom(int c, int64_t n, int off) const {
    const std::vector<float> &v = channel_[c];
    const size_t at = size_t(n % kPattern) * sizeof(float) + size_t(off);
    return std::string_view(reinterpret_cast<const char *>(v.data()), v.size() * sizeof(float)).substr(at);
}

namespace {

class BlockStream : public Stream {
public:
    explicit BlockStream(const BlockShape &s) : shape_(s) {
        int64_t bytes = s.count * 8;
        if (s.fault == BlockFault::OddCount) bytes = std::max<int64_t>(bytes - 3, 1);
        std::string len = std::to_string(bytes);
        if (s.fault == BlockFault::BadHeader) head_ = "#X" + len;
        else if (s.fault == BlockFault::HugeCount) head_ = "#9999999999";
        else head_ = "#" + std::to_string(len.size()) + len;
        sendBytes_ = bytes;
        if (s.fault == BlockFault::Drop || s.fault == BlockFault::Short) sendBytes_ = bytes / 2;
        tail_ = s.fault == BlockFault::Drop ? "" : "\n";
    }

    std::string_view peek(size_t max) override {
        if (headPos_ < head_.size()) return std::string_view(head_).substr(headPos_, max);
        if (dataPos_ < sendBytes_) return dataFrom(max);
        return std::string_view(tail_).substr(tailPos_, max);
    }

    void advance(size_t n) override {
        if (headPos_ < head_.size()) headPos_ += n;
        else if (dataPos_ < sendBytes_) dataPos_ += int64_t(n);
        else tailPos_ += n;
    }

    AfterStream after() const override {
        return shape_.fault == BlockFault::Drop ? AfterStream::Drop : AfterStream::Continue;
    }

private:
    // Which channel and sample the float at index f of the data belongs to,
    // and how many floats of that channel follow in a row from there.
    void locate(int64_t f, int &c, int64_t &n, int64_t &runLeft) const {
        const int64_t N = shape_.count;
        if (!shape_.chunked) {
            c = f < N ? 0 : 1;
            n = f - c * N;
            runLeft = (c + 1) * N - f;
            return;
        }
        int64_t full = N / kJasperChunk, head = 2 * full * kJasperChunk;
        if (f < head) {
            int64_t blk = f / kJasperChunk;
            c = int(blk % 2);
            n = (blk / 2) * kJasperChunk + f % kJasperChunk;
            runLeft = kJasperChunk - f % kJasperChunk;
            return;
        }
        int64_t r = N - full * kJasperChunk, g = f - head;
        c = g < r ? 0 : 1;
        n = full * kJasperChunk + g - c * r;
        runLeft = (c + 1) * r - g;
    }

    // The data bytes from dataPos_ on, up to the end of the channel's run
    // (or of what is sent): a view into the prepared signal.  A float cut by
    // a short write or a damaged count is no special case at byte level.
    std::string_view dataFrom(size_t max) const {
        int c;
        int64_t n, runLeft;
        locate(dataPos_ / 4, c, n, runLeft);
        const int off = int(dataPos_ % 4);
        const int64_t left = std::min(runLeft * 4 - off, sendBytes_ - dataPos_);
        std::string_view v = shape_.signal->bytesFrom(c, n, off);
        return v.substr(0, size_t(std::min<int64_t>(left, int64_t(std::min(max, v.size())))));
    }

    BlockShape shape_;
    std::string head_, tail_;
    size_t headPos_ = 0, tailPos_ = 0;
    int64_t sendBytes_ = 0, dataPos_ = 0;
};

}  // namespace

std::unique_ptr<Stream> makeBlockStream(const BlockShape &shape) { return std::make_unique<BlockStream>(shape); }

std::unique_ptr<Stream> pace(std::unique_ptr<Stream> inner, Clock::time_point start, double bytesPerSec) {
    return std::make_unique<PacedStream>(std::move(inner), start, bytesPerSec);
}

}  // namespace kalsim
