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

using iqs::EarlyFail;
using iqs::InFile;

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

int LoadDAB(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    LineReader in(f.fp);
    WordScan ws(in);
    std::string w1, w2;
    if (!ws.word(w1, 199))
        return EarlyFail(IQ_ERR_FORMAT);
    ws.word(w2, 99);
    long long n = SymbolLength(w1);
    if (n < 0 || n > f.size)
        return EarlyFail(IQ_ERR_FORMAT);
    if (n > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    if (AllocIq(rec, int(n)) != 0)
        return EndLoad(rec, IQ_ERR_ALLOC_I); // this format reports both arrays as -7
    ReadFloats(ws, rec->I, rec->Len, [](int) { return true; });
    ws.word(w1, 199);
    ws.word(w2, 99);
    int st = ReadFloats(ws, rec->Q, rec->Len, [](int k) { return EscPressed(k) == 0; });
    return EndLoad(rec, st);
}

static bool WriteSymbols(SafeOut &out, TextBuf &t, const float *a, int n)
{
    if (!t.flush() || !out.printf("length_of_symbol:%d\ncarriers:192\n", n))
        return false;
    for (int k = 0; k < n; ++k)
        if (!t.ch(' ') || !t.sci(a[k], 7) || !t.ch('\n'))
            return false;
    return t.flush();
}

int SaveDAB(IqRec rec)
{
    if (!Writable(rec))
        return -1;
    SafeOut out(rec.INam);
    TextBuf t(out);
    if (!WriteSymbols(out, t, rec.I, rec.Len) || !WriteSymbols(out, t, rec.Q, rec.Len) || out.commit() != 0)
        return -1;
    return 0;
}
