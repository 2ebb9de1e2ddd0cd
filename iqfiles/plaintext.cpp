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

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

using iqs::InFile;
using iqs::Input;
using iqs::LoadFile;
using iqs::LoadFilePair;

// Large arrays are marked for transparent huge pages: a multi-million-value
// channel then costs the kernel a few dozen page faults instead of tens of
// thousands.  Advice only; a refusal changes nothing.
static void AdviseHuge(void *p, size_t bytes)
{
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (bytes < 2 * kHuge)
        return;
    uintptr_t a = (uintptr_t(p) + kHuge - 1) & ~(kHuge - 1), e = (uintptr_t(p) + bytes) & ~(kHuge - 1);
    if (e > a)
        madvise(reinterpret_cast<void *>(a), e - a, MADV_HUGEPAGE);
}

// A float buffer of the run-time heap that later becomes a record's array,
// or a fixed window into an array owned elsewhere (owned false).
struct FloatBuf {
    float *v = nullptr;
    size_t n = 0, cap = 0;
    bool owned = true;
    FloatBuf() = default;
    FloatBuf(const FloatBuf &) = delete;
    FloatBuf &operator=(const FloatBuf &) = delete;
    ~FloatBuf()
    {
        if (owned)
            std::free(v);
    }
    // Room for at least want values in all.
    bool reserve(size_t want)
    {
        if (want <= cap)
            return true;
        if (!owned)
            return false;
        float *p = static_cast<float *>(std::realloc(v, want * sizeof(float)));
        if (!p)
            return false;
        v = p;
        cap = want;
        AdviseHuge(v, cap * sizeof(float));
        return true;
    }
    // Room for at least need values in all: hint of them (what the text will
    // likely hold) when that is more than double the capacity and can be had,
    // else double.
    bool grow(size_t need, size_t hint)
    {
        size_t twice = std::max({cap * 2, need, size_t(1) << 16});
        return (hint > twice && reserve(hint)) || reserve(twice);
    }
    // Exactly len values (zeros after the converted ones), handed over.
    float *take(size_t len)
    {
        size_t want = len > 0 ? len : 1;
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

// How many values bytes of text will hold, judged from the first seen bytes
// that held count: a little more, so that the buffer is rarely grown.
static size_t Expected(size_t count, long long seen, long long bytes)
{
    if (seen <= 0 || bytes <= seen)
        return count;
    double want = double(count) * double(bytes) / double(seen) * 1.02 + 4096;
    return want < double(INT_MAX) ? size_t(want) : size_t(INT_MAX); // no record holds more
}

// One file of one number per line, read in one pass: the line count (blank
// lines count too) and the values, as repeated fscanf("%f") reads them, up
// to the first word that does not convert.
struct Column {
    FloatBuf values;
    long long lines = 0;
};

static int ScanColumn(FILE *fp, long long size, Column &c, const std::function<bool(int)> &tick)
{
    LineReader in(fp);
    FloatBuf &out = c.values;
    size_t nextTick = 0; // the abort check comes after the value of this index
    long long before = 0; // bytes of the blocks before this one
    bool stuck = false, partial = false;
    char *b, *e;
    while (in.nextBlock(b, e)) { // whole lines, so no number is cut
        c.lines += CountLF(b, e);
        partial = e[-1] != '\n';
        for (char *p = b; !stuck;) {
            while (p < e && textscan_detail::IsCSpace(*p))
                ++p;
            if (p == e)
                break;
            if (out.n >= size_t(INT_MAX)) // a word beyond what a record can hold
                return IQ_ERR_ALLOC_I;
            if (out.n == out.cap && !out.grow(out.n + 1, Expected(out.n, before + (p - b), size)))
                return IQ_ERR_ALLOC_I;
            size_t room = std::min({out.cap - out.n, nextTick + 1 - out.n, size_t(INT_MAX) - out.n});
            out.n += ScanFloats(p, e, out.v + out.n, room, &stuck);
            if (out.n > nextTick) {
                if (!tick(int(nextTick)))
                    return IQ_ERR_ABORT;
                nextTick += 25000;
            }
        }
        before += e - b;
    }
    c.lines += partial;
    return 0;
}

// Reads both channels as one number per line: the count comes from the
// lines, the values from the words (a blank line counts but holds no value,
// so the last slots then stay 0).  Each file is read once, the two on two
// threads; the abort check comes at the indices of the values read.  A
// pipe is read as it comes.
static int ReadMCadSgl(InFile &fi, InFile &fq, IqRec *rec)
{
    Column ci, cq;
    int si = 0, sq = 0;
    int st = ReadTwoChannels(
        -1, [&](const std::function<bool(int)> &tick) { return si = ScanColumn(fi.fp, fi.size, ci, tick); },
        [&](const std::function<bool(int)> &tick) { return sq = ScanColumn(fq.fp, fq.size, cq, tick); });
    if (st == 0)
        st = si ? si : sq;
    if (st == 0 && std::min(ci.lines, cq.lines) > INT_MAX)
        st = IQ_ERR_ALLOC_I;
    if (st != 0)
        return st;
    int n = int(std::min(ci.lines, cq.lines));
    float *i = ci.values.take(size_t(n)), *q = i ? cq.values.take(size_t(n)) : nullptr;
    if (!i || !q) {
        std::free(i);
        return IQ_ERR_ALLOC_I; // this format reports both arrays as -7
    }
    rec->I = i;
    rec->Q = q;
    rec->Len = n;
    return 0;
}

int LoadMCadSgl(IqRec *rec)
{
    return LoadFilePair(rec, Input::Streamed, ReadMCadSgl);
}

// COSSAP single: the I file's numbers give the count; the Q file fills at
// most as many, and the record keeps the smaller of the two.  The I file is
// read twice, so it must be a file, not a pipe.
static int ReadCsapSgl(InFile &fi, InFile &fq, IqRec *rec)
{
    LineReader li(fi.fp), lq(fq.fp);
    int n = 0;
    if (int st = MCadRd(li, true, &n, false, false, rec, 0, EscDue))
        return st;
    if (int st = AllocIq(rec, n))
        return st;
    int gotI = 0, gotQ = 0, si = 0, sq = 0;
    BothOf([&] { return (si = MCadRd(li, false, &gotI, false, false, rec, n, EscDue)) == 0; },
           [&] { return (sq = MCadRd(lq, false, &gotQ, false, true, rec, n, EscDue)) == 0; });
    if (si != 0 || sq != 0)
        return si != 0 ? si : sq == IQ_ERR_OPEN1 ? IQ_ERR_OPEN2 : sq;
    rec->Len = gotQ;
    return 0;
}

int LoadCsapSgl(IqRec *rec)
{
    return LoadFilePair(rec, Input::Seekable, ReadCsapSgl);
}

// Position just after the first LF at or after offset from into at (-1 when
// there is none).  False when the file cannot be put back at its start.
static bool LineStartAfter(FILE *fp, long long from, long long &at)
{
    at = -1;
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
    return std::fseek(fp, 0, SEEK_SET) == 0;
}

// Numbers dealt alternately into two buffers of the run-time heap, so that
// no interleaved copy of the file's values is ever made.
struct Alternate {
    FloatBuf ch[2];
    int next = 0; // channel of the next number
    bool failed = false;
    size_t total() const { return ch[0].n + ch[1].n; }
    // Deals n values; expect is how many per channel the part will likely
    // hold, the size to reserve when the buffers must grow.  More than a
    // record can hold (an endless pipe of numbers) is a failure at once.
    void deal(const float *v, size_t n, size_t expect)
    {
        const size_t first = (n + 1) / 2, second = n / 2;
        if (total() + n > 2 * size_t(INT_MAX) + 1) {
            failed = true;
            return;
        }
        for (FloatBuf &c : ch)
            if (c.cap - c.n < first && !c.grow(c.n + first, expect)) {
                failed = true;
                return;
            }
        float *a = ch[next].v + ch[next].n, *b = ch[next ^ 1].v + ch[next ^ 1].n;
        for (size_t k = 0; k < second; ++k) {
            a[k] = v[2 * k];
            b[k] = v[2 * k + 1];
        }
        if (n & 1)
            a[second] = v[n - 1];
        ch[next].n += first;
        ch[next ^ 1].n += second;
        next ^= int(n & 1);
    }
};

// Every number of the reader's lines into to.  bytes: the text that to is
// to receive in all, from which its buffers are sized once the first numbers
// show how densely the text holds them.  Between two blocks the event hook
// may run (on the calling thread), and an abort request ends the part.
static void CollectPart(LineReader &in, long long bytes, Alternate &to)
{
    constexpr size_t kBatch = 4096; // small enough to stay in the first-level cache
    float batch[kBatch];
    long long before = 0; // bytes of the blocks before this one
    char *b, *e;
    while (!to.failed && EscDue() == 0 && in.nextBlock(b, e)) {
        for (Sweep s{b, b, e}; s.p < s.end && !to.failed;) {
            size_t n = SweepNumbers(s, batch, kBatch);
            to.deal(batch, n, Expected(to.total() + n, before + (s.p - b), bytes) / 2 + 1);
        }
        before += e - b;
    }
}

// Every number of the file in order, the first part's alternately into
// a.ch[0] (I) and a.ch[1] (Q).  A large file is read as two parts on two
// threads, split at a line end so that no line is cut; the second part's
// numbers go alternately into b, starting with ch[0].  The first part's
// buffers are sized for the whole file, so that the second part's values
// can be appended to them in place.
// Both channels' arrays of a file read in two parts, with room for the most
// numbers each part can hold (every number takes at least one byte of text):
// the first part fills them from the start, the second from a fixed offset,
// and its values are moved down behind the first part's at the end.  So no
// value is ever copied into memory not yet touched, and no second pair of
// buffers is made; the room the values do not fill is address space only,
// given back when the arrays are cut to their length.
struct Windows {
    float *r[2] = {nullptr, nullptr};
    size_t off = 0; // where the second part's values start
    Windows() = default;
    Windows(const Windows &) = delete;
    Windows &operator=(const Windows &) = delete;
    ~Windows()
    {
        std::free(r[0]);
        std::free(r[1]);
    }
    // Lends a the windows [0, first) and b the windows [first, first + second).
    bool open(size_t first, size_t second, Alternate &a, Alternate &b)
    {
        for (float *&p : r)
            if (!(p = static_cast<float *>(std::malloc((first + second) * sizeof(float)))))
                return false;
        off = first;
        for (int k = 0; k < 2; ++k) {
            AdviseHuge(r[k], (first + second) * sizeof(float));
            a.ch[k].v = r[k], a.ch[k].cap = first, a.ch[k].owned = false;
            b.ch[k].v = r[k] + first, b.ch[k].cap = second, b.ch[k].owned = false;
        }
        return true;
    }
    // The record's arrays of len values: the second part's values moved down
    // behind the first part's.  After an odd count in the first part the
    // second began with a Q value, so its two windows change places first.
    void close(const Alternate &a, const Alternate &b, size_t len, float *&i, float *&q)
    {
        size_t nB[2] = {b.ch[0].n, b.ch[1].n}; // nB[0] is nB[1] or one more
        if (a.total() % 2) {
            std::swap_ranges(r[0] + off, r[0] + off + nB[1], r[1] + off);
            if (nB[0] > nB[1])
                r[1][off + nB[1]] = r[0][off + nB[1]];
            std::swap(nB[0], nB[1]);
        }
        const size_t want = len > 0 ? len : 1;
        for (int k = 0; k < 2; ++k) {
            const size_t have = a.ch[k].n + nB[k];
            std::memmove(r[k] + a.ch[k].n, r[k] + off, nB[k] * sizeof(float));
            if (have < want)
                std::memset(r[k] + have, 0, (want - have) * sizeof(float));
            if (float *p = static_cast<float *>(std::realloc(r[k], want * sizeof(float))))
                r[k] = p;
        }
        i = r[0];
        q = r[1];
        r[0] = r[1] = nullptr;
    }
};

// A pipe is read in one part, as it comes.  False when the file cannot be
// put back at its start or the second part's reading fails (the first
// part's read errors stay with f).
static bool CollectFile(InFile &f, const char *path, Alternate &a, Alternate &b, Windows &w)
{
    long long split = -1;
    if (f.size >= (1 << 20) && !LineStartAfter(f.fp, f.size / 2, split))
        return false;
    FILE *other = split > 0 && split < f.size ? std::fopen(path, "rb") : nullptr;
    if (!other || std::fseek(other, long(split), SEEK_SET) != 0) {
        if (other)
            std::fclose(other);
        LineReader in(f.fp);
        CollectPart(in, f.size, a);
        return true;
    }
    // Without that much address space, the parts grow their own buffers.
    w.open(size_t(split) / 2 + 16, size_t(f.size - split) / 2 + 16, a, b);
    BothOf(
        [&] {
            LineReader in(f.fp, size_t(1) << 20, split);
            CollectPart(in, f.size, a);
            return true;
        },
        [&] {
            LineReader in(other);
            CollectPart(in, f.size - split, b);
            return true;
        });
    bool good = !std::ferror(other);
    std::fclose(other);
    return good;
}

// Exactly len values: the first part's channel buffer, extended by the
// second part's, handed over.
static float *Join(Alternate &a, int ka, Alternate &b, int kb, size_t len)
{
    FloatBuf &to = a.ch[ka];
    size_t fromB = len - std::min(to.n, len);
    if (fromB > 0) {
        if (!to.reserve(to.n + fromB))
            return nullptr;
        std::memcpy(to.v + to.n, b.ch[kb].v, fromB * sizeof(float));
        to.n += fromB;
    }
    return to.take(len);
}

// Numbers alternate I, Q, I, Q regardless of line breaks; an unpaired last
// number is ignored.
static int ReadCsapMix(InFile &f, IqRec *rec)
{
    Alternate a, b;
    Windows w;
    if (!CollectFile(f, rec->INam, a, b, w))
        return IQ_ERR_OPEN1;
    if (AbortRequested())
        return IQ_ERR_ABORT;
    if (a.failed || b.failed || (a.total() + b.total()) / 2 > size_t(INT_MAX))
        return IQ_ERR_ALLOC_I;
    size_t pairs = (a.total() + b.total()) / 2;
    float *i = nullptr, *q = nullptr;
    if (w.r[0] && w.r[1]) {
        w.close(a, b, pairs, i, q);
        rec->I = i;
        rec->Q = q;
        rec->Len = int(pairs);
        return 0;
    }
    // After an odd count in the first part, the second part begins with a Q value.
    int bI = a.total() % 2 ? 1 : 0;
    auto joinI = [&] { return (i = Join(a, 0, b, bI, pairs)) != nullptr; };
    auto joinQ = [&] { return (q = Join(a, 1, b, 1 - bI, pairs)) != nullptr; };
    if (b.total() >= (1 << 20)) // copies worth a second thread
        BothOf(joinI, joinQ);
    else if (joinI())
        joinQ();
    if (!i || !q) {
        std::free(i);
        std::free(q);
        return i ? IQ_ERR_ALLOC_Q : IQ_ERR_ALLOC_I;
    }
    rec->I = i;
    rec->Q = q;
    rec->Len = int(pairs);
    return 0;
}

int LoadCsapMix(IqRec *rec)
{
    return LoadFile(rec, Input::Streamed, ReadCsapMix);
}

// The count is taken in pairs of numbers, so an odd count keeps its last
// number as an I value whose Q partner stays 0.  It starts from 0, whatever
// the record held before.  The file is read twice: not from a pipe.
static int ReadAscMixNoLF(InFile &f, IqRec *rec)
{
    LineReader in(f.fp);
    WordScan ws(in);
    long long pairs = 0;
    float v;
    while (ws.num(v)) {
        ws.num(v);
        ++pairs;
        if (pairs <= INT_MAX && EscPressed(int(pairs)))
            return IQ_ERR_ABORT;
    }
    if (pairs > INT_MAX)
        return IQ_ERR_ALLOC_I;
    if (!in.rewind())
        return IQ_ERR_OPEN1;
    if (int st = AllocIq(rec, int(pairs)))
        return st;
    WordScan rs(in);
    auto tick = [](int k) { return EscPressed(k) == 0; };
    int st = ReadFloats(rs, rec->I, rec->Len, tick);
    if (st == 0)
        st = ReadFloats(rs, rec->Q, rec->Len, tick);
    return st;
}

int LoadAscMixNoLF(IqRec *rec)
{
    return LoadFile(rec, Input::Seekable, ReadAscMixNoLF);
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

int SaveMCadSgl(IqRec rec)
{
    return SavePair(
        rec, (kSci7Len + 1) * rec.Len, [&rec](SafeOut &out) { return WriteColumn(out, rec.I, rec.Len); },
        [&rec](SafeOut &out) { return WriteColumn(out, rec.Q, rec.Len); });
}

int SaveMCadMix(IqRec rec)
{
    return SaveOne(rec, kPairLineLen * rec.Len, [&rec](SafeOut &out) { return WritePairLines(out, rec); });
}
