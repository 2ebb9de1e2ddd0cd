// ESG word files, read only: INam holds the I channel, QNam the Q channel,
// each a plain sequence of 2-byte words without header.  A word with first
// byte b0 and second byte b1 is the value (b0 as a signed byte) * 256 +
// ((b1 as an unsigned byte) >> 2).
//
// Len is the word count of the shorter file, so a short Q file never leaves
// samples that were not in it.
#include "samples.h"

#include <climits>

using namespace iqs;

namespace {

void DecodeWords(const unsigned char *b, size_t n, float *dst)
{
    for (size_t k = 0; k < n; k++)
        dst[k] = float(int(int8_t(b[2 * k])) * 256 + (b[2 * k + 1] >> 2));
}

int ReadWords(InFile &f, size_t n, float *dst)
{
    return ReadBlocks(f.fp, n, 2, [dst](const unsigned char *b, size_t first, size_t count) {
        DecodeWords(b, count, dst + first);
    });
}

int ReadEsg(InFile &fi, InFile &fq, IqRec *rec)
{
    long long n = (fi.size < fq.size ? fi.size : fq.size) / 2;
    if (n > INT_MAX)
        return IQ_ERR_FORMAT;
    rec->Len = int(n);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    if (int st = ReadWords(fi, size_t(n), rec->I))
        return st;
    return ReadWords(fq, size_t(n), rec->Q);
}

} // namespace

extern "C" int LoadEsg8Sgl(IqRec *rec)
{
    return LoadFilePair(rec, Input::Spooled, ReadEsg, IQ_ERR_OPEN2, SpoolLimit(2));
}
