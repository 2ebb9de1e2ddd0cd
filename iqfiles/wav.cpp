// WAV (RIFF) files.  SaveWav writes 16-bit stereo PCM with I on the left and
// Q on the right channel, behind this 44-byte header:
//
//    0 "RIFF"   4 int32 8*Len+36   8 "WAVE"   12 "fmt "   16 int32 16
//   20 int16 1 (PCM)   22 int16 2 (channels)   24 int32 rate   28 int32 rate*4
//   32 int16 4 (bytes per frame)   34 int16 16 (bits)   36 "data"   40 int32 8*Len
//
// The size fields count 8 bytes per sample although 4 follow; files written
// so far and the programs that read them depend on that, so it stays.
//
// LoadWav walks the chunks after "WAVE" to the "data" chunk (audio tools put
// "LIST", "fact" and others before it), taking the layout from the "fmt "
// chunk that must come first: PCM, two channels, 16 or 8 bits.  Len is the
// smaller of the data chunk's size field and the bytes actually present
// after its header, each divided by the bytes of one frame: a standard file
// of N frames loads all N, one of ours loads Len (its size field claims
// twice the bytes that follow), and a file cut short loads the frames it has.
#include "samples.h"

#include <algorithm>
#include <climits>

using namespace iqs;

namespace {

constexpr int kHdr = 44;

// Where the samples of a WAV file are and how they are stored.
struct Layout {
    unsigned channels = 0, bits = 0;
    long long start = 0; // file offset of the first frame
    long long bytes = 0; // the data chunk's size field
};

// The "fmt " chunk's fields that matter; its header has been read.
int ReadFormat(FILE *fp, uint32_t size, Layout &w)
{
    unsigned char fmt[16];
    if (size < 16 || fread(fmt, 1, 16, fp) != 16 || GetU16LE(fmt) != 1)
        return IQ_ERR_WAV;
    w.channels = GetU16LE(fmt + 2);
    w.bits = GetU16LE(fmt + 14);
    return 0;
}

// The chunks from offset 12 on, each an id, a 32-bit size and its data
// padded to an even length, up to "data".  A file that ends first, or has
// no "fmt " chunk before its data, is not one we read.
int FindData(InFile &f, Layout &w)
{
    unsigned char h[12];
    if (fread(h, 1, 12, f.fp) != 12 || std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0)
        return IQ_ERR_WAV;
    bool haveFormat = false;
    for (long long pos = 12; pos + 8 <= f.size; ) {
        unsigned char c[8];
        if (fseeko(f.fp, pos, SEEK_SET) != 0 || fread(c, 1, 8, f.fp) != 8)
            return IQ_ERR_WAV;
        uint32_t size = GetU32LE(c + 4);
        if (std::memcmp(c, "data", 4) == 0) {
            w.start = pos + 8;
            w.bytes = size;
            return haveFormat ? 0 : IQ_ERR_WAV;
        }
        if (std::memcmp(c, "fmt ", 4) == 0) {
            if (int st = ReadFormat(f.fp, size, w))
                return st;
            haveFormat = true;
        }
        pos += 8 + (long long)size + (size & 1);
    }
    return IQ_ERR_WAV;
}

int ReadWav(InFile &f, IqRec *rec)
{
    Layout w;
    if (int st = FindData(f, w))
        return st;
    // Only stereo is I/Q; 8-bit frames are 2 bytes, 16-bit frames 4 bytes.
    if (w.channels != 2 || (w.bits != 8 && w.bits != 16))
        return IQ_ERR_WAV;
    long long frame = w.bits / 4, present = f.size > w.start ? f.size - w.start : 0;
    long long n = std::min(w.bytes, present) / frame;
    if (n > INT_MAX)
        return IQ_ERR_FORMAT;
    if (fseeko(f.fp, w.start, SEEK_SET) != 0)
        return IQ_ERR_FORMAT;
    rec->Len = int(n);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    Enc e = w.bits == 16 ? Enc::I16LE : Enc::U8; // 8-bit values keep their 128 offset
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
    return LoadFile(rec, Input::Spooled, ReadWav, SpoolLimit(4));
}

extern "C" int SaveWav(IqRec rec)
{
    if (8LL * rec.Len + 36 > UINT32_MAX)
        return EndSave(-1, EFBIG);
    return SaveOne(rec, kHdr + 4LL * rec.Len, [&rec](SafeOut &out) {
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
