// KAL, the system's own file (.kal): no header; per sample the I value and
// then the Q value as float32 (little-endian), 8 bytes per sample.  The
// sample rate is not stored, so a load leaves the caller's Rat as it is.
// Len is the file size / 8: a trailing partial sample is ignored.
#include "samples.h"

#include <climits>

using namespace iqs;

namespace {

int ReadKal(InFile &f, IqRec *rec)
{
    long long n = f.size / 8;
    if (n > INT_MAX)
        return IQ_ERR_FORMAT;
    rec->Len = int(n);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    float *i = rec->I, *q = rec->Q;
    return ReadBlocks(f.fp, size_t(n), 8, [i, q](const unsigned char *b, size_t first, size_t count) {
        Decode2(Enc::F32LE, b, count, i + first, q + first);
    });
}

} // namespace

extern "C" int LoadKAL(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp || f.size < 0)
        return EarlyFail(IQ_ERR_OPEN1);
    return EndLoad(rec, ReadKal(f, rec));
}

extern "C" int SaveKAL(IqRec rec)
{
    if (!WritableRec(rec))
        return -1;
    SafeOut out(rec.INam);
    if (!out.ok())
        return -1;
    const float *i = rec.I, *q = rec.Q;
    bool ok = WriteBlocks(out, size_t(rec.Len), 8, [i, q](unsigned char *b, size_t first, size_t count) {
        Encode2(Enc::F32LE, i + first, q + first, count, b);
    });
    return ok ? out.commit() : -1;
}
