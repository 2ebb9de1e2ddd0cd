// SPW and ADS signal files: a keyword header that carries the sample rate
// and the number of points, then the samples as text (one file per channel,
// or "I Q" pairs in one file) or as big-endian doubles (SPW binary).
//
// The readers look for three lines in order and ignore all others, so files
// of our writers and of the simulation tools themselves load alike:
//   a line beginning "Sampling": its fourth word is the sample rate;
//   a later line beginning "Number": its fifth word is the point count;
//   a later data marker: "$DATA" or "$DATA ASCII" on a line of its own (text),
//   or a line beginning "$DATA BINARY" (binary; the samples follow its "\n").
// A header that ends before all three are found, or a count that is negative
// or larger than the rest of the file could hold, is not such a file (-9).
#include "samples.h"
#include "textscan.h"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <string_view>

using namespace iqs;

namespace {

enum class Marker { Text, Binary };

bool StartsWith(std::string_view line, std::string_view word) { return line.substr(0, word.size()) == word; }

bool IsMarker(std::string_view line, Marker m)
{
    if (m == Marker::Binary)
        return StartsWith(line, "$DATA BINARY");
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line == "$DATA" || line == "$DATA ASCII";
}

// Reads lines through next(line) (false at the end of the file) until one
// satisfies want; -3 when the abort flag is set meanwhile, -9 at the end.
template <class Next, class Want>
int SeekLine(Next &next, Want want)
{
    std::string_view line;
    for (;;) {
        if (EscFlg)
            return IQ_ERR_ABORT;
        if (!next(line))
            return IQ_ERR_FORMAT;
        if (want(line))
            return 0;
    }
}

// Word k (from 0) of a line, words separated by white space as scanf's "%s"
// sees them; empty when the line has fewer words.
std::string_view Word(std::string_view line, int k)
{
    auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    size_t p = 0;
    for (;; k--) {
        while (p < line.size() && space(line[p]))
            p++;
        size_t e = p;
        while (e < line.size() && !space(line[e]))
            e++;
        if (k == 0)
            return line.substr(p, e - p);
        if (e == p)
            return {};
        p = e;
    }
}

// The header search.  rate is null when the file's sample rate is not wanted
// (the Q file of a two-file pair).  A keyword line whose word does not parse
// leaves rate or count as they were.  Numbers are read without regard to
// the process locale, which a program may have set to a decimal comma.
template <class Next>
int SearchHeader(Next &next, float *rate, long long *count, Marker m)
{
    int st = 0;
    if (rate)
        st = SeekLine(next, [rate](std::string_view l) {
            if (!StartsWith(l, "Sampling"))
                return false;
            std::string_view w = Word(l, 3);
            ParseFloat(w.data(), w.data() + w.size(), *rate);
            return true;
        });
    if (st == 0)
        st = SeekLine(next, [count](std::string_view l) {
            if (!StartsWith(l, "Number"))
                return false;
            std::string_view w = Word(l, 4);
            if (!w.empty() && w[0] == '+')
                w.remove_prefix(1);
            auto r = std::from_chars(w.data(), w.data() + w.size(), *count);
            if (r.ec == std::errc::result_out_of_range)
                *count = LLONG_MAX; // refused below as larger than any file
            return true;
        });
    if (st == 0)
        st = SeekLine(next, [m](std::string_view l) { return IsMarker(l, m); });
    return st;
}

// Whole lines of a binary file, leaving the file positioned after the line.
class BinLines {
public:
    explicit BinLines(FILE *fp) : fp_(fp) {}
    ~BinLines() { std::free(buf_); }
    BinLines(const BinLines &) = delete;
    BinLines &operator=(const BinLines &) = delete;
    bool operator()(std::string_view &line)
    {
        ssize_t n = getline(&buf_, &cap_, fp_);
        if (n < 0)
            return false;
        line = std::string_view(buf_, size_t(n));
        return true;
    }

private:
    FILE *fp_;
    char *buf_ = nullptr;
    size_t cap_ = 0;
};

// Lines of a text file through the shared line reader.
auto TextLines(LineReader &in)
{
    return [&in](std::string_view &line) {
        char *b, *e;
        if (!in.next(b, e))
            return false;
        line = std::string_view(b, size_t(e - b));
        return true;
    };
}

// A text file of size bytes holds at most one sample per byte (one line each).
int CheckTextCount(long long count, long long size)
{
    return count < 0 || count > INT_MAX || count > size ? IQ_ERR_FORMAT : 0;
}

int ReadAscSg(InFile &fi, InFile &fq, IqRec *rec)
{
    LineReader li(fi.fp), lq(fq.fp);
    long long ni = 0, nq = 0;
    auto nexti = TextLines(li);
    if (int st = SearchHeader(nexti, &rec->Rat, &ni, Marker::Text))
        return st;
    if (int st = CheckTextCount(ni, fi.size))
        return st;
    auto nextq = TextLines(lq);
    if (int st = SearchHeader(nextq, nullptr, &nq, Marker::Text))
        return st;
    if (int st = CheckTextCount(nq, fq.size))
        return st;
    rec->Len = int(ni < nq ? ni : nq);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    if (int st = AscRd(li, rec->Len, false, false, rec, EscPressed))
        return st;
    return AscRd(lq, rec->Len, false, true, rec, EscPressed);
}

int ReadAscMx(InFile &f, IqRec *rec)
{
    LineReader in(f.fp);
    long long n = 0;
    auto next = TextLines(in);
    if (int st = SearchHeader(next, &rec->Rat, &n, Marker::Text))
        return st;
    if (int st = CheckTextCount(n, f.size))
        return st;
    rec->Len = int(n);
    if (int st = AllocBulk(rec, rec->Len))
        return st;
    return AscRd(in, rec->Len, true, false, rec, EscPressed);
}

int ReadSpwBin(InFile &f, IqRec *rec)
{
    long long count = 0;
    int st;
    {
        BinLines lines(f.fp);
        st = SearchHeader(lines, &rec->Rat, &count, Marker::Binary);
    }
    if (st)
        return st;
    if (count < 0 || count > INT_MAX || count > f.left() / 16)
        return IQ_ERR_FORMAT;
    rec->Len = int(count);
    if ((st = AllocBulk(rec, rec->Len)))
        return st;
    return ReadPairs(f.fp, size_t(count), Enc::F64BE, rec->I, rec->Q);
}

} // namespace

extern "C" int LoadAscSg(IqRec *rec)
{
    return LoadFilePair(rec, Input::Spooled, ReadAscSg);
}

extern "C" int LoadAscMx(IqRec *rec)
{
    return LoadFile(rec, Input::Spooled, ReadAscMx);
}

extern "C" int LoadBin(IqRec *rec)
{
    return LoadFile(rec, Input::Spooled, ReadSpwBin, SpoolLimit(16));
}

extern "C" int SaveSPWBin(IqRec rec)
{
    // The header goes through the locale-free formatter: a program may have
    // set a locale with a decimal comma, which printf would follow.
    std::string h = "$SIGNAL_FILE 9\n$USER_COMMENT\n\n$COMMON_INFO\n"
                    "SPW Version        = 4.70\nSystem Type        = solaris2\nSampling Frequency = ";
    char num[kNumRoom];
    h.append(num, FmtFixed(num, rec.Rat, 1));
    h += "\nStarting Time      = 0.0\n$DATA_INFO\nNumber of points   = " + std::to_string(rec.Len) +
         "\nSignal Type        = Double\nComplex Format     = Real_Imag\n$DATA BINARY\n";
    return SaveOne(rec, (long long)h.size() + 16LL * rec.Len, [&rec, &h](SafeOut &out) {
        return out.write(h.data(), h.size()) && WritePairs(out, Enc::F64BE, rec.I, rec.Q, size_t(rec.Len));
    });
}

namespace {

// One channel file of SaveADSSgl: header, one "%0.7e" value per line, "END".
bool WriteAdsChannel(SafeOut &out, const IqRec &rec, const float *x)
{
    TextBuf t(out);
    t.str("$SIGNAL_FILE 9\n$USER_COMMENT\n\n$COMMON_INFO\nSPW Version 3.0\n\nSampling Frequency = ");
    t.fixed(rec.Rat, 1);
    t.str("\nStarting Time = 0.0\n$DATA_INFO\nNumber of Points = ");
    t.str(std::to_string(rec.Len));
    t.str("\nSignal Type = Double\n$DATA\n");
    for (int k = 0; k < rec.Len; k++)
        if (!t.sci(x[k], 7) || !t.ch('\n'))
            return false;
    return t.str("END\n") && t.flush();
}

} // namespace

extern "C" int SaveADSSgl(IqRec rec)
{
    return SavePair(
        rec, kTextHeadLen + (kSci7Len + 1) * rec.Len, [&rec](SafeOut &out) { return WriteAdsChannel(out, rec, rec.I); },
        [&rec](SafeOut &out) { return WriteAdsChannel(out, rec, rec.Q); });
}

extern "C" int SaveADSMix(IqRec rec)
{
    return SaveOne(rec, kTextHeadLen + (2 * kSci8Len + 2) * rec.Len, [&rec](SafeOut &out) {
        TextBuf t(out);
        t.str("$SIGNAL_FILE 9\nUSER_COMMENT\n\nCOMMON_INFO\n");
        t.str(rec.Typ == 15 ? "ADS Version        =\n" : "SPW Version        =\n");
        t.str("System Type        =\nSampling Frequency = ");
        t.fixed(rec.Rat, 1);
        t.str("\nStarting Time      = 0.0\n$DATA_INFO\nNumber of Points   = ");
        t.str(std::to_string(rec.Len));
        t.str("\nSignal Type        = Real_Imag\n$DATA ASCII\n");
        for (int k = 0; k < rec.Len; k++)
            if (!t.sci(rec.I[k], 8) || !t.ch(' ') || !t.sci(rec.Q[k], 8) || !t.ch('\n'))
                return false;
        return t.flush();
    });
}
