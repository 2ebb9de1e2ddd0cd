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
#include <cstdlib>
#include <cstring>

using iqs::EarlyFail;
using iqs::InFile;

// One file of one number per line, read in one pass: the line count (blank
// lines count too) and the values, as repeated fscanf("%f") reads them, up
// to the first word that does not convert.  The values go into a buffer of
// the run-time heap that later becomes the record's array.
struct Column {
    float *v = nullptr;
    size_t n = 0, cap = 0;
    long long lines = 0;
    ~Column() { std::free(v); }
    bool grow()
    {
        size_t want = cap ? cap * 2 : 1 << 16;
        float *p = static_cast<float *>(std::realloc(v, want * sizeof(float)));
        if (!p)
            return false;
        v = p;
        cap = want;
        return true;
    }
    // Exactly len values (zeros after the converted ones), handed over.
    float *take(int len)
    {
        size_t want = len > 0 ? size_t(len) : 1;
        if (want > cap || cap > want + want / 8) {
            float *p = static_cast<float *>(std::realloc(v, want * sizeof(float)));
            if (!p && want > cap)
                return nullptr;
            if (p)
                v = p, cap = want;
        }
        if (n < want)
            std::memset(v + n, 0, (want - n) * sizeof(float));
        float *out = v;
        v = nullptr;
        return out;
    }
};

static int ScanColumn(FILE *fp, Column &c, const std::function<bool(int)> &tick)
{
    using textscan_detail::IsCSpace;
    LineReader in(fp);
    bool converting = true, partial = false;
    char *b, *e;
    while (in.nextBlock(b, e)) { // whole lines, so no number is cut
        c.lines += CountLF(b, e);
        partial = e[-1] != '\n';
        for (char *p = b; converting;) {
            while (p < e && IsCSpace(*p))
                ++p;
            if (p == e)
                break;
            if ((c.n == c.cap && !c.grow()) || c.n >= size_t(INT_MAX))
                return IQ_ERR_ALLOC_I;
            const char *after = ParseFloat(p, e, c.v[c.n]);
            if (!after) {
                converting = false;
                break;
            }
            p += after - p;
            if (c.n % 25000 == 0 && !tick(int(c.n)))
                return IQ_ERR_ABORT;
            ++c.n;
        }
    }
    c.lines += partial;
    return 0;
}

// Reads both channels as one number per line: the count comes from the
// lines, the values from the words (a blank line counts but holds no value,
// so the last slots then stay 0).  Each file is read once, the two on two
// threads; the abort check comes at the indices of the values read.
int LoadMCadSgl(IqRec *rec)
{
    InFile fi(rec->INam);
    if (!fi.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    InFile fq(rec->QNam);
    if (!fq.fp)
        return EarlyFail(IQ_ERR_OPEN2);
    Column ci, cq;
    int si = 0, sq = 0;
    int st = ReadTwoChannels(
        -1, [&](const std::function<bool(int)> &tick) { return si = ScanColumn(fi.fp, ci, tick); },
        [&](const std::function<bool(int)> &tick) { return sq = ScanColumn(fq.fp, cq, tick); });
    if (st == 0)
        st = si ? si : sq;
    if (st == 0 && std::min(ci.lines, cq.lines) > INT_MAX)
        st = IQ_ERR_ALLOC_I;
    if (st != 0)
        return EarlyFail(st);
    int n = int(std::min(ci.lines, cq.lines));
    float *i = ci.take(n), *q = i ? cq.take(n) : nullptr;
    if (!i || !q) {
        std::free(i);
        return EarlyFail(IQ_ERR_ALLOC_I); // this format reports both arrays as -7
    }
    rec->I = i;
    rec->Q = q;
    rec->Len = n;
    return EndLoad(rec, 0);
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

// Numbers dealt alternately into two buffers of the run-time heap, so that
// no interleaved copy of the file's values is ever made.
struct Alternate {
    float *buf[2] = {nullptr, nullptr};
    size_t n[2] = {0, 0}, cap[2] = {0, 0};
    int next = 0;
    bool failed = false;
    ~Alternate()
    {
        std::free(buf[0]);
        std::free(buf[1]);
    }
    void push(float v)
    {
        int k = next;
        next ^= 1;
        if (n[k] == cap[k]) {
            size_t want = cap[k] ? cap[k] * 2 : 1 << 16;
            float *p = static_cast<float *>(std::realloc(buf[k], want * sizeof(float)));
            if (!p) {
                failed = true;
                return;
            }
            buf[k] = p;
            cap[k] = want;
        }
        buf[k][n[k]++] = v;
    }
    size_t total() const { return n[0] + n[1]; }
};

// Every number of the file in order, the first part's alternately into
// a.buf[0] (I) and a.buf[1] (Q).  A large file is read as two parts on two
// threads, split at a line end so that no line is cut; the second part's
// numbers go alternately into b, starting with buf[0].
static void CollectFile(InFile &f, const char *path, Alternate &a, Alternate &b)
{
    auto collect = [](LineReader &in, Alternate &to) { CollectValuesWith(in, [&](float v) { to.push(v); }); };
    long long split = f.size >= (1 << 20) ? LineStartAfter(f.fp, f.size / 2) : -1;
    FILE *other = split > 0 && split < f.size ? std::fopen(path, "rb") : nullptr;
    if (!other || std::fseek(other, long(split), SEEK_SET) != 0) {
        if (other)
            std::fclose(other);
        LineReader in(f.fp);
        collect(in, a);
        return;
    }
    BothOf(
        [&] {
            LineReader in(f.fp, size_t(1) << 20, split);
            collect(in, a);
            return true;
        },
        [&] {
            LineReader in(other);
            collect(in, b);
            return true;
        });
    std::fclose(other);
}

// Exactly len values: the first part's channel buffer, extended by the
// second part's, handed over.
static float *Join(Alternate &a, int ka, Alternate &b, int kb, size_t len)
{
    size_t want = len > 0 ? len : 1;
    float *p = static_cast<float *>(std::realloc(a.buf[ka], want * sizeof(float)));
    if (!p)
        return nullptr;
    a.buf[ka] = nullptr;
    size_t fromA = std::min(a.n[ka], len), fromB = len - fromA;
    if (fromB > 0)
        std::memcpy(p + fromA, b.buf[kb], fromB * sizeof(float));
    return p;
}

// Numbers alternate I, Q, I, Q regardless of line breaks; an unpaired last
// number is ignored.
int LoadCsapMix(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    Alternate a, b;
    CollectFile(f, rec->INam, a, b);
    if (a.failed || b.failed || (a.total() + b.total()) / 2 > size_t(INT_MAX))
        return EarlyFail(IQ_ERR_ALLOC_I);
    size_t pairs = (a.total() + b.total()) / 2;
    // After an odd count in the first part, the second part begins with a Q value.
    int bI = a.total() % 2 ? 1 : 0;
    float *i = Join(a, 0, b, bI, pairs);
    if (!i)
        return EarlyFail(IQ_ERR_ALLOC_I);
    float *q = Join(a, 1, b, 1 - bI, pairs);
    if (!q) {
        std::free(i);
        return EarlyFail(IQ_ERR_ALLOC_Q);
    }
    rec->I = i;
    rec->Q = q;
    rec->Len = int(pairs);
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
