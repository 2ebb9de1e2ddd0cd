// AWG 2000 waveform files (.wfm), read only: INam holds the I channel, QNam
// the Q channel.  Each file: a 102-byte header of which we use the point
// count N (bytes 30-33, big-endian int32) and the scale A (bytes 68-75,
// big-endian double); then N big-endian unsigned 16-bit codes c, each the
// value c * A / 4096 - 0.5.
//
// When the two files hold different counts, Len is the smaller one, so the
// record never claims more samples than either channel has.
#include "samples.h"

#include <cmath>

using namespace iqs;

namespace {

constexpr int kHdr = 102;

struct Wave {
    int32_t points;
    double scale;
};

Wave Fields(const unsigned char *h)
{
    return {GetI32BE(h + 30), GetF64BE(h + 68)};
}

int ReadHeader(InFile &f, Wave *w)
{
    unsigned char h[kHdr];
    if (f.size < kHdr || fread(h, 1, kHdr, f.fp) != kHdr)
        return IQ_ERR_FORMAT;
    *w = Fields(h);
    if (w->points < 0 || w->points > (f.size - kHdr) / 2)
        return IQ_ERR_FORMAT;
    return 0;
}

int ReadCodes(InFile &f, const Wave &w, int32_t n, float *dst)
{
    if (int st = ReadChannel(f.fp, size_t(n), Enc::U16BE, dst))
        return st;
    for (int32_t k = 0; k < n; k++)
        dst[k] = float(double(dst[k]) * w.scale / 4096 - 0.5);
    return 0;
}

int ReadWaves(InFile &fi, InFile &fq, IqRec *rec)
{
    Wave wi, wq;
    if (int st = ReadHeader(fi, &wi))
        return st;
    if (int st = ReadHeader(fq, &wq))
        return st;
    int32_t n = wi.points < wq.points ? wi.points : wq.points;
    rec->Len = n;
    // Either channel's allocation failure has always been reported as -8.
    if (AllocBulk(rec, n) != 0)
        return IQ_ERR_ALLOC_Q;
    if (int st = ReadCodes(fi, wi, n, rec->I))
        return st;
    return ReadCodes(fq, wq, n, rec->Q);
}

} // namespace

// The header has no mark of its own: a file is taken for one when its size
// is exactly the header and the points it counts, with a usable scale.
bool AwgHead(const unsigned char *h, size_t n, long long size)
{
    if (n < kHdr)
        return false;
    Wave w = Fields(h);
    return w.points >= 0 && size == kHdr + 2LL * w.points && std::isfinite(w.scale) && w.scale != 0;
}

extern "C" int LoadAWG(IqRec *rec)
{
    return LoadFilePair(rec, Input::Spooled, ReadWaves, IQ_ERR_OPEN2, SpoolLimit(2));
}
