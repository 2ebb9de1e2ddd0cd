// Sample encodings and block I/O shared by the binary containers.
#include "samples.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <unistd.h>

namespace iqs {
namespace {

constexpr bool kLittle = std::endian::native == std::endian::little;

inline uint8_t Swap(uint8_t v) { return v; }
inline uint16_t Swap(uint16_t v) { return __builtin_bswap16(v); }
inline uint32_t Swap(uint32_t v) { return __builtin_bswap32(v); }
inline uint64_t Swap(uint64_t v) { return __builtin_bswap64(v); }

template <class T>
T Load(const unsigned char *p, bool big)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    if (big == kLittle)
        v = Swap(v);
    return v;
}

template <class T>
void Store(unsigned char *p, T v, bool big)
{
    if (big == kLittle)
        v = Swap(v);
    std::memcpy(p, &v, sizeof v);
}

template <class T>
T SatInt(double v)
{
    if (std::isnan(v))
        return 0;
    v = std::trunc(v);
    if (v <= double(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (v >= double(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return T(v);
}

// One value of each encoding: raw bits of the stored type, byte order, and
// conversion to and from float.
template <Enc E> struct Codec;
template <class Bits, class Val, bool Big> struct IntCodec {
    static constexpr size_t size = sizeof(Bits);
    static float get(const unsigned char *p) { return float(Val(Load<Bits>(p, Big))); }
    static void put(unsigned char *p, float v, double scale)
    {
        Store<Bits>(p, Bits(SatInt<Val>(v * scale)), Big);
    }
};
template <class Bits, class Val, bool Big> struct FloatCodec {
    static constexpr size_t size = sizeof(Bits);
    static float get(const unsigned char *p) { return float(std::bit_cast<Val>(Load<Bits>(p, Big))); }
    static void put(unsigned char *p, float v, double scale)
    {
        Val x = scale == 1.0 ? Val(v) : Val(v * scale);
        Store<Bits>(p, std::bit_cast<Bits>(x), Big);
    }
};
template <> struct Codec<Enc::F32LE> : FloatCodec<uint32_t, float, false> {};
template <> struct Codec<Enc::F32BE> : FloatCodec<uint32_t, float, true> {};
template <> struct Codec<Enc::F64LE> : FloatCodec<uint64_t, double, false> {};
template <> struct Codec<Enc::F64BE> : FloatCodec<uint64_t, double, true> {};
template <> struct Codec<Enc::I32LE> : IntCodec<uint32_t, int32_t, false> {};
template <> struct Codec<Enc::I32BE> : IntCodec<uint32_t, int32_t, true> {};
template <> struct Codec<Enc::U32LE> : IntCodec<uint32_t, uint32_t, false> {};
template <> struct Codec<Enc::U32BE> : IntCodec<uint32_t, uint32_t, true> {};
template <> struct Codec<Enc::I16LE> : IntCodec<uint16_t, int16_t, false> {};
template <> struct Codec<Enc::I16BE> : IntCodec<uint16_t, int16_t, true> {};
template <> struct Codec<Enc::U16LE> : IntCodec<uint16_t, uint16_t, false> {};
template <> struct Codec<Enc::U16BE> : IntCodec<uint16_t, uint16_t, true> {};
template <> struct Codec<Enc::I8> : IntCodec<uint8_t, int8_t, false> {};
template <> struct Codec<Enc::U8> : IntCodec<uint8_t, uint8_t, false> {};

template <Enc E> struct Bulk {
    using C = Codec<E>;
    static void dec(const unsigned char *s, size_t n, float *d)
    {
        for (size_t k = 0; k < n; k++)
            d[k] = C::get(s + k * C::size);
    }
    static void dec2(const unsigned char *s, size_t n, float *i, float *q)
    {
        for (size_t k = 0; k < n; k++) {
            i[k] = C::get(s + 2 * k * C::size);
            q[k] = C::get(s + (2 * k + 1) * C::size);
        }
    }
    static void enc(const float *s, size_t n, unsigned char *d, double scale)
    {
        for (size_t k = 0; k < n; k++)
            C::put(d + k * C::size, s[k], scale);
    }
    static void enc2(const float *i, const float *q, size_t n, unsigned char *d, double scale)
    {
        for (size_t k = 0; k < n; k++) {
            C::put(d + 2 * k * C::size, i[k], scale);
            C::put(d + (2 * k + 1) * C::size, q[k], scale);
        }
    }
};

// Calls F<E>::run(args...) for the runtime encoding e.
template <template <Enc> class F, class... A>
void Dispatch(Enc e, A... a)
{
    switch (e) {
    case Enc::F32LE: F<Enc::F32LE>::run(a...); break;
    case Enc::F32BE: F<Enc::F32BE>::run(a...); break;
    case Enc::F64LE: F<Enc::F64LE>::run(a...); break;
    case Enc::F64BE: F<Enc::F64BE>::run(a...); break;
    case Enc::I32LE: F<Enc::I32LE>::run(a...); break;
    case Enc::I32BE: F<Enc::I32BE>::run(a...); break;
    case Enc::U32LE: F<Enc::U32LE>::run(a...); break;
    case Enc::U32BE: F<Enc::U32BE>::run(a...); break;
    case Enc::I16LE: F<Enc::I16LE>::run(a...); break;
    case Enc::I16BE: F<Enc::I16BE>::run(a...); break;
    case Enc::U16LE: F<Enc::U16LE>::run(a...); break;
    case Enc::U16BE: F<Enc::U16BE>::run(a...); break;
    case Enc::I8: F<Enc::I8>::run(a...); break;
    case Enc::U8: F<Enc::U8>::run(a...); break;
    }
}
template <Enc E> struct DecOp { static void run(const unsigned char *s, size_t n, float *d) { Bulk<E>::dec(s, n, d); } };
template <Enc E> struct Dec2Op {
    static void run(const unsigned char *s, size_t n, float *i, float *q) { Bulk<E>::dec2(s, n, i, q); }
};
template <Enc E> struct EncOp {
    static void run(const float *s, size_t n, unsigned char *d, double c) { Bulk<E>::enc(s, n, d, c); }
};
template <Enc E> struct Enc2Op {
    static void run(const float *i, const float *q, size_t n, unsigned char *d, double c)
    {
        Bulk<E>::enc2(i, q, n, d, c);
    }
};

} // namespace

size_t EncSize(Enc e)
{
    switch (e) {
    case Enc::F64LE:
    case Enc::F64BE: return 8;
    case Enc::F32LE:
    case Enc::F32BE:
    case Enc::I32LE:
    case Enc::I32BE:
    case Enc::U32LE:
    case Enc::U32BE: return 4;
    case Enc::I8:
    case Enc::U8: return 1;
    default: return 2;
    }
}

void Decode(Enc e, const unsigned char *src, size_t n, float *dst) { Dispatch<DecOp>(e, src, n, dst); }
void Decode2(Enc e, const unsigned char *src, size_t n, float *i, float *q)
{
    Dispatch<Dec2Op>(e, src, n, i, q);
}
void Encode(Enc e, const float *src, size_t n, unsigned char *dst, double scale)
{
    Dispatch<EncOp>(e, src, n, dst, scale);
}
void Encode2(Enc e, const float *i, const float *q, size_t n, unsigned char *dst, double scale)
{
    Dispatch<Enc2Op>(e, i, q, n, dst, scale);
}

int16_t SatI16(double v) { return SatInt<int16_t>(v); }
int32_t SatI32(double v) { return SatInt<int32_t>(v); }

double GetF64LE(const unsigned char *p) { return std::bit_cast<double>(Load<uint64_t>(p, false)); }
double GetF64BE(const unsigned char *p) { return std::bit_cast<double>(Load<uint64_t>(p, true)); }
void PutF64LE(unsigned char *p, double v) { Store<uint64_t>(p, std::bit_cast<uint64_t>(v), false); }

namespace {
void AdviseHuge(void *p, size_t bytes)
{
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (bytes < 2 * kHuge)
        return;
    uintptr_t a = (uintptr_t(p) + kHuge - 1) & ~(kHuge - 1), e = (uintptr_t(p) + bytes) & ~(kHuge - 1);
    if (e > a)
        madvise(reinterpret_cast<void *>(a), e - a, MADV_HUGEPAGE); // advice only: failure changes nothing
}
} // namespace

int AllocBulk(IqRec *rec, int n)
{
    int st = AllocIq(rec, n);
    if (st == 0 && n > 0) {
        AdviseHuge(rec->I, sizeof(float) * size_t(n));
        AdviseHuge(rec->Q, sizeof(float) * size_t(n));
    }
    return st;
}

long long FileSize(FILE *fp)
{
    struct stat st;
    if (fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

namespace {
FILE *OpenInput(const char *path)
{
    int own = DescriptorOf(path);
    if (own < 0)
        return std::fopen(path, "rb");
    int fd = ::fcntl(own, F_DUPFD_CLOEXEC, 3);
    FILE *fp = fd >= 0 ? fdopen(fd, "rb") : nullptr;
    if (!fp && fd >= 0)
        ::close(fd);
    return fp;
}

// Half the memory the system can still give: the spooled input stays in
// memory (a memory file), and the arrays made from it need room beside it.
// More would push other programs out or bring the out-of-memory killer.
long long MemoryBound()
{
    long long kib = -1;
    if (FILE *f = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1)
                break;
        std::fclose(f);
    }
    if (kib >= 0)
        return kib * 1024 / 2;
    struct sysinfo si {};
    if (::sysinfo(&si) != 0)
        return std::numeric_limits<long long>::max();
    return ((long long)si.freeram + (long long)si.bufferram) * (long long)si.mem_unit / 2;
}

// Copies all of in into the memory file out, at most limit bytes, looking at
// the abort flag (and letting the window live) between two megabytes: a
// device or a fast endless pipe would otherwise fill the memory.  Returns 0,
// -3 or -1 with errno set.
int Spool(int in, int out, long long limit, long long &total)
{
    std::vector<char> buf(size_t(1) << 20);
    for (total = 0;;) {
        if (EscDue() != 0)
            return IQ_ERR_ABORT;
        ssize_t got = ::read(in, buf.data(), buf.size());
        if (got < 0 && errno == EINTR)
            continue; // the next round looks at the flag a signal may have set
        if (got < 0) {
            errno = EIO;
            return -1;
        }
        if (got == 0)
            return 0;
        if (total + got > limit) {
            errno = EFBIG;
            return -1;
        }
        for (ssize_t at = 0; at < got;) {
            ssize_t put = ::write(out, buf.data() + at, size_t(got - at));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0) // out of memory
                return -1;
            at += put;
        }
        total += got;
    }
}
} // namespace

InFile::InFile(const char *path) : fp(OpenInput(path))
{
    struct stat st;
    if (!fp)
        return;
    int err = fstat(fileno(fp), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    if (err != 0) {
        std::fclose(fp);
        fp = nullptr;
        errno = err;
        return;
    }
    size = S_ISREG(st.st_mode) ? st.st_size : -1;
}

int InFile::ready(Input how, int fail, long long limit)
{
    if (!fp)
        return fail;
    if (regular() || how == Input::Streamed)
        return 0;
    if (how == Input::Seekable) {
        errno = ESPIPE;
        return fail;
    }
    int fd = memfd_create("VmKalLib-input", MFD_CLOEXEC);
    if (fd < 0)
        return fail;
    long long total = 0;
    // Nothing has been read through fp yet, so its descriptor is at the start.
    int st = Spool(fileno(fp), fd, std::min(limit, MemoryBound()), total);
    FILE *mem = st == 0 ? fdopen(fd, "rb") : nullptr;
    if (!mem) {
        int err = st == 0 ? EIO : errno;
        ::close(fd);
        errno = st == IQ_ERR_ABORT ? EINTR : err;
        return st == IQ_ERR_ABORT ? st : fail;
    }
    std::fclose(fp);
    fp = mem;
    size = total;
    std::rewind(fp);
    return 0;
}

int ReadStatus(int st, const InFile &fi, const InFile *fq)
{
    if (AbortRequested())
        return IQ_ERR_ABORT;
    if (fi.failed() || (fq && fq->failed())) {
        errno = EIO;
        return fi.failed() ? IQ_ERR_OPEN1 : IQ_ERR_OPEN2;
    }
    return st;
}

int ReadChannel(FILE *fp, size_t n, Enc e, float *dst)
{
    if (e != Enc::F32LE || !kLittle)
        return ReadBlocks(fp, n, EncSize(e), [e, dst](const unsigned char *b, size_t first, size_t count) {
            Decode(e, b, count, dst + first);
        });
    for (size_t first = 0; first < n; first += kStep) {
        size_t count = n - first < kStep ? n - first : kStep;
        if (fread(dst + first, 4, count, fp) != count)
            return IQ_ERR_FORMAT;
        if (int st = EscPressed(int(first)))
            return st;
    }
    return 0;
}

int ReadPairs(FILE *fp, size_t n, Enc e, float *i, float *q)
{
    return ReadBlocks(fp, n, 2 * EncSize(e), [=](const unsigned char *b, size_t first, size_t count) {
        Decode2(e, b, count, i + first, q + first);
    });
}

bool WritePairs(SafeOut &out, Enc e, const float *i, const float *q, size_t n, double scale)
{
    return WriteBlocks(out, n, 2 * EncSize(e), [=](unsigned char *b, size_t first, size_t count) {
        Encode2(e, i + first, q + first, count, b, scale);
    });
}

bool WriteF32Channel(SafeOut &out, const float *src, size_t n)
{
    if (kLittle)
        return n == 0 || out.write(src, 4 * n);
    return WriteBlocks(out, n, 4, [src](unsigned char *b, size_t first, size_t count) {
        Encode(Enc::F32LE, src + first, count, b);
    });
}

} // namespace iqs
