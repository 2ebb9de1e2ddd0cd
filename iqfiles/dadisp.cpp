// DaDisp data files: a keyword header that ends with a line "DATA", then
// one value per line (one file per channel) or one "I Q" pair per line.
//
//   DATASET i | q | i_q          VERSION NEXT         NUM SIGS 1 | 2
//   STORAGE MODE INTERLACED      SIGNAL i | q | i, q
//   DATE mm-dd-yyyy              TIME hh:mm:ss
//   INTERVAL %0.6E               VERT_UNITS volt      HORZ_UNITS sec
//   COMMENT                      DATA
//
// INTERVAL holds the record length in seconds (Len / Rat, worked out in
// float as the files of the first version have it), not the sample period.
// NUM SIGS is 1 in the I file and 2 in the Q file.  A file in which no DATA
// line is found is not a DaDisp file (-9).
#include "samples.h"
#include "textscan.h"

#include <climits>
#include <ctime>

using iqs::EarlyFail;
using iqs::InFile;

// Reads up to and including the "DATA" line; false when the file has none.
static bool SkipToData(LineReader &in)
{
    char *b, *e;
    while (in.next(b, e))
        if (std::string_view(b, size_t(e - b)) == "DATA")
            return true;
    return false;
}

// Number of lines after the DATA line, or -1 without one; the reader is
// left right after the DATA line.
static long long DataLines(LineReader &in)
{
    if (!SkipToData(in))
        return -1;
    long long n = in.countLines();
    in.rewind();
    SkipToData(in);
    return n;
}

int LoadDDspSgl(IqRec *rec)
{
    InFile fi(rec->INam);
    if (!fi.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    InFile fq(rec->QNam);
    if (!fq.fp)
        return EarlyFail(IQ_ERR_OPEN2);
    LineReader li(fi.fp), lq(fq.fp);
    long long ni = -1, nq = -1;
    BothOf([&] { return ni = DataLines(li), true; }, [&] { return nq = DataLines(lq), true; });
    if (ni < 0 || nq < 0)
        return EarlyFail(IQ_ERR_FORMAT);
    long long n = std::min(ni, nq);
    if (n > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    if (int st = AllocIq(rec, int(n)))
        return EndLoad(rec, st);
    WordScan wi(li), wq(lq);
    int st = ReadTwoChannels(
        rec->Len, [&](const std::function<bool(int)> &tick) { return ReadFloats(wi, rec->I, rec->Len, tick); },
        [&](const std::function<bool(int)> &tick) { return ReadFloats(wq, rec->Q, rec->Len, tick); });
    return EndLoad(rec, st);
}

int LoadDDspMix(IqRec *rec)
{
    InFile f(rec->INam);
    if (!f.fp)
        return EarlyFail(IQ_ERR_OPEN1);
    LineReader in(f.fp);
    long long n = DataLines(in);
    if (n < 0)
        return EarlyFail(IQ_ERR_FORMAT);
    if (n > INT_MAX)
        return EarlyFail(IQ_ERR_ALLOC_I);
    if (int st = AllocIq(rec, int(n)))
        return EndLoad(rec, st);
    WordScan ws(in);
    int k = 0;
    for (; k < rec->Len; ++k) {
        if (!ws.num(rec->I[k]) || !ws.num(rec->Q[k]))
            break;
        if (int st = EscPressed(k))
            return EndLoad(rec, st);
    }
    // The values after a word that does not convert stay 0; the abort check
    // still comes at its indices.
    for (int j = (k + 24999) / 25000 * 25000; j < rec->Len; j += 25000)
        if (int st = EscPressed(j))
            return EndLoad(rec, st);
    return EndLoad(rec, 0);
}

// DATE, TIME and INTERVAL lines and the rest of the header.  Date and time
// are read once, so the two lines always name the same second.
static bool WriteHeader(SafeOut &out, const char *head, const IqRec &rec)
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char date[32], clock[32];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &tm);
    std::strftime(date, sizeof date, "%m-%d-%Y", &tm);
    float interval = float(rec.Len) / rec.Rat;
    return out.puts(head) &&
           out.printf("DATE %s\nTIME %s\nINTERVAL %0.6E\nVERT_UNITS volt\nHORZ_UNITS sec\nCOMMENT\nDATA\n", date,
                      clock, double(interval));
}

static bool WriteChannel(SafeOut &out, const char *head, const IqRec &rec, const float *a)
{
    if (!WriteHeader(out, head, rec))
        return false;
    TextBuf t(out);
    for (int k = 0; k < rec.Len; ++k)
        if (!t.sci(a[k], 7) || !t.ch('\n'))
            return false;
    return t.flush();
}

int SaveDDspSgl(IqRec rec)
{
    if (!Writable(rec))
        return -1;
    SafeOut oi(rec.INam), oq(rec.QNam);
    bool ok = BothOf(
        [&] {
            return WriteChannel(oi, "DATASET i\nVERSION NEXT\nNUM SIGS 1\nSTORAGE MODE INTERLACED\nSIGNAL i\n", rec,
                                rec.I);
        },
        [&] {
            return WriteChannel(oq, "DATASET q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL q\n", rec,
                                rec.Q);
        });
    if (!ok || oi.commit() != 0 || oq.commit() != 0)
        return -1;
    return 0;
}

int SaveDDspMix(IqRec rec)
{
    if (!Writable(rec))
        return -1;
    SafeOut out(rec.INam);
    if (!WriteHeader(out, "DATASET i_q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL i, q\n", rec))
        return -1;
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
