// WAV (RIFF) files.  SaveWav writes 16-bit stereo PCM with I on the left and
// Q on the right channel, behind this 44-byte header:
//
//    0 "RIFF"   4 int32 8*Len+36   8 "WAVE"   12 "fmt "   16 int32 16
//   20 int16 1 (PCM)   22 int16 2 (channels)   24 int32 rate   28 int32 rate*4
//   32 int16 4 (bytes per frame)   34 int16 16 (bits)   36 "data"   40 int32 8*Len
//
// The size fields count 8 bytes per sample although 4 follow; LoadWav derives
// Len as 2 * data size / bits, which gives back Len for our own files and
// half the frames of a standard file.  Both stay that way because files
// written so far and the programs that read them depend on it.
#include "samples.h"

#include <climits>

using namespace iqs;

namespace {

constexpr int kHdr = 44;

bool HeaderAccepted(const unsigned char *h)
{
    static const unsigned char kFactTail[4] = {0x00, 0x00, 0x66, 0x61};
    return std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WAVE", 4) == 0 &&
           std::memcmp(h + 12, "fmt ", 4) == 0 && GetU16LE(h + 20) == 1 &&
           (std::memcmp(h + 36, "data", 4) == 0 || std::memcmp(h + 36, kFactTail, 4) == 0);
}

int ReadWav(InFile &f, IqRec *rec)
{
    unsigned char h[kHdr];
    if (fread(h, 1, kHdr, f.fp) != kHdr || !HeaderAccepted(h))
        return IQ_ERR_WAV;
    // Only stereo is I/Q; 8-bit frames are 2 bytes, 16-bit frames 4 bytes.
    unsigned bits = GetU16LE(h + 34), channels = GetU16LE(h + 22);
    if (channels != 2 || (bits != 8 && bits != 16))
        return IQ_ERR_WAV;
    long long start = (long long)GetU32LE(h + 16) + 28;
    long long n = 2LL * GetU32LE(h + 40) / bits, frame = bits / 4;
    if (start > f.size || n > INT_MAX || n * frame > f.size - start)
        return IQ_ERR_FORMAT;
    if (fseek(f.fp, long(start), SEEK_SET) != 0)
        return IQ_ERR_FORMAT;
    rec->Len = int(n);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    Enc e = bits == 16 ? Enc::I16LE : Enc::U8; // 8-bit values keep their 128 offset
    return ReadPairs(f.fp, size_t(n), e, rec->I, rec->Q);
}

// 65535.9 / (max - min) of one channel, or 0 when all its values are equal
// (or there are none): such a channel says nothing about the range to use.
double ChannelScale(const float *x, size_t n)
{
    if (n == 0)
        return 0;
    float lo = x[0], hi = x[0];
    for (size_t k = 1; k < n; k++) {
        lo = x[k] < lo ? x[k] : lo;
        hi = x[k] > hi ? x[k] : hi;
    }
    double range = double(hi) - double(lo);
    return range > 0 ? 65535.9 / range : 0;
}

void PutHeader(unsigned char *h, const IqRec &rec)
{
    size_t n = size_t(rec.Len);
    std::memcpy(h, "RIFF", 4);
    PutU32LE(h + 4, uint32_t(8 * n + 36));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32LE(h + 16, 16);
    PutU16LE(h + 20, 1);
    PutU16LE(h + 22, 2);
    PutI32LE(h + 24, SatI32(rec.Rat));
    PutI32LE(h + 28, SatI32(double(rec.Rat) * 4));
    PutU16LE(h + 32, 4);
    PutU16LE(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    PutU32LE(h + 40, uint32_t(8 * n));
}

} // namespace

extern "C" int LoadWav(IqRec *rec)
{
    return LoadFile(rec, ReadWav);
}

extern "C" int SaveWav(IqRec rec)
{
    if (8LL * rec.Len + 36 > UINT32_MAX)
        return -1;
    return SaveFile(rec, [&rec](SafeOut &out) {
        size_t n = size_t(rec.Len);
        // The larger of the two scales: the wider channel may then exceed the
        // 16-bit range, and saturates there.
        double si = ChannelScale(rec.I, n), sq = ChannelScale(rec.Q, n);
        double scale = si > sq ? si : sq;
        if (scale == 0)
            scale = 1;
        unsigned char h[kHdr];
        PutHeader(h, rec);
        return out.write(h, kHdr) && WritePairs(out, Enc::I16LE, rec.I, rec.Q, n, scale);
    });
}
