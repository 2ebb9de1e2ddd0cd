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

using iqs::InFile;
using iqs::Input;
using iqs::LoadFile;
using iqs::LoadFilePair;

// Reads up to and including the "DATA" line; false when the file has none.
static bool SkipToData(LineReader &in)
{
    char *b, *e;
    while (in.next(b, e))
        if (std::string_view(b, size_t(e - b)) == "DATA")
            return true;
    return false;
}

// The number of lines after the DATA line into n; the reader is left right
// after the DATA line.  IQ_ERR_FORMAT without one, IQ_ERR_OPEN1 when the file
// cannot be read again from its start.
static int DataLines(LineReader &in, long long &n)
{
    if (!SkipToData(in))
        return IQ_ERR_FORMAT;
    n = in.countLines(EscDue);
    if (!in.rewind())
        return IQ_ERR_OPEN1;
    SkipToData(in);
    return 0;
}

// Both files are read twice (counted, then read), so neither may be a pipe.
static int ReadDDspSgl(InFile &fi, InFile &fq, IqRec *rec)
{
    LineReader li(fi.fp), lq(fq.fp);
    long long ni = -1, nq = -1;
    int si = 0, sq = 0;
    BothOf([&] { return (si = DataLines(li, ni)) == 0; }, [&] { return (sq = DataLines(lq, nq)) == 0; });
    if (si != 0 || sq != 0)
        return si != 0 ? si : sq == IQ_ERR_OPEN1 ? IQ_ERR_OPEN2 : sq;
    long long n = std::min(ni, nq);
    if (n > INT_MAX)
        return IQ_ERR_ALLOC_I;
    if (int st = AllocIq(rec, int(n)))
        return st;
    WordScan wi(li), wq(lq);
    return ReadTwoChannels(
        rec->Len, [&](const std::function<bool(int)> &tick) { return ReadFloats(wi, rec->I, rec->Len, tick); },
        [&](const std::function<bool(int)> &tick) { return ReadFloats(wq, rec->Q, rec->Len, tick); });
}

int LoadDDspSgl(IqRec *rec)
{
    return LoadFilePair(rec, Input::Seekable, ReadDDspSgl);
}

static int ReadDDspMix(InFile &f, IqRec *rec)
{
    LineReader in(f.fp);
    long long n = 0;
    if (int st = DataLines(in, n))
        return st;
    if (n > INT_MAX)
        return IQ_ERR_ALLOC_I;
    if (int st = AllocIq(rec, int(n)))
        return st;
    WordScan ws(in);
    int k = 0;
    for (; k < rec->Len; ++k) {
        if (!ws.num(rec->I[k]) || !ws.num(rec->Q[k]))
            break;
        if (int st = EscPressed(k))
            return st;
    }
    // The values after a word that does not convert stay 0; the abort check
    // still comes at its indices.
    for (int j = (k + 24999) / 25000 * 25000; j < rec->Len; j += 25000)
        if (int st = EscPressed(j))
            return st;
    return 0;
}

int LoadDDspMix(IqRec *rec)
{
    return LoadFile(rec, Input::Seekable, ReadDDspMix);
}

// DATE, TIME and INTERVAL lines and the rest of the header.  Date and time
// are read once, so the two lines always name the same second; the interval
// goes through the locale-free formatter, as printf would follow a program's
// decimal comma.
static bool WriteHeader(SafeOut &out, const char *head, const IqRec &rec)
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char date[32], clock[32];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &tm);
    std::strftime(date, sizeof date, "%m-%d-%Y", &tm);
    float interval = float(rec.Len) / rec.Rat;
    TextBuf t(out, 1024);
    return t.str(head) && t.str("DATE ") && t.str(date) && t.str("\nTIME ") && t.str(clock) &&
           t.str("\nINTERVAL ") && t.sci(double(interval), 6, true) &&
           t.str("\nVERT_UNITS volt\nHORZ_UNITS sec\nCOMMENT\nDATA\n") && t.flush();
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
    return SavePair(
        rec, kTextHeadLen + (kSci7Len + 1) * rec.Len,
        [&rec](SafeOut &out) {
            return WriteChannel(out, "DATASET i\nVERSION NEXT\nNUM SIGS 1\nSTORAGE MODE INTERLACED\nSIGNAL i\n", rec,
                                rec.I);
        },
        [&rec](SafeOut &out) {
            return WriteChannel(out, "DATASET q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL q\n", rec,
                                rec.Q);
        });
}

int SaveDDspMix(IqRec rec)
{
    return SaveOne(rec, kTextHeadLen + kPairLineLen * rec.Len, [&rec](SafeOut &out) {
        return WriteHeader(out, "DATASET i_q\nVERSION NEXT\nNUM SIGS 2\nSTORAGE MODE INTERLACED\nSIGNAL i, q\n",
                           rec) &&
               WritePairLines(out, rec);
    });
}
