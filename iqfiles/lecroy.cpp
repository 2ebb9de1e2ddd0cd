// LeCroy oscilloscope traces (.trc), read only: INam holds the I channel,
// QNam the Q channel.  Each file:
//
//   bytes 0-1    block marker (not checked)
//   bytes 2-10   nine decimal digits, block length (not used)
//   byte 11 on   wave descriptor; of it we use three big-endian int32 fields:
//                descriptor offset 36 (file 47): descriptor length D
//                descriptor offset 60 (file 71): byte length B of the first data array
//                descriptor offset 116 (file 127): number of points N
//   11 + D on    the samples: a signed byte per point when B / N is 1, else a
//                big-endian signed 16-bit word.  Raw codes; no gain or offset.
//
// N is limited to 16,000,000 points; Len is the smaller N of the two files.
#include "samples.h"

using namespace iqs;

namespace {

constexpr int kHdr = 131;
constexpr int32_t kMaxPoints = 16000000;

struct Trace {
    long long start; // file offset of the first sample
    int32_t points;
    Enc enc;
};

int ParseDescriptor(const unsigned char *h, Trace *t)
{
    int32_t d = GetI32BE(h + 47), b = GetI32BE(h + 71), n = GetI32BE(h + 127);
    if (d < 0 || n <= 0)
        return IQ_ERR_FORMAT;
    if (n > kMaxPoints)
        n = kMaxPoints;
    t->start = 11LL + d;
    t->points = n;
    t->enc = b / n == 1 ? Enc::I8 : Enc::I16BE;
    return 0;
}

int ReadDescriptor(InFile &f, Trace *t)
{
    unsigned char h[kHdr];
    if (f.size < kHdr || fread(h, 1, kHdr, f.fp) != kHdr)
        return IQ_ERR_FORMAT;
    return ParseDescriptor(h, t);
}

// The file must hold len points of its width after the descriptor.
int SeekSamples(InFile &f, const Trace &t, int32_t len)
{
    long long need = t.start + (long long)len * (long long)EncSize(t.enc);
    if (need > f.size || fseek(f.fp, long(t.start), SEEK_SET) != 0)
        return IQ_ERR_FORMAT;
    return 0;
}

int ReadTraces(InFile &fi, InFile &fq, IqRec *rec)
{
    Trace ti, tq;
    if (int st = ReadDescriptor(fi, &ti))
        return st;
    if (int st = ReadDescriptor(fq, &tq))
        return st;
    int32_t n = ti.points < tq.points ? ti.points : tq.points;
    if (int st = SeekSamples(fi, ti, n))
        return st;
    if (int st = SeekSamples(fq, tq, n))
        return st;
    rec->Len = n;
    if (int st = AllocBulk(rec, n))
        return st;
    if (int st = ReadChannel(fi.fp, size_t(n), ti.enc, rec->I))
        return st;
    return ReadChannel(fq.fp, size_t(n), tq.enc, rec->Q);
}

} // namespace

// A LeCroy trace names its descriptor "WAVEDESC"; files that do not are
// known by nine digits of block length and a descriptor whose points fit.
bool LeCroyHead(const unsigned char *h, size_t n, long long size)
{
    if (n < kHdr)
        return false;
    if (std::memcmp(h + 11, "WAVEDESC", 8) == 0)
        return true;
    for (int k = 2; k < 11; ++k)
        if (h[k] < '0' || h[k] > '9')
            return false;
    Trace t;
    return ParseDescriptor(h, &t) == 0 && t.start + (long long)t.points * (long long)EncSize(t.enc) <= size;
}

extern "C" int LoadLeCroy(IqRec *rec)
{
    // Either file missing is reported as -1, as the Load panel has always shown it.
    return LoadFilePair(rec, Input::Spooled, ReadTraces, IQ_ERR_OPEN1, SpoolLimit(2));
}
