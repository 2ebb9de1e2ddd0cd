// DAB symbol files: two header words, the I values, the same two words
// again, the Q values; each value on a line of its own with a leading blank.
//
//   length_of_symbol:<Len>
//   carriers:192
//    1.2345678e-01
//   ...
//
// Only the first word is read: the count after its first ':'.  The carrier
// count is always written as 192 and never read.  A first word without ':',
// without a number after it, or with a count that is negative or larger than
// the file could hold (every value takes at least one byte) is not a DAB
// file (-9), and nothing is allocated for it.
#include "samples.h"
#include "textscan.h"

#include <charconv>
#include <climits>

using iqs::InFile;
using iqs::Input;
using iqs::LoadFile;
using iqs::LoadFilePair;

// The count after the first ':' of the header word, or -1.
static long long SymbolLength(const std::string &word)
{
    size_t colon = word.find(':');
    if (colon == std::string::npos)
        return -1;
    const char *p = word.data() + colon + 1, *e = word.data() + word.size();
    if (p < e && *p == '+')
        ++p;
    long long n = -1;
    if (std::from_chars(p, e, n).ec != std::errc())
        return -1;
    return n;
}

// One pass through the file; its size bounds the count, so a pipe is first
// taken whole.
static int ReadDab(InFile &f, IqRec *rec)
{
    LineReader in(f.fp);
    WordScan ws(in);
    std::string w1, w2;
    if (!ws.word(w1, 199))
        return IQ_ERR_FORMAT;
    ws.word(w2, 99);
    long long n = SymbolLength(w1);
    if (n < 0 || n > f.size)
        return IQ_ERR_FORMAT;
    if (n > INT_MAX || AllocIq(rec, int(n)) != 0)
        return IQ_ERR_ALLOC_I; // this format reports both arrays as -7
    ReadFloats(ws, rec->I, rec->Len, [](int) { return true; });
    ws.word(w1, 199);
    ws.word(w2, 99);
    return ReadFloats(ws, rec->Q, rec->Len, [](int k) { return EscPressed(k) == 0; });
}

int LoadDAB(IqRec *rec)
{
    return LoadFile(rec, Input::Spooled, ReadDab);
}

static bool WriteSymbols(TextBuf &t, const float *a, int n)
{
    char count[16];
    if (!t.str("length_of_symbol:") || !t.str({count, size_t(std::to_chars(count, count + 16, n).ptr - count)}) ||
        !t.str("\ncarriers:192\n"))
        return false;
    for (int k = 0; k < n; ++k)
        if (!t.ch(' ') || !t.sci(a[k], 7) || !t.ch('\n'))
            return false;
    return true;
}

int SaveDAB(IqRec rec)
{
    // Two headers, and " %0.7e\n" per value.
    return SaveOne(rec, kTextHeadLen + 2 * (kSci7Len + 2) * rec.Len, [&rec](SafeOut &out) {
        TextBuf t(out);
        return WriteSymbols(t, rec.I, rec.Len) && WriteSymbols(t, rec.Q, rec.Len) && t.flush();
    });
}
