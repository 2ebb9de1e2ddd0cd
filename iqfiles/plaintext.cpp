// Files of nothing but numbers.
//
//   one number per line, one file per channel    LoadMCadSgl, LoadCsapSgl / SaveMCadSgl
//   one "I Q" pair per line, one file             LoadCsapMix / SaveMCadMix
//   numbers without line structure, one file      LoadAscMixNoLF (first half I, second half Q)
//
// Writers print each value as "%0.7e" of the float widened to double.
// LoadMCadSgl and LoadAscMixNoLF read white-space separated numbers as
// fscanf("%f") does; LoadCsapSgl and LoadCsapMix go through the free-form
// scanners (commas, tabs, '%' comments and the a+jb notation).
#include "samples.h"
#include "textscan.h"

#include <climits>

using iqs::EarlyFail;
using iqs::InFile;

// The number of line reads of LoadMCadSgl: every line counts, blank ones too.
static long long CountLines(FILE *fp)
{
    LineReader in(fp);
    long long n = in.countLines();
    std::rewind(fp);
    return n;
}

// Reads both channels as one number per line: the count comes from the
// lines, the values from the words (a blank line counts but holds no value,
// so the last slots then stay 0).
int LoadMCadSgl(IqRec *rec)
{
    InFile fi(rec->INam);
    if (!fi.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    InFile fq(rec->QNam);
    if (!fq.fp)
        return EarlyFail(IQ_ERR_OPEN2);
    long long ni = 0, nq = 0;
    BothOf([&] { return ni = CountLines(fi.fp), true; }, [&] { return nq = CountLines(fq.fp), true; });
    long long n = std::min(ni, nq);
    if (n > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    if (AllocIq(rec, int(n)) != 0)
        return EndLoad(rec, IQ_ERR_ALLOC_I); // this format reports both arrays as -7
    LineReader li(fi.fp), lq(fq.fp);
    WordScan wi(li), wq(lq);
    int st = ReadTwoChannels(
        rec->Len, [&](const std::function<bool(int)> &tick) { return ReadFloats(wi, rec->I, rec->Len, tick); },
        [&](const std::function<bool(int)> &tick) { return ReadFloats(wq, rec->Q, rec->Len, tick); });
    return EndLoad(rec, st);
}

// COSSAP single: the I file's numbers give the count; the Q file fills at
// most as many, and the record keeps the smaller of the two.
int LoadCsapSgl(IqRec *rec)
{
    InFile fi(rec->INam);
    if (!fi.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    LineReader li(fi.fp);
    int n = 0;
    if (int st = MCadRd(li, true, &n, false, false, rec, 0))
        return EarlyFail(st);
    InFile fq(rec->QNam);
    if (!fq.fp)
        return EarlyFail(IQ_ERR_OPEN2);
    if (int st = AllocIq(rec, n))
        return EndLoad(rec, st);
    LineReader lq(fq.fp);
    int gotI = 0, gotQ = 0;
    BothOf([&] { return MCadRd(li, false, &gotI, false, false, rec, n) == 0; },
           [&] { return MCadRd(lq, false, &gotQ, false, true, rec, n) == 0; });
    rec->Len = gotQ;
    return EndLoad(rec, 0);
}

// Position just after the first LF at or after offset from, or -1.  The
// file is left at its start.
static long long LineStartAfter(FILE *fp, long long from)
{
    long long at = -1;
    if (std::fseek(fp, long(from), SEEK_SET) == 0) {
        char buf[4096];
        for (long long pos = from; at < 0;) {
            size_t got = std::fread(buf, 1, sizeof buf, fp);
            if (got == 0)
                break;
            if (const void *lf = std::memchr(buf, '\n', got))
                at = pos + (static_cast<const char *>(lf) - buf) + 1;
            pos += (long long)got;
        }
    }
    std::rewind(fp);
    return at;
}

// Every number of the file in order.  A large file is read as two parts on
// two threads, split at a line end so that no line is cut.
static void CollectFile(InFile &f, const char *path, std::vector<float> &first, std::vector<float> &second)
{
    long long split = f.size >= (1 << 20) ? LineStartAfter(f.fp, f.size / 2) : -1;
    FILE *other = split > 0 && split < f.size ? std::fopen(path, "rb") : nullptr;
    if (!other || std::fseek(other, long(split), SEEK_SET) != 0) {
        if (other)
            std::fclose(other);
        LineReader in(f.fp);
        CollectValues(in, first);
        return;
    }
    BothOf(
        [&] {
            LineReader in(f.fp, size_t(1) << 20, split);
            first.reserve(size_t(split / 16)); // about right for "%0.7e" pairs
            CollectValues(in, first);
            return true;
        },
        [&] {
            LineReader in(other);
            second.reserve(size_t((f.size - split) / 16));
            CollectValues(in, second);
            return true;
        });
    std::fclose(other);
}

// Numbers alternate I, Q, I, Q regardless of line breaks; an unpaired last
// number is ignored.
int LoadCsapMix(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    std::vector<float> a, b;
    CollectFile(f, rec->INam, a, b);
    long long pairs = (long long)(a.size() + b.size()) / 2;
    if (pairs > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    if (int st = AllocIq(rec, int(pairs)))
        return EndLoad(rec, st);
    auto at = [&](long long j) { return j < (long long)a.size() ? a[size_t(j)] : b[size_t(j - (long long)a.size())]; };
    for (long long k = 0; k < pairs; ++k) {
        rec->I[k] = at(2 * k);
        rec->Q[k] = at(2 * k + 1);
    }
    return EndLoad(rec, 0);
}

// The count is taken in pairs of numbers, so an odd count keeps its last
// number as an I value whose Q partner stays 0.  It starts from 0, whatever
// the record held before.
int LoadAscMixNoLF(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    LineReader in(f.fp);
    WordScan ws(in);
    long long pairs = 0;
    float v;
    while (ws.num(v)) {
        ws.num(v);
        ++pairs;
        if (pairs <= INT_MAX && EscPressed(int(pairs)))
            return EarlyFail(IQ_ERR_ABORT);
    }
    if (pairs > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    in.rewind();
    if (int st = AllocIq(rec, int(pairs)))
        return EndLoad(rec, st);
    WordScan rs(in);
    auto tick = [](int k) { return EscPressed(k) == 0; };
    int st = ReadFloats(rs, rec->I, rec->Len, tick);
    if (st == 0)
        st = ReadFloats(rs, rec->Q, rec->Len, tick);
    return EndLoad(rec, st);
}

// One value per line, "%0.7e\n".
static bool WriteColumn(SafeOut &out, const float *a, int n)
{
    TextBuf t(out);
    for (int k = 0; k < n; ++k)
        if (!t.sci(a[k], 7) || !t.ch('\n'))
            return false;
    return t.flush();
}

// Both files are complete before either replaces its destination, so a
// failure leaves the old pair as it was.
int SaveMCadSgl(IqRec rec)
{
    if (!Writable(rec))
        return -1;
    SafeOut oi(rec.INam), oq(rec.QNam);
    bool ok = BothOf([&] { return WriteColumn(oi, rec.I, rec.Len); }, [&] { return WriteColumn(oq, rec.Q, rec.Len); });
    if (!ok || oi.commit() != 0 || oq.commit() != 0)
        return -1;
    return 0;
}

int SaveMCadMix(IqRec rec)
{
    if (!Writable(rec))
        return -1;
    SafeOut out(rec.INam);
    bool ok = WriteLines(out, rec.Len, 40, [&](char *p, int k) {
        p = FmtSci(p, rec.I[k], 7);
        *p++ = ' ';
        p = FmtSci(p, rec.Q[k], 7);
        *p++ = '\n';
        return p;
    });
    if (!ok || out.commit() != 0)
        return -1;
    return 0;
}
