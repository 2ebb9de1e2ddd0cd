// Line reader, number scanners and white-space reading of the text formats.
#include "textscan.h"

#include <climits>
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------------------
// LineReader
// ---------------------------------------------------------------------------

LineReader::LineReader(FILE *fp, size_t chunk) : fp_(fp), buf_(chunk + 1), cap_(chunk) {}

LineReader::LineReader(FILE *fp, size_t chunk, long long limit) : LineReader(fp, chunk)
{
    left_ = limit < 0 ? 0 : limit;
}

// Moves the unread rest to the front and reads more after it, doubling the
// buffer when a single line fills all of it.
bool LineReader::refill()
{
    // An abort request ends every reader's file here, on whichever thread it
    // reads; the loader then reports the abort (ReadStatus).
    if (!eof_ && AbortRequested())
        eof_ = true;
    if (eof_)
        return false;
    size_t rest = len_ - pos_;
    if (pos_ > 0 && rest > 0)
        std::memmove(buf_.data(), buf_.data() + pos_, rest);
    pos_ = 0;
    len_ = rest;
    if (len_ == cap_) {
        cap_ *= 2;
        buf_.resize(cap_ + 1);
    }
    size_t want = cap_ - len_;
    if (left_ >= 0 && (long long)want > left_)
        want = size_t(left_);
    size_t got = want ? std::fread(buf_.data() + len_, 1, want, fp_) : 0;
    if (left_ >= 0)
        left_ -= (long long)got;
    len_ += got;
    if (got == 0) {
        eof_ = true;
        failed_ = std::ferror(fp_) != 0;
        return false;
    }
    return true;
}

bool LineReader::next(char *&begin, char *&end)
{
    size_t from = pos_; // where the search for LF goes on after a refill
    for (;;) {
        char *base = buf_.data();
        char *lf = static_cast<char *>(std::memchr(base + from, '\n', len_ - from));
        if (lf || (eof_ && pos_ < len_)) {
            begin = base + pos_;
            end = lf ? lf : base + len_;
            pos_ = lf ? size_t(lf - base) + 1 : len_;
            if (end > begin && end[-1] == '\r')
                --end;
            *end = '\0';
            return true;
        }
        if (eof_)
            return false;
        from = len_ - pos_;
        refill();
        from = std::min(from, len_);
    }
}

bool LineReader::nextBlock(char *&begin, char *&end)
{
    size_t from = pos_;
    for (;;) {
        char *base = buf_.data();
        char *lf = static_cast<char *>(memrchr(base + from, '\n', len_ - from));
        if (lf || (eof_ && pos_ < len_)) {
            begin = base + pos_;
            end = lf ? lf + 1 : base + len_;
            pos_ = size_t(end - base);
            return true;
        }
        if (eof_)
            return false;
        from = len_ - pos_;
        refill();
        from = std::min(from, len_);
    }
}

// Number of LF bytes in [p, e): sixteen at a time where SSE2 is there (every
// x86-64), else eight at a time in a 64-bit word.
long long CountLF(const char *p, const char *e)
{
    long long n = 0;
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n');
    while (e - p >= 16) {
        // Up to 255 rounds of 0/-1 per byte into one accumulator, then a sum.
        __m128i acc = _mm_setzero_si128();
        for (int round = 0; round < 255 && e - p >= 16; ++round, p += 16)
            acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), lf));
        __m128i sum = _mm_sad_epu8(acc, _mm_setzero_si128());
        n += _mm_cvtsi128_si64(sum) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sum, sum));
    }
#else
    const uint64_t lo7 = 0x7f7f7f7f7f7f7f7fULL;
    const uint64_t lfs = 0x0a0a0a0a0a0a0a0aULL;
    for (; e - p >= 8; p += 8) {
        uint64_t x;
        std::memcpy(&x, p, 8);
        x ^= lfs; // LF bytes become 0
        uint64_t nz = (((x & lo7) + lo7) | x) & ~lo7; // high bit set for every non-zero byte
        n += 8 - (long long)(((nz >> 7) * 0x0101010101010101ULL) >> 56);
    }
#endif
    for (; p < e; ++p)
        n += *p == '\n';
    return n;
}

long long LineReader::countLines(int (*due)())
{
    long long n = 0;
    bool partial = false; // the data seen so far end inside a line
    do {
        if (len_ > pos_) {
            n += CountLF(buf_.data() + pos_, buf_.data() + len_);
            partial = buf_[len_ - 1] != '\n';
        }
        pos_ = len_;
        if (due)
            due(); // a count of gigabytes takes seconds
    } while (refill());
    return n + (partial ? 1 : 0);
}

size_t LineReader::read(void *dst, size_t n)
{
    size_t have = std::min(n, len_ - pos_);
    std::memcpy(dst, buf_.data() + pos_, have);
    pos_ += have;
    if (have == n)
        return n;
    size_t got = std::fread(static_cast<char *>(dst) + have, 1, n - have, fp_);
    if (got < n - have && std::ferror(fp_))
        failed_ = true;
    return have + got;
}

bool LineReader::rewind()
{
    // A failed read is not forgotten: the pass that met it was incomplete.
    if (failed_ || std::ferror(fp_))
        return false;
    pos_ = len_ = 0;
    eof_ = false;
    return std::fseek(fp_, 0, SEEK_SET) == 0;
}

// ---------------------------------------------------------------------------
// Number parsing: the rare out-of-range values go through the C library
// ---------------------------------------------------------------------------

namespace textscan_detail {

locale_t CLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(0));
    return c;
}

// std::from_chars leaves the value alone on overflow and underflow, where
// strtod gives inf or 0 (or the nearest denormal); strtod_l in the "C"
// locale gives exactly that for the text that from_chars recognised.
const char *ParseRangeError(const char *first, const char *last, double &v)
{
    std::string s(first, last);
    v = strtod_l(s.c_str(), nullptr, CLocale());
    return last;
}

const char *ParseRangeError(const char *first, const char *last, float &v)
{
    std::string s(first, last);
    v = strtof_l(s.c_str(), nullptr, CLocale());
    return last;
}

const double kExact10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// ---------------------------------------------------------------------------
// "%0.<prec>e" without printf
// ---------------------------------------------------------------------------
//
// The prec+1 digits D are v * 10^(prec-k) rounded to an integer, k being the
// decimal exponent.  For 1e-290 <= v <= 1e290 (every float among them) and
// prec <= 8 the product is formed in double from the exact v and a power of
// ten that is correct to one unit in the last place: its error stays below
// 4e-7 while D < 10^9.  Elsewhere it is formed in x87 extended precision,
// which keeps the error below 1e-7 for D < 10^10.  Only a product that lies
// within 1e-5 of a rounding tie (....5) needs the exact digits; it takes
// std::to_chars, as do inf and nan.

namespace {

struct Pow10Tables {
    double d[601];       // 10^s for s = -300 .. 300
    long double ld[701]; // 10^s for s = -350 .. 350
    Pow10Tables()
    {
        for (int s = -300; s <= 300; ++s)
            d[s + 300] = std::abs(s) <= 22 ? (s < 0 ? 1.0 / kExact10[-s] : kExact10[s]) : double(powl(10.0L, s));
        for (int s = -350; s <= 350; ++s)
            ld[s + 350] = powl(10.0L, s);
        // 1.0 / 1e22 is not exact, but 1e-22 as a literal is the correctly rounded value.
        for (int s = 1; s <= 22; ++s)
            d[300 - s] = double(powl(10.0L, -s));
    }
};

const Pow10Tables &Pow10()
{
    static const Pow10Tables t;
    return t;
}

constexpr uint64_t kIntPow10[11] = {1,      10,      100,      1000,      10000,     100000,
                                    1000000, 10000000, 100000000, 1000000000, 10000000000ULL};

// D and k by the x87 way, for values outside the double way's range.
bool DigitsLong(double v, int prec, uint64_t &digits, int &k)
{
    int e2;
    std::frexp(v, &e2);
    k = int(std::floor((e2 - 1) * 0.30102999566398120));
    long double x;
    for (;;) {
        x = (long double)v * Pow10().ld[prec - k + 350];
        if (x < (long double)kIntPow10[prec])
            --k;
        else if (x >= (long double)kIntPow10[prec + 1])
            ++k;
        else
            break;
    }
    digits = uint64_t(x);
    long double frac = x - (long double)digits;
    if (fabsl(frac - 0.5L) < 1e-5L)
        return false;
    digits += frac > 0.5L;
    return true;
}

// D and k in double arithmetic: 1e-290 <= v <= 1e290, prec <= 8.
inline bool DigitsDouble(double v, int prec, uint64_t &digits, int &k)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    int e2 = int((bits >> 52) & 0x7ff) - 1023; // v = 1.f * 2^e2
    k = (e2 * 78913) >> 18;                    // floor(e2 * log10(2)), or one less
    const double lo = double(kIntPow10[prec]), hi = double(kIntPow10[prec + 1]);
    double x = v * Pow10().d[prec - k + 300];
    if (x >= hi) {
        ++k;
        x = v * Pow10().d[prec - k + 300];
    } else if (x < lo) {
        --k;
        x = v * Pow10().d[prec - k + 300];
    }
    digits = uint64_t(x);
    double frac = x - double(digits);
    if (std::fabs(frac - 0.5) < 1e-5)
        return false;
    digits += frac > 0.5;
    return true;
}

// The eight decimal digits of d < 10^8, with leading zeros, all at once:
// d splits into two 4-digit lanes, each into two 2-digit lanes, each into
// two digits, by multiplications that stand in for the divisions.
inline void Write8Digits(char *out, uint32_t d)
{
    uint64_t v = uint64_t(d / 10000) | (uint64_t(d % 10000) << 32);
    uint64_t hi = ((v * 10486) >> 20) & 0x0000007F0000007FULL; // /100 in each lane
    v = hi | ((v - hi * 100) << 16);
    uint64_t tens = ((v * 103) >> 10) & 0x000F000F000F000FULL; // /10 in each lane
    v = tens | ((v - tens * 10) << 8);
    v |= 0x3030303030303030ULL;
    std::memcpy(out, &v, 8);
}

} // namespace

char *FmtSciFast(char *p, double v, int prec, bool upper)
{
    if (std::signbit(v)) {
        *p++ = '-';
        v = -v;
    }
    uint64_t digits = 0;
    int k = 0;
    if (v != 0) {
        bool exact = prec <= 8 && v >= 1e-290 && v <= 1e290 ? DigitsDouble(v, prec, digits, k)
                                                            : DigitsLong(v, prec, digits, k);
        if (!exact) {
            char *e = std::to_chars(p, p + kNumRoom, v, std::chars_format::scientific, prec).ptr;
            if (upper)
                for (char *q = p; q < e; ++q)
                    if (*q == 'e')
                        *q = 'E';
            return e;
        }
        if (digits == kIntPow10[prec + 1]) { // 9.99...95 rounded up to 10.00...0
            digits = kIntPow10[prec];
            ++k;
        }
    }
    char tmp[16] = {}; // prec+1 digits, the first before the point
    if (prec == 7) {
        Write8Digits(tmp, uint32_t(digits));
    } else if (prec == 8) {
        tmp[0] = char('0' + digits / 100000000);
        Write8Digits(tmp + 1, uint32_t(digits % 100000000));
    } else {
        for (int i = prec; i >= 0; --i, digits /= 10)
            tmp[i] = char('0' + digits % 10);
    }
    *p++ = tmp[0];
    *p++ = '.';
    std::memcpy(p, tmp + 1, size_t(prec));
    p += prec;
    *p++ = upper ? 'E' : 'e';
    *p++ = k < 0 ? '-' : '+';
    unsigned a = unsigned(k < 0 ? -k : k);
    if (a >= 100) {
        *p++ = char('0' + a / 100);
        a %= 100;
    }
    *p++ = char('0' + a / 10);
    *p++ = char('0' + a % 10);
    return p;
}

} // namespace textscan_detail

// ---------------------------------------------------------------------------
// Scanners
// ---------------------------------------------------------------------------

char *AfterJunk(char *line, char *p, char *end)
{
    for (; p < end; ++p) {
        switch (*p) {
        case ' ':
        case ',':
        case '\t':
            continue;
        case '\n':
        case '\r':
        case '%':
        case '\0':
            return nullptr;
        case 'j':
            *p = (p > line && p[-1] == '-') ? '-' : '+';
            return p;
        default:
            return p;
        }
    }
    return nullptr;
}

char *AfterData(char *p, char *end)
{
    for (; p < end; ++p) {
        switch (*p) {
        case ' ':
        case ',':
        case '\t':
        case 'j':
            return p;
        case '\n':
        case '\r':
        case '%':
        case '\0':
            return nullptr;
        default:
            break;
        }
    }
    return nullptr;
}

// Calls f(position) for every number of the line [b, e).
template <class F> static inline bool EachNumber(char *b, char *e, F f)
{
    for (char *q = AfterJunk(b, b, e); q;) {
        if (!f(q))
            return false;
        q = AfterData(q, e);
        if (q)
            q = AfterJunk(b, q, e);
    }
    return true;
}

int AscRd(LineReader &in, int n, bool mixed, bool qflag, IqRec *rec, int (*tick)(int))
{
    float *first = qflag ? rec->Q : rec->I;
    char *b, *e;
    for (int k = 0; k < n && in.next(b, e); ++k) {
        if (int st = tick ? tick(k) : 0)
            return st;
        int m = 0;
        ForEachValue(b, e, [&](float v) {
            if (mixed && (m++ & 1))
                rec->Q[k] = v;
            else
                first[k] = v;
            return true;
        });
    }
    return 0;
}

// A number of the sweep that is not of printf's "%e" shape, or too close to
// the block's end to be read sixteen bytes at a time.  Returns the end of the
// number, or p (with v 0) when nothing converts.
static __attribute__((noinline)) const char *OtherNumber(char *p, char *e, double &v)
{
    v = 0;
    if (textscan_detail::IsCSpace(*p)) { // strtod would skip it, but not beyond the line
        char *lf = static_cast<char *>(std::memchr(p, '\n', size_t(e - p)));
        ParseDouble(p, lf ? lf : e, v);
        return p;
    }
    const char *after = ParseDouble(p, e, v);
    return after ? after : p;
}

size_t SweepNumbers(Sweep &s, float *out, size_t room)
{
    using namespace textscan_detail;
    char *p = s.p, *line = s.line, *const e = s.end;
    float *o = out, *const full = out + room;
    while (p < e && o < full) {
        switch (ClassOf(*p)) {
        case kSep:
            ++p;
            continue;
        case kLF:
            line = ++p;
            continue;
        case kEndOfLine: { // the rest of the line is not read
            char *lf = *p == '\r' && e - p >= 2 && p[1] == '\n'
                           ? p + 1
                           : static_cast<char *>(std::memchr(p, '\n', size_t(e - p)));
            p = lf ? lf : e;
            continue;
        }
        case kJ:
            *p = (p > line && p[-1] == '-') ? '-' : '+';
            break;
        default:
            break;
        }
        for (;;) { // numbers at p, as long as one separator or line end leads to the next
            double v;
            const char *after = e - p >= 17 ? ParseSignedSci(p, v) : nullptr;
            if (!after)
                after = OtherNumber(p, e, v);
            *o++ = float(v);
            char *q = const_cast<char *>(after);
            if (q == p)
                ++q;
            if (e - q >= 2 && ClassOf(q[1]) == kWord && o < full) {
                const unsigned char c = ClassOf(*q);
                if (c == kSep) {
                    p = q + 1;
                    continue;
                }
                if (c == kLF) {
                    line = p = q + 1;
                    continue;
                }
            }
            // Over the rest of the word, to the next separator, 'j' or line end.
            while (q < e && ClassOf(*q) == kWord)
                ++q;
            p = q;
            break;
        }
    }
    s.p = p;
    s.line = line;
    return size_t(o - out);
}

void CollectValues(LineReader &in, std::vector<float> &out)
{
    CollectValuesWith(in, [&](const float *v, size_t n) { out.insert(out.end(), v, v + n); });
}

int MCadRd(LineReader &in, bool counting, int *counter, bool mixed, bool qflag, IqRec *rec, int cap,
           int (*due)())
{
    long long cnt = 0;
    bool second = false; // mixed: the next number is a Q value
    float *a = qflag ? rec->Q : rec->I;
    char *b, *e;
    // Events every 1024 lines: a line costs far less than a look at the clock.
    long long lines = 0;
    auto stop = [&lines, due] { return (++lines & 1023) == 0 && due && due() != 0; };
    if (counting) {
        while (in.next(b, e) && !stop())
            EachNumber(b, e, [&](char *) { return ++cnt, true; });
        if (mixed)
            cnt /= 2;
    } else {
        bool more = cap > 0;
        while (more && in.next(b, e) && !stop()) {
            more = ForEachValue(b, e, [&](float v) {
                if (!mixed)
                    a[cnt++] = v;
                else if (!second)
                    rec->I[cnt] = v, second = true;
                else
                    rec->Q[cnt++] = v, second = false;
                return cnt < cap;
            });
        }
    }
    if (AbortRequested())
        return IQ_ERR_ABORT;
    if (!in.rewind())
        return IQ_ERR_OPEN1;
    if (cnt > INT_MAX) {
        *counter = 0;
        return IQ_ERR_ALLOC_I;
    }
    *counter = int(cnt);
    return 0;
}

// ---------------------------------------------------------------------------
// White-space separated numbers
// ---------------------------------------------------------------------------

size_t ScanFloats(char *&p, char *end, float *out, size_t room, bool *stuck)
{
    using textscan_detail::IsCSpace;
    char *q = p;
    size_t n = 0;
    for (; n < room; ++n) {
        while (q < end && IsCSpace(*q))
            ++q;
        if (q == end)
            break;
        const char *after = end - q >= 17 ? textscan_detail::ParseSignedSci(q, out[n]) : nullptr;
        if (!after && !(after = ParseFloat(q, end, out[n]))) {
            *stuck = true;
            break;
        }
        q += after - q;
    }
    p = q;
    return n;
}

// ---------------------------------------------------------------------------
// WordScan
// ---------------------------------------------------------------------------

bool WordScan::skipSpace()
{
    for (;;) {
        while (p_ < end_ && textscan_detail::IsCSpace(*p_))
            ++p_;
        if (p_ < end_)
            return true;
        if (!in_.nextBlock(p_, end_)) {
            p_ = end_ = nullptr;
            return false;
        }
    }
}

bool WordScan::word(std::string &w, size_t max)
{
    if (!skipSpace())
        return false;
    char *q = p_;
    while (q < end_ && size_t(q - p_) < max && !textscan_detail::IsCSpace(*q))
        ++q;
    w.assign(p_, q);
    p_ = q;
    return true;
}
