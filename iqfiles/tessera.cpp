// Tessera simulation file (.ibn): a 40-byte header, then all Len I values,
// then all Len Q values, each a float32 (little-endian).
//
//   offset  size  field
//        0     4  int32  header length, 40
//        4     4  int32  Len (the count the reader uses)
//        8     4  "VMK" and a NUL byte
//       12     8  double sample rate
//       20     4  int32  1
//       24     4  int32  Len again
//       28     8  double sample rate (the one the reader uses)
//       36     4  int32  0; any other value marks a file we cannot read
#include "samples.h"

using namespace iqs;

namespace {

constexpr int kHdr = 40;

int ReadIbn(InFile &f, IqRec *rec)
{
    unsigned char h[kHdr];
    if (f.size < kHdr || fread(h, 1, kHdr, f.fp) != kHdr)
        return IQ_ERR_FORMAT;
    if (GetI32LE(h + 36) != 0)
        return IQ_ERR_IBN_HDR;
    int32_t n = GetI32LE(h + 4);
    if (n < 0 || n > (f.size - kHdr) / 8)
        return IQ_ERR_FORMAT;
    rec->Len = n;
    rec->Rat = float(GetF64LE(h + 28));
    if (int st = AllocBulk(rec, n))
        return st;
    if (int st = ReadChannel(f.fp, size_t(n), Enc::F32LE, rec->I))
        return st;
    return ReadChannel(f.fp, size_t(n), Enc::F32LE, rec->Q);
}

} // namespace

// The header's length word, its last word 0 and a count the file holds.
bool IbnHead(const unsigned char *h, size_t n, long long size)
{
    if (n < kHdr || GetI32LE(h) != kHdr || GetI32LE(h + 36) != 0)
        return false;
    int32_t count = GetI32LE(h + 4);
    return count >= 0 && count <= (size - kHdr) / 8;
}

extern "C" int LoadIbn(IqRec *rec)
{
    return LoadFile(rec, Input::Spooled, ReadIbn, SpoolLimit(8));
}

extern "C" int SaveIBN(IqRec rec)
{
    return SaveOne(rec, kHdr + 8LL * rec.Len, [&rec](SafeOut &out) {
        unsigned char h[kHdr] = {};
        PutI32LE(h, kHdr);
        PutI32LE(h + 4, rec.Len);
        std::memcpy(h + 8, "VMK", 4);
        PutF64LE(h + 12, rec.Rat);
        PutI32LE(h + 20, 1);
        PutI32LE(h + 24, rec.Len);
        PutF64LE(h + 28, rec.Rat);
        size_t n = size_t(rec.Len);
        return out.write(h, kHdr) && WriteF32Channel(out, rec.I, n) && WriteF32Channel(out, rec.Q, n);
    });
}
