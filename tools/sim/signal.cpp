#include "signal.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace kalsim {

size_t TextStream::next(char *dst, size_t max) {
    size_t n = std::min(max, text_.size() - pos_);
    std::memcpy(dst, text_.data() + pos_, n);
    pos_ += n;
    return n;
}

namespace {

// A paced sender lets bytes out in steps of this size, so that a slow rate
// does not wake the event loop for every few bytes.
constexpr double kPaceStep = 65536;

class PacedStream : public Stream {
public:
    PacedStream(std::unique_ptr<Stream> inner, Clock::time_point start, double rate)
        : inner_(std::move(inner)), start_(start), rate_(rate) {}

    size_t next(char *dst, size_t max) override {
        if (rate_ > 0) {
            const double allowed = std::chrono::duration<double>(Clock::now() - start_).count() * rate_ - sent_;
            max = std::min(max, size_t(std::max(allowed, 1.0)));
        }
        const size_t n = inner_->next(dst, max);
        sent_ += double(n);
        return n;
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

class BlockStream : public Stream {
public:
    explicit BlockStream(const BlockShape &s) : shape_(s) {
        int64_t bytes = s.count * 8;
        if (s.fault == BlockFault::OddCount) bytes = std::max<int64_t>(bytes - 3, 1);
        dataBytes_ = bytes;
        std::string len = std::to_string(bytes);
        if (s.fault == BlockFault::BadHeader) head_ = "#X" + len;
        else if (s.fault == BlockFault::HugeCount) head_ = "#9999999999";
        else head_ = "#" + std::to_string(len.size()) + len;
        sendBytes_ = dataBytes_;
        if (s.fault == BlockFault::Drop || s.fault == BlockFault::Short) sendBytes_ = dataBytes_ / 2;
        tail_ = s.fault == BlockFault::Drop ? "" : "\n";
        // Tone and noise repeat after kPattern samples: one period per
        // channel, scaled once, makes the block a series of copies.
        const Tables &t = tables();
        for (int ch = 0; ch < 2; ++ch) {
            pattern_[ch].resize(kPattern);
            for (int64_t n = 0; n < kPattern; ++n) pattern_[ch][size_t(n)] = unitSample(t, ch, n) * float(s.fullScale);
        }
    }

    size_t next(char *dst, size_t max) override {
        size_t done = 0;
        done += copyText(head_, headPos_, dst, max);
        while (done < max && dataPos_ < sendBytes_) done += fillData(dst + done, max - done);
        if (dataPos_ >= sendBytes_) done += copyText(tail_, tailPos_, dst + done, max - done);
        return done;
    }

    AfterStream after() const override {
        return shape_.fault == BlockFault::Drop ? AfterStream::Drop : AfterStream::Continue;
    }

private:
    static size_t copyText(const std::string &t, size_t &pos, char *dst, size_t max) {
        size_t n = std::min(max, t.size() - pos);
        std::memcpy(dst, t.data() + pos, n);
        pos += n;
        return n;
    }

    // Which channel and sample the float at index f of the data belongs to.
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

    size_t fillData(char *dst, size_t max) {
        int64_t f = dataPos_ / 4;
        int c;
        int64_t n, runLeft;
        locate(f, c, n, runLeft);
        size_t done = 0;
        // Whole floats are copied from the pattern; a float cut by the end of
        // the room or by a cut-off goes through a staging word.
        if (dataPos_ % 4 == 0) {
            int64_t whole = std::min<int64_t>({runLeft, int64_t(max / 4), (sendBytes_ - dataPos_) / 4});
            for (int64_t i = 0; i < whole;) {
                int64_t at = (n + i) % kPattern, k = std::min(whole - i, kPattern - at);
                std::memcpy(dst + 4 * i, &pattern_[c][size_t(at)], size_t(k) * 4);
                i += k;
            }
            done = size_t(whole) * 4;
            dataPos_ += whole * 4;
            n += whole;
            runLeft -= whole;
        }
        while (done < max && dataPos_ < sendBytes_ && runLeft > 0) {
            float v = pattern_[c][size_t(n % kPattern)];
            unsigned char b[4];
            std::memcpy(b, &v, 4);
            int off = int(dataPos_ % 4);
            size_t k = std::min<size_t>({size_t(4 - off), max - done, size_t(sendBytes_ - dataPos_)});
            std::memcpy(dst + done, b + off, k);
            done += k;
            dataPos_ += int64_t(k);
            if (dataPos_ % 4 == 0) {
                ++n;
                --runLeft;
            }
            if (k < size_t(4 - off)) break;
        }
        return done;
    }

    BlockShape shape_;
    std::vector<float> pattern_[2];
    std::string head_, tail_;
    size_t headPos_ = 0, tailPos_ = 0;
    int64_t dataBytes_ = 0, sendBytes_ = 0, dataPos_ = 0;
};

}  // namespace

std::unique_ptr<Stream> makeBlockStream(const BlockShape &shape) { return std::make_unique<BlockStream>(shape); }

std::unique_ptr<Stream> pace(std::unique_ptr<Stream> inner, Clock::time_point start, double bytesPerSec) {
    return std::make_unique<PacedStream>(std::move(inner), start, bytesPerSec);
}

}  // namespace kalsim
