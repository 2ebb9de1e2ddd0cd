// Formatted I/O, written once for every backend on top of Session::read and
// Session::write.  The write side walks the printf format itself (rather
// than handing it to vsnprintf) so that viQueryf knows where the write
// arguments end and the read arguments begin.
#include "session.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kalvisa {

namespace {

// Formatted replies longer than this are read to their end but not kept.
constexpr size_t kMaxLine = 1 << 20;

struct Conversion {
    std::string flags;
    int width = -1;
    int precision = -1;
    std::string length;  // "", "hh", "h", "l", "ll", "L", "z", "j", "t"
    char conv = 0;
};

// Parses one conversion after '%'; '*' width and precision come from args.
const char *parseConversion(const char *p, Conversion &s, va_list *ap) {
    while (*p && std::strchr("-+ #0", *p)) s.flags += *p++;
    if (*p == '*') {
        s.width = va_arg(*ap, int);
        ++p;
    } else if (std::isdigit(static_cast<unsigned char>(*p))) {
        s.width = int(std::strtol(p, const_cast<char **>(&p), 10));
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            s.precision = va_arg(*ap, int);
            ++p;
        } else {
            s.precision = int(std::strtol(p, const_cast<char **>(&p), 10));
        }
    }
    while (*p && std::strchr("hlLzjt", *p)) s.length += *p++;
    s.conv = *p;
    return *p ? p + 1 : p;
}

template <class T>
void append(std::string &out, const Conversion &s, const char *convLen, T value) {
    std::string f = "%" + s.flags;
    if (s.width >= 0) f += std::to_string(s.width);
    if (s.precision >= 0) {
        f += '.';
        f += std::to_string(s.precision);
    }
    f += convLen;
    int n = std::snprintf(nullptr, 0, f.c_str(), value);
    if (n <= 0) return;
    size_t old = out.size();
    out.resize(old + size_t(n) + 1);
    std::snprintf(&out[old], size_t(n) + 1, f.c_str(), value);
    out.resize(old + size_t(n));
}

ViStatus formatOne(std::string &out, const Conversion &s, va_list *ap) {
    const std::string &l = s.length;
    std::string cl = std::string(1, s.conv);
    switch (s.conv) {
    case 'd':
    case 'i':
        if (l == "ll" || l == "j") append(out, s, ("ll" + cl).c_str(), va_arg(*ap, long long));
        else if (l == "l" || l == "z" || l == "t") append(out, s, ("l" + cl).c_str(), va_arg(*ap, long));
        else append(out, s, cl.c_str(), va_arg(*ap, int));
        return VI_SUCCESS;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        if (l == "ll" || l == "j") append(out, s, ("ll" + cl).c_str(), va_arg(*ap, unsigned long long));
        else if (l == "l" || l == "z" || l == "t") append(out, s, ("l" + cl).c_str(), va_arg(*ap, unsigned long));
        else append(out, s, cl.c_str(), va_arg(*ap, unsigned));
        return VI_SUCCESS;
    case 'c': append(out, s, "c", va_arg(*ap, int)); return VI_SUCCESS;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (l == "L") append(out, s, ("L" + cl).c_str(), va_arg(*ap, long double));
        else append(out, s, cl.c_str(), va_arg(*ap, double));
        return VI_SUCCESS;
    case 's': {
        const char *str = va_arg(*ap, const char *);
        append(out, s, "s", str ? str : "");
        return VI_SUCCESS;
    }
    case 'p': append(out, s, "p", va_arg(*ap, void *)); return VI_SUCCESS;
    default: return VI_ERROR_NSUP_FMT;  // VISA's %b, %y and arrays are not used here
    }
}

ViStatus formatAll(std::string &out, const char *fmt, va_list *ap) {
    if (!fmt) return VI_ERROR_USER_BUF;
    for (const char *p = fmt; *p;) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        Conversion s;
        p = parseConversion(p + 1, s, ap);
        ViStatus st = formatOne(out, s, ap);
        if (st != VI_SUCCESS) return st;
    }
    return VI_SUCCESS;
}

// ---- Scanning one reply line -------------------------------------------

struct Scanner {
    const std::string &in;
    size_t pos = 0;
    void skipSpace() {
        while (pos < in.size() && std::isspace(static_cast<unsigned char>(in[pos]))) ++pos;
    }
    // The next field: at most width characters, or up to the line end.
    std::string field(int width) const {
        size_t n = in.size() - pos;
        if (width > 0) n = std::min(n, size_t(width));
        return in.substr(pos, n);
    }
};

template <class T>
void store(void *dst, T v) {
    *static_cast<T *>(dst) = v;
}

ViStatus scanInteger(Scanner &sc, const Conversion &s, bool suppress, va_list *ap) {
    sc.skipSpace();
    std::string f = sc.field(s.width);
    int base = s.conv == 'x' || s.conv == 'X' ? 16 : s.conv == 'o' ? 8 : s.conv == 'i' ? 0 : 10;
    char *end = nullptr;
    long long v = (s.conv == 'd' || s.conv == 'i') ? std::strtoll(f.c_str(), &end, base)
                                                   : (long long)std::strtoull(f.c_str(), &end, base);
    if (end == f.c_str()) return VI_ERROR_INV_FMT;
    sc.pos += size_t(end - f.c_str());
    if (suppress) return VI_SUCCESS;
    void *dst = va_arg(*ap, void *);
    if (s.length == "hh") store(dst, (signed char)v);
    else if (s.length == "h") store(dst, (short)v);
    else if (s.length == "l") store(dst, (long)v);
    else if (s.length == "ll") store(dst, v);
    else store(dst, (int)v);
    return VI_SUCCESS;
}

ViStatus scanFloat(Scanner &sc, const Conversion &s, bool suppress, va_list *ap) {
    sc.skipSpace();
    std::string f = sc.field(s.width);
    char *end = nullptr;
    long double v = std::strtold(f.c_str(), &end);
    if (end == f.c_str()) return VI_ERROR_INV_FMT;
    sc.pos += size_t(end - f.c_str());
    if (suppress) return VI_SUCCESS;
    void *dst = va_arg(*ap, void *);
    if (s.length == "l") store(dst, double(v));
    else if (s.length == "L") store(dst, v);
    else store(dst, float(v));
    return VI_SUCCESS;
}

// %s, %c, %t and %[...] copy text.  With '#' the buffer size comes as an
// argument before the buffer (VISA's convention) and bounds the copy.
ViStatus scanText(Scanner &sc, Conversion &s, const char *&p, bool suppress, bool sized, va_list *ap) {
    std::string set;
    bool negate = false;
    if (s.conv == '[') {
        if (*p == '^') negate = true, ++p;
        if (*p == ']') set += *p++;
        while (*p && *p != ']') set += *p++;
        if (*p != ']') return VI_ERROR_NSUP_FMT;
        ++p;
    }
    ViUInt32 *sizeArg = sized && !suppress ? va_arg(*ap, ViUInt32 *) : nullptr;
    char *dst = suppress ? nullptr : va_arg(*ap, char *);
    if (s.conv == 's') sc.skipSpace();
    size_t limit = s.conv == 'c' && s.width < 0 ? 1 : std::string::npos;
    if (s.width > 0) limit = size_t(s.width);
    bool terminate = s.conv != 'c';
    if (sizeArg) limit = std::min<size_t>(limit, *sizeArg ? *sizeArg - (terminate ? 1 : 0) : 0);
    size_t n = 0;
    while (sc.pos + n < sc.in.size() && n < limit) {
        char c = sc.in[sc.pos + n];
        if (s.conv == 's' && std::isspace(static_cast<unsigned char>(c))) break;
        if (s.conv == '[' && (set.find(c) == std::string::npos) != negate) break;
        ++n;
    }
    if (n == 0 && s.conv != 't' && s.conv != 'c') return VI_ERROR_INV_FMT;
    if (dst) {
        std::memcpy(dst, sc.in.data() + sc.pos, n);
        // %Nc stops early at the end of the reply; a terminator then marks
        // where the text ends.
        if (terminate || n < limit) dst[n] = '\0';
    }
    if (sizeArg) *sizeArg = ViUInt32(n);
    sc.pos += n;
    return VI_SUCCESS;
}

ViStatus scanAll(const std::string &line, const char *fmt, va_list *ap) {
    if (!fmt) return VI_ERROR_USER_BUF;
    Scanner sc{line};
    for (const char *p = fmt; *p;) {
        if (std::isspace(static_cast<unsigned char>(*p))) {
            sc.skipSpace();
            ++p;
            continue;
        }
        if (*p != '%' || p[1] == '%') {
            char want = *p;
            p += *p == '%' ? 2 : 1;
            if (sc.pos >= line.size() || line[sc.pos] != want) return VI_ERROR_INV_FMT;
            ++sc.pos;
            continue;
        }
        ++p;
        bool suppress = *p == '*' ? (++p, true) : false;
        bool sized = *p == '#' ? (++p, true) : false;
        Conversion s;
        if (std::isdigit(static_cast<unsigned char>(*p))) s.width = int(std::strtol(p, const_cast<char **>(&p), 10));
        while (*p && std::strchr("hlL", *p)) s.length += *p++;
        s.conv = *p ? *p++ : 0;
        ViStatus st;
        switch (s.conv) {
        case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': st = scanInteger(sc, s, suppress, ap); break;
        case 'f': case 'e': case 'g': case 'E': case 'G': case 'F': case 'a': st = scanFloat(sc, s, suppress, ap); break;
        case 's': case 'c': case 't': case '[': st = scanText(sc, s, p, suppress, sized, ap); break;
        case 'n':
            if (!suppress) *va_arg(*ap, int *) = int(sc.pos);
            st = VI_SUCCESS;
            break;
        default: st = VI_ERROR_NSUP_FMT;
        }
        if (st != VI_SUCCESS) return st;
    }
    return VI_SUCCESS;
}

ViStatus writeFormatted(Session &s, const char *fmt, va_list *ap) {
    std::string cmd;
    ViStatus st = formatAll(cmd, fmt, ap);
    if (st != VI_SUCCESS) return st;
    // Instruments on a byte stream act on a command at its line feed.
    if (cmd.empty() || cmd.back() != '\n') cmd += '\n';
    ViUInt32 done = 0;
    return s.write(reinterpret_cast<const ViByte *>(cmd.data()), ViUInt32(cmd.size()), &done);
}

// One reply line without its terminator.  Empty lines are skipped: a bare
// terminator left over from an earlier binary block is never a reply.
ViStatus readLine(Session &s, std::string &line) {
    std::string chunk(std::max<ViUInt32>(s.readBufSize(), 64), '\0');
    line.clear();
    bool overflow = false;
    for (;;) {
        ViUInt32 got = 0;
        ViStatus st = s.read(reinterpret_cast<ViByte *>(chunk.data()), ViUInt32(chunk.size()), &got, true);
        if (st < 0) return st;
        if (!overflow) line.append(chunk.data(), got);
        if (line.size() > kMaxLine) {
            line.resize(kMaxLine);
            overflow = true;
        }
        if (st == VI_SUCCESS_MAX_CNT) continue;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!line.empty() || overflow) return VI_SUCCESS;
    }
}

ViStatus readFormatted(Session &s, const char *fmt, va_list *ap) {
    std::string line;
    ViStatus st = readLine(s, line);
    return st == VI_SUCCESS ? scanAll(line, fmt, ap) : st;
}

}  // namespace

}  // namespace kalvisa

using namespace kalvisa;

namespace {

// The va_list calls all work on their own copy of the caller's list, so that
// the write and the read half of a query walk the one list in turn.
template <class Transfer>
ViStatus withSession(ViSession vi, ViVAList args, Transfer transfer) {
    auto s = findSession(vi);
    if (!s) return VI_ERROR_INV_OBJECT;
    va_list ap;
    va_copy(ap, args);
    ViStatus st = transfer(*s, &ap);
    va_end(ap);
    return st;
}

}  // namespace

extern "C" ViStatus viVPrintf(ViSession vi, ViConstString fmt, ViVAList args) {
    return withSession(vi, args, [fmt](Session &s, va_list *ap) { return writeFormatted(s, fmt, ap); });
}

extern "C" ViStatus viVScanf(ViSession vi, ViConstString fmt, ViVAList args) {
    return withSession(vi, args, [fmt](Session &s, va_list *ap) { return readFormatted(s, fmt, ap); });
}

extern "C" ViStatus viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ViVAList args) {
    return withSession(vi, args, [writeFmt, readFmt](Session &s, va_list *ap) {
        ViStatus st = writeFormatted(s, writeFmt, ap);
        return st == VI_SUCCESS ? readFormatted(s, readFmt, ap) : st;
    });
}

// The variadic forms only gather their arguments: va_start has to stand in
// the function that takes the "...".
extern "C" ViStatus viPrintf(ViSession vi, ViConstString fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    ViStatus st = viVPrintf(vi, fmt, ap);
    va_end(ap);
    return st;
}

extern "C" ViStatus viScanf(ViSession vi, ViConstString fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    ViStatus st = viVScanf(vi, fmt, ap);
    va_end(ap);
    return st;
}

extern "C" ViStatus viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    ViStatus st = viVQueryf(vi, writeFmt, readFmt, ap);
    va_end(ap);
    return st;
}
