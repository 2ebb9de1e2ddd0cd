// Text input and output shared by the text formats of VmKalLib: a line reader
// that hands out whole lines of any length, the number scanners of the
// free-form readers, and number formatting that gives exactly the texts of
// printf's "%0.7e", "%0.8e", "%0.6E" and "%0.1lf" without going through
// printf once per value.  Not installed.
#pragma once

#include "iqinternal.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// Line reader
// ---------------------------------------------------------------------------

// Reads a file (opened in binary mode) line by line through one growing
// buffer.  A line is handed out whole whatever its length, so a number is
// never split at a buffer boundary; its LF or CR LF is removed and a NUL is
// stored right after it, so sscanf and friends can be used on it too.  The
// text of a line may be changed in place (the 'j' rewriting of AfterJunk)
// and stays valid until the next call.
class LineReader {
public:
    explicit LineReader(FILE *fp, size_t chunk = size_t(1) << 20);
    // Reads at most limit bytes from the file's current position: one part
    // of a file that several threads read at once.
    LineReader(FILE *fp, size_t chunk, long long limit);
    LineReader(const LineReader &) = delete;
    LineReader &operator=(const LineReader &) = delete;

    // Next line as [begin, end) with *end == '\0'; false at end of file.
    bool next(char *&begin, char *&end);
    // All whole lines now in the buffer (at least one), LFs and CRs kept, as
    // [begin, end) (not NUL-terminated: *end is the next line's first byte);
    // false at end of file.  For readers that need no line structure, or
    // find it themselves.
    bool nextBlock(char *&begin, char *&end);
    // Counts the remaining lines without handing them out (a last line
    // without LF counts; an empty file has none).  Leaves the reader at end
    // of file.  due, where given, runs between two blocks (EscDue).
    long long countLines(int (*due)() = nullptr);
    // Raw bytes after the lines read so far (binary data after a text
    // header); returns the count actually read.
    size_t read(void *dst, size_t n);
    // Back to the start of the file; false when the file cannot seek or a
    // read of it has failed.
    bool rewind();
    // True when a read of the file failed (as opposed to its ending).
    bool failed() const { return failed_; }

private:
    bool refill();

    FILE *fp_;
    std::vector<char> buf_; // one spare byte beyond cap_ for the NUL of a last line
    size_t cap_;
    long long left_ = -1; // bytes still allowed to be read, -1 without limit
    size_t pos_ = 0; // first byte not yet handed out
    size_t len_ = 0; // end of valid data
    bool eof_ = false;
    bool failed_ = false;
};

// Number of LF bytes in [p, e).
long long CountLF(const char *p, const char *e);

// ---------------------------------------------------------------------------
// Number parsing
// ---------------------------------------------------------------------------

namespace textscan_detail {
locale_t CLocale();
const char *ParseRangeError(const char *first, const char *last, double &v);
const char *ParseRangeError(const char *first, const char *last, float &v);

inline bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
inline bool IsDigit(char c) { return unsigned(c - '0') < 10; }

extern const double kExact10[23]; // 1e0 .. 1e22, all exact doubles

// Zero in every byte of w that is a decimal digit: high nibble 3, low nibble
// below 10.
inline uint64_t NonDigitBytes(uint64_t w)
{
    return ((w & 0xF0F0F0F0F0F0F0F0ULL) ^ 0x3030303030303030ULL) |
           (((w & 0x0F0F0F0F0F0F0F0FULL) + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL);
}

// The value of the first run (1..8) digits of w, the text's first byte in the
// lowest one: the digits are moved up so that zeros lead, then combined in
// pairs, fours and eights by three multiplications.
inline uint64_t RunValue(uint64_t w, int run)
{
    uint64_t t = (w - 0x3030303030303030ULL) << (8 * (8 - run));
    t = t * 10 + (t >> 8);
    t = (((t & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
         (((t >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
        32;
    return t & 0xFFFFFFFFULL;
}

// Appends the run of decimal digits at q to m; returns its length.  Eight
// bytes at a time where the text is long enough.
inline int DigitRun(const char *&q, const char *end, uint64_t &m)
{
    static constexpr uint64_t kPow[9] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    int n = 0;
    while (end - q >= 8) {
        uint64_t w;
        std::memcpy(&w, q, 8);
        uint64_t nondigit = NonDigitBytes(w);
        int run = nondigit ? __builtin_ctzll(nondigit) / 8 : 8;
        if (run == 0)
            return n;
        m = m * kPow[run] + RunValue(w, run);
        q += run;
        n += run;
        if (run < 8)
            return n;
    }
    for (; q < end && IsDigit(*q); ++q, ++n)
        m = m * 10 + uint64_t(*q - '0');
    return n;
}

// Correctly rounded m * 10^e10 in double, for m <= 2^53 and |e10| <= 22.
// For a float the double is narrowed, which is exact unless the double lies
// on a midpoint between two floats (or outside the normal float range); such
// values return false and take the general way.
template <class T> __attribute__((always_inline)) inline bool ExactProduct(uint64_t m, int e10, bool neg, T &v)
{
    double d;
    if (m == 0)
        d = 0.0;
    else if (m <= (uint64_t(1) << 53) && unsigned(e10 + 22) <= 44)
        d = e10 < 0 ? double(m) / kExact10[-e10] : double(m) * kExact10[e10];
    else
        return false;
    if constexpr (sizeof(T) == sizeof(float)) {
        if (d != 0.0) {
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            if (d < 0x1p-126 || d > 0x1.fffffep127 || (bits & 0x1fffffff) == 0x10000000)
                return false;
        }
    }
    v = T(neg ? -d : d);
    return true;
}

// The shape that printf's "%e" gives, d.ddddddde+dd, with 0 to 7 digits
// after the point, read without a loop: the lead digit takes the place of the
// point in one 8-byte word, which then holds the whole digit run, and the
// exponent is checked in one 4-byte word.  At least 14 bytes must follow p.
template <class T> __attribute__((always_inline)) inline const char *ParseSci(const char *p, bool neg, T &v)
{
    uint64_t w;
    std::memcpy(&w, p + 1, 8);
    if ((w & 0xFF) != '.')
        return nullptr;
    w = (w & ~uint64_t(0xFF)) | static_cast<unsigned char>(p[0]);
    const uint64_t nondigit = NonDigitBytes(w);
    if (nondigit & 0xFF) // no digit before the point
        return nullptr;
    const int run = nondigit ? __builtin_ctzll(nondigit) >> 3 : 8; // digits, the lead one included
    const char *x = p + 1 + run;
    uint32_t ex; // 'e' or 'E', sign, two digits
    std::memcpy(&ex, x, 4);
    const uint32_t head = (ex | 0x20) & 0xFFFF;
    const uint32_t nondigits = ((ex & 0xF0F00000) ^ 0x30300000) | (((ex & 0x0F0F0000) + 0x06060000) & 0xF0F00000);
    if (((head != ('e' | '+' << 8)) & (head != ('e' | '-' << 8))) | (nondigits != 0) | IsDigit(x[4]))
        return nullptr;
    const int exp = int(((ex >> 16) & 0xF) * 10 + ((ex >> 24) & 0xF));
    if (!ExactProduct(RunValue(w, run), (head >> 8 == '-' ? -exp : exp) - (run - 1), neg, v))
        return nullptr;
    return x + 4;
}

#ifdef __SSE2__
// Exactly what printf's "%0.7e" writes, d.ddddddde+dd, recognised by where
// its digits are in one 16-byte load.  At least 16 bytes must follow p.
template <class T> __attribute__((always_inline)) inline const char *ParseSci7(const char *p, bool neg, T &v)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i t = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    const unsigned digits = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(9)), t)));
    uint16_t head; // 'e' or 'E' and the exponent's sign
    std::memcpy(&head, p + 9, 2);
    head |= 0x20;
    // Digits at 0, 2..8, 11 and 12, none at 13.
    if (((digits & 0x39FD) != 0x19FD) | (p[1] != '.') | ((head != ('e' | '+' << 8)) & (head != ('e' | '-' << 8))))
        return nullptr;
    uint64_t w;
    std::memcpy(&w, p + 1, 8);
    w = (w & ~uint64_t(0xFF)) | static_cast<unsigned char>(p[0]);
    const int exp = (p[11] - '0') * 10 + (p[12] - '0');
    if (!ExactProduct(RunValue(w, 8), (head >> 8 == '-' ? -exp : exp) - 7, neg, v))
        return nullptr;
    return p + 13;
}
#endif

// ParseSci of a number with its sign, where at least 17 bytes follow p.
template <class T> __attribute__((always_inline)) inline const char *ParseSignedSci(const char *p, T &v)
{
    const bool neg = *p == '-';
    p += neg || *p == '+';
#ifdef __SSE2__
    if (const char *q = ParseSci7(p, neg, v))
        return q;
#endif
    return ParseSci(p, neg, v);
}

// Plain decimal numbers of up to 19 digits and a small exponent, the kind
// every text file here holds, are converted exactly without the general
// algorithm: the digits form an exact integer m, and m * 10^e (or m / 10^-e)
// with |e| <= 22 is one correctly rounded operation on exact operands.
// Returns nullptr when the text is not of that kind.
template <class T> const char *ParseSimple(const char *p, const char *end, bool neg, T &v)
{
    uint64_t m = 0;
    const char *q = p;
    int digits = 0, fraction = 0;
    for (; q < end && IsDigit(*q); ++q, ++digits) // mostly a single digit before the point
        m = m * 10 + uint64_t(*q - '0');
    if (q < end && *q == '.') {
        ++q;
        fraction = DigitRun(q, end, m);
        digits += fraction;
    }
    if (digits == 0 || digits > 19)
        return nullptr;
    int exp = 0;
    if (q < end && (*q == 'e' || *q == 'E')) {
        const char *x = q + 1;
        bool eneg = false;
        if (x < end && (*x == '+' || *x == '-'))
            eneg = *x++ == '-';
        if (x < end && IsDigit(*x)) {
            int n = 0;
            for (; x < end && IsDigit(*x); ++x, ++n)
                exp = exp * 10 + (*x - '0');
            if (n > 4)
                return nullptr;
            exp = eneg ? -exp : exp;
            q = x;
        }
    }
    if (!ExactProduct(m, exp - fraction, neg, v))
        return nullptr;
    return q;
}

// Everything but the "%e" shape: plain decimals of up to 19 digits exactly,
// the rest (hexadecimal, long, out-of-range, inf, nan) through from_chars.
template <class T>
__attribute__((noinline)) const char *ParseGeneral(const char *first, const char *p, const char *end, bool neg, T &v)
{
    bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (!hex)
        if (const char *q = ParseSimple(p, end, neg, v))
            return q;
    T x = 0;
    std::from_chars_result r;
    if (hex) {
        if (end - p > 2 && p[2] != '-' && p[2] != '+')
            r = std::from_chars(p + 2, end, x, std::chars_format::hex);
        else
            r = {p + 2, std::errc::invalid_argument};
        if (r.ec == std::errc::invalid_argument) { // "0x" with no hex digits is the number 0
            r.ptr = p + 1;
            r.ec = std::errc();
            x = 0;
        }
    } else {
        r = std::from_chars(p, end, x, std::chars_format::general);
    }
    if (r.ec == std::errc::invalid_argument)
        return nullptr;
    if (r.ec == std::errc::result_out_of_range)
        return ParseRangeError(first, r.ptr, v);
    v = neg ? -x : x;
    return r.ptr;
}

// The part of strtod's syntax that std::from_chars leaves out: leading white
// space, a '+' sign and the "0x" prefix of hexadecimal numbers.  Out-of-range
// values (1e999, 1e-999) become inf or 0 exactly as strtod makes them.
template <class T> inline const char *Parse(const char *p, const char *end, T &v)
{
    const char *first = p;
    while (p < end && IsCSpace(*p))
        ++p;
    bool neg = false;
    if (p < end && (*p == '+' || *p == '-')) {
        neg = *p == '-';
        ++p;
        if (p < end && (*p == '+' || *p == '-'))
            return nullptr;
    }
    if (end - p >= 14)
        if (const char *q = ParseSci(p, neg, v))
            return q;
    return ParseGeneral(first, p, end, neg, v);
}
} // namespace textscan_detail

// strtod of the text at p (up to end), without locale: returns the position
// after the number, or nullptr (v unchanged) when nothing converts.
inline const char *ParseDouble(const char *p, const char *end, double &v)
{
    return textscan_detail::Parse(p, end, v);
}

// The same with strtof, which is what scanf's "%f" into a float does.
inline const char *ParseFloat(const char *p, const char *end, float &v)
{
    return textscan_detail::Parse(p, end, v);
}

// ---------------------------------------------------------------------------
// Number formatting
// ---------------------------------------------------------------------------

// Room that is always enough for one formatted number, fixed notation of the
// largest double included.
constexpr size_t kNumRoom = 330;

namespace textscan_detail {
char *FmtSciFast(char *p, double v, int prec, bool upper);
}

// Text of printf("%0.<prec>e") (or "%0.<prec>E" when upper) at p; returns
// the end.  p must have kNumRoom bytes.  No NUL is written.
inline char *FmtSci(char *p, double v, int prec, bool upper = false)
{
    if (prec >= 1 && prec <= 9 && std::isfinite(v))
        return textscan_detail::FmtSciFast(p, v, prec, upper);
    char *e = std::to_chars(p, p + kNumRoom, v, std::chars_format::scientific, prec).ptr;
    if (upper)
        for (char *q = p; q < e; ++q)
            if (*q >= 'a' && *q <= 'z')
                *q = char(*q - 'a' + 'A');
    return e;
}

// The longest texts the formatter gives for a float widened to double (the
// writers' values): "%0.7e" 14 bytes ("-1.1754944e-38"), "%0.8e" 15,
// "%0.6E" 13, "%0.1f" 42 (FLT_MAX has 39 digits); "-nan" and "-inf" are
// shorter.  A file written in place reserves its longest possible size,
// which these give: every byte beyond it is refused (EFBIG).
constexpr long long kSci7Len = 14, kSci8Len = 15, kSci6Len = 13, kFixed1Len = 42;
// Room for a header's fixed words, its numbers and a date: more than any of
// the text writers' headers takes.
constexpr long long kTextHeadLen = 512;

// Text of printf("%0.<prec>f") at p; returns the end.  p must have kNumRoom bytes.
inline char *FmtFixed(char *p, double v, int prec)
{
    return std::to_chars(p, p + kNumRoom, v, std::chars_format::fixed, prec).ptr;
}

// Formatted text output in large blocks to a SafeOut.  Every call reports
// false once a write has failed, so a writer can stop early.
class TextBuf {
public:
    explicit TextBuf(SafeOut &out, size_t cap = size_t(1) << 20) : out_(out), buf_(cap + kNumRoom), cap_(cap) {}
    TextBuf(const TextBuf &) = delete;
    TextBuf &operator=(const TextBuf &) = delete;

    bool str(std::string_view s)
    {
        if (n_ + s.size() > cap_ && !flush())
            return false;
        if (s.size() > cap_)
            return out_.write(s.data(), s.size());
        std::memcpy(buf_.data() + n_, s.data(), s.size());
        n_ += s.size();
        return true;
    }
    bool ch(char c)
    {
        if (n_ >= cap_ && !flush())
            return false;
        buf_[n_++] = c;
        return true;
    }
    // "%0.<prec>e" (upper: "%0.<prec>E")
    bool sci(double v, int prec, bool upper = false)
    {
        if (n_ >= cap_ && !flush())
            return false;
        n_ = size_t(FmtSci(buf_.data() + n_, v, prec, upper) - buf_.data());
        return true;
    }
    // "%0.<prec>f"
    bool fixed(double v, int prec)
    {
        if (n_ >= cap_ && !flush())
            return false;
        n_ = size_t(FmtFixed(buf_.data() + n_, v, prec) - buf_.data());
        return true;
    }
    // Writes what is buffered to the SafeOut; call before SafeOut::finish().
    bool flush()
    {
        bool ok = n_ == 0 || out_.write(buf_.data(), n_);
        n_ = 0;
        return ok && out_.ok();
    }

private:
    SafeOut &out_;
    std::vector<char> buf_;
    size_t cap_;
    size_t n_ = 0;
};

// ---------------------------------------------------------------------------
// Scanners of the free-form number lines
// ---------------------------------------------------------------------------
//
// Separators are space, comma and tab; a line ends at '\n', '\r', '%' (the
// rest is a comment), NUL and its end.  Complex numbers a+jb and a-jb give a
// and then +b or -b.

// From p, skips separators and returns the start of the next number, or
// nullptr when the line ends first.  A 'j' is rewritten in place to the sign
// that precedes it ('-' after '-', else '+') and its position returned.
// line is the start of the line (a 'j' there counts as '+').
char *AfterJunk(char *line, char *p, char *end);

// From p, advances over the current number and returns the position of the
// next separator or 'j', or nullptr when the line ends first.
char *AfterData(char *p, char *end);

// The number at p as the scanners read it (strtod, narrowed to float; 0 when
// nothing converts).
inline float ScanNum(const char *p, const char *end)
{
    double v = 0;
    ParseDouble(p, end, v);
    return float(v);
}

// Calls f(value) for every number of the line [b, e), converted as ScanNum
// does (and rewriting 'j' as AfterJunk does); stops early when f returns false.
template <class F> bool ForEachValue(char *b, char *e, F f)
{
    for (char *q = AfterJunk(b, b, e); q;) {
        double v = 0;
        const char *after = ParseDouble(q, e, v);
        if (textscan_detail::IsCSpace(*q)) // strtod skipped white space that is no separator here
            after = nullptr;
        if (!f(float(v)))
            return false;
        // The characters of a converted number hold no separator and no 'j',
        // so the search for the next one can start where the number ended.
        q = AfterData(after ? const_cast<char *>(after) : q, e);
        if (q)
            q = AfterJunk(b, q, e);
    }
    return true;
}

// The scanners' reading of every number in a block of whole lines, in one
// sweep instead of line by line: the same separators, line ends, comments and
// 'j' rewriting as AfterJunk and AfterData.
namespace textscan_detail {
// What a byte means to the free-form scanners.
enum CharClass : unsigned char { kWord, kSep, kLF, kEndOfLine, kJ };
struct CharClasses {
    unsigned char c[256] = {};
    constexpr CharClasses()
    {
        c[unsigned(' ')] = c[unsigned(',')] = c[unsigned('\t')] = kSep;
        c[unsigned('\n')] = kLF;
        c[unsigned('\r')] = c[unsigned('%')] = c[0] = kEndOfLine;
        c[unsigned('j')] = kJ;
    }
};
inline constexpr CharClasses kClass{};
inline unsigned char ClassOf(char ch) { return kClass.c[static_cast<unsigned char>(ch)]; }
} // namespace textscan_detail

// Where a sweep through a block of whole lines [p, end) stands.
struct Sweep {
    char *p;    // next byte to look at
    char *line; // start of its line: a 'j' there counts as '+'
    char *end;
};

// Stores the numbers of the block from s.p on into out, at most room of them,
// and returns how many; s.p reaches s.end once the block is done.  The values
// are those of ScanNum.
size_t SweepNumbers(Sweep &s, float *out, size_t room);

// Every number of the reader's remaining lines, handed to sink(values, count)
// in batches.
template <class Sink> void CollectValuesWith(LineReader &in, Sink sink)
{
    constexpr size_t kBatch = 4096; // small enough to stay in the first-level cache
    float batch[kBatch];
    char *b, *e;
    while (in.nextBlock(b, e))
        for (Sweep s{b, b, e}; s.p < s.end;)
            if (size_t n = SweepNumbers(s, batch, kBatch))
                sink(static_cast<const float *>(batch), n);
}

// Every number of the file from the reader's position, in order, as the
// free-form readers see them.
void CollectValues(LineReader &in, std::vector<float> &out);

// Reads n lines into slot k = 0..n-1 of I (Q when qflag): every number of a
// line is stored in the same slot, so the last one wins; with mixed set the
// numbers of a line alternate between I[k] and Q[k].  A line without numbers,
// and every slot after an early end of file, stays 0.  The arrays must hold
// n values.  tick(k), where given, runs before line k (EscPressed): a
// non-zero result ends the read with it.  Returns 0 or that result.
int AscRd(LineReader &in, int n, bool mixed, bool qflag, IqRec *rec, int (*tick)(int) = nullptr);

// Visits every number of every line to the end of the file, then rewinds.
// counting: *counter becomes the number of numbers (halved when mixed).
// Otherwise the numbers are stored in order into I (Q when qflag), or
// alternately into I and Q when mixed, at most cap values per channel, and
// *counter becomes the number of values (pairs) stored.
// Returns 0, -7 when the count exceeds what a record can hold, -1 when a read
// failed or the file cannot be rewound, or -3 when EscFlg is set.  due, where
// given, runs every 1024 lines (EscDue) and ends the read when non-zero.
int MCadRd(LineReader &in, bool counting, int *counter, bool mixed, bool qflag, IqRec *rec, int cap,
           int (*due)() = nullptr);

// ---------------------------------------------------------------------------
// White-space separated reading, as with repeated fscanf("%f") / ("%199s")
// ---------------------------------------------------------------------------

// Reads white-space separated numbers (strtof) from p on into out, at most
// room of them, and returns how many; p ends after the last one read.  Stops
// at end, or sets *stuck at a word that does not convert (p then at it).  A
// number must not run on past end: [p, end) holds whole lines.
size_t ScanFloats(char *&p, char *end, float *out, size_t room, bool *stuck);

class WordScan {
public:
    explicit WordScan(LineReader &in) : in_(in) {}
    // The next number (strtof); false, consuming nothing, when the next word
    // does not convert or the file ends.
    bool num(float &v)
    {
        while (p_ < end_ && textscan_detail::IsCSpace(*p_))
            ++p_;
        if (p_ == end_ && !skipSpace())
            return false;
        const char *after = ParseFloat(p_, end_, v);
        if (!after)
            return false;
        p_ += after - p_;
        return true;
    }
    // The next white-space delimited word, at most max characters of it
    // (the rest stays for the next call); false at end of file.
    bool word(std::string &w, size_t max);

private:
    bool skipSpace(); // over white space, into the next block where needed
    LineReader &in_;
    char *p_ = nullptr;
    char *end_ = nullptr;
};

// ---------------------------------------------------------------------------
// Helpers of the text loaders and writers
// ---------------------------------------------------------------------------

// Reads up to n numbers into dst as repeated fscanf("%f") does: the first
// word that does not convert ends the channel, and it and everything after it
// stay 0.  tick(k) runs after sample k for every k that is a multiple of
// 25000, converted or not, and ends the read with -3 when it returns false.
template <class Tick> int ReadFloats(WordScan &ws, float *dst, int n, Tick tick)
{
    int k = 0;
    for (; k < n; ++k) {
        if (!ws.num(dst[k]))
            break;
        if (k % 25000 == 0 && !tick(k))
            return IQ_ERR_ABORT;
    }
    for (int j = (k + 24999) / 25000 * 25000; j < n; j += 25000)
        if (!tick(j))
            return IQ_ERR_ABORT;
    return 0;
}

// Runs readI(tick) on this thread and readQ(tick) on a second one.  The
// event hook and the abort check run on this thread only, at the indices of
// the I channel and then of the Q channel (n samples each; n < 0: the indices
// the Q reader ticks), as in a load that reads one channel after the other.
// Returns 0 or -3.
int ReadTwoChannels(int n, const std::function<int(const std::function<bool(int)> &)> &readI,
                    const std::function<int(const std::function<bool(int)> &)> &readQ);

// Writes n text lines, line(p, k) putting the text of line k at p (at most
// maxLine bytes) and returning its end.  The lines are formatted in blocks on
// two threads and written in order.  False when a write fails.
template <class Line> bool WriteLines(SafeOut &out, int n, size_t maxLine, Line line)
{
    constexpr int kBlock = 1 << 16;
    std::vector<char> a(kBlock * maxLine + kNumRoom), b(kBlock * maxLine + kNumRoom);
    auto fill = [&](std::vector<char> &buf, int first) {
        char *p = buf.data();
        for (int k = first, last = std::min(n, first + kBlock); k < last; ++k)
            p = line(p, k);
        return size_t(p - buf.data());
    };
    for (int first = 0; first < n; first += 2 * kBlock) {
        size_t na = 0, nb = 0;
        bool two = n - first > kBlock;
        BothOf([&] { return na = fill(a, first), true; },
               [&] { return nb = two ? fill(b, first + kBlock) : 0, true; });
        if (!out.write(a.data(), na) || !out.write(b.data(), nb))
            return false;
    }
    return out.ok();
}

// One "%0.7e %0.7e" line per sample, I first: at most kPairLineLen bytes.
constexpr long long kPairLineLen = 2 * kSci7Len + 2;
inline bool WritePairLines(SafeOut &out, const IqRec &rec)
{
    return WriteLines(out, rec.Len, 40, [&rec](char *p, int k) {
        p = FmtSci(p, rec.I[k], 7);
        *p++ = ' ';
        p = FmtSci(p, rec.Q[k], 7);
        *p++ = '\n';
        return p;
    });
}
