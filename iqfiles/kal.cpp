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
    return ReadPairs(f.fp, size_t(n), Enc::F32LE, rec->I, rec->Q);
}

} // namespace

extern "C" int LoadKAL(IqRec *rec)
{
    return LoadFile(rec, Input::Spooled, ReadKal, SpoolLimit(8));
}

extern "C" int SaveKAL(IqRec rec)
{
    return SaveOne(rec, 8LL * rec.Len,
                   [&rec](SafeOut &out) { return WritePairs(out, Enc::F32LE, rec.I, rec.Q, size_t(rec.Len)); });
}
