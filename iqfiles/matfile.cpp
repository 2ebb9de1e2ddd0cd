// MAT files (format indices 3 and 4) through libmatio.
//
// Reading: the first variable of each file (one file per channel), or the
// first two variables of one file (I, then Q).  Names and shapes are not
// looked at: a variable counts as all of its elements (rows x columns, and
// further dimensions too) in the order the file stores them, which is
// column-major.  Any real numeric class is accepted (double, single, the
// integer classes); complex, sparse, character, cell, structure and object
// variables are refused with IQ_ERR_FORMAT instead of being read as if they
// were doubles; an empty numeric variable is an empty channel.  MAT v4, v5 (also compressed) and v7.3 (HDF5)
// files are read.  A v7.3 file lists its variables in name order, so there
// "first" is the first name in alphabetical order.
//
// libmatio trusts the sizes in the file: a truncated file or a data element
// shorter than its dimensions claim is read without an error, yielding
// whatever the heap held.  So before libmatio reads a v4 or v5 file, the
// variables it will read are checked here against the file: every element
// lies inside the file, the data element holds rows x columns values, and a
// compressed element inflates completely.  No array is allocated before that
// check has passed, so a forged count never leads to a huge allocation.
// HDF5 (v7.3) structures cannot be checked that way; such a file is read by
// a child process instead (see Hdf5Child below).
//
// Writing: MAT v5, uncompressed, with real double variables of 1 row and Len
// columns named "I" and "Q", written here (see "Writing" below) through the
// save policy that every writer of the library follows.
#include "iqinternal.h"
#include "samples.h"

#include <matio.h>
#include <zlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kStep = 25000; // progress step of EscPressed

// libmatio (and HDF5 below it) report problems on stderr by default; the
// library reports them through its status codes instead.
void QuietMatio()
{
    static std::once_flag once;
    std::call_once(once, [] { Mat_LogInitFunc("VmKalLib", [](int, char *) {}); });
}

// ---------------------------------------------------------------------------
// Layout check of v4 and v5 files.

uint32_t Rd32(const unsigned char *p, bool swap)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return swap ? __builtin_bswap32(v) : v;
}

// Bytes per value of a v5 data type, 0 for types that cannot hold numbers.
size_t V5TypeSize(uint32_t type)
{
    switch (type) {
    case 1: case 2: return 1;          // int8, uint8
    case 3: case 4: return 2;          // int16, uint16
    case 5: case 6: case 7: return 4;  // int32, uint32, single
    case 9: case 12: case 13: return 8; // double, int64, uint64
    default: return 0;
    }
}

// One tag of a v5 element: type, byte count, and where its data and the next
// tag start.  The small form packs up to 4 data bytes into the tag itself.
struct Tag {
    uint32_t type = 0;
    uint32_t bytes = 0;
    size_t data = 0;
    size_t next = 0;
};

bool ReadTag(const unsigned char *buf, size_t avail, size_t pos, bool swap, Tag &t)
{
    if (pos + 8 > avail)
        return false;
    uint32_t w = Rd32(buf + pos, swap);
    if (w >> 16) { // small data element
        t.type = w & 0xffff;
        t.bytes = w >> 16;
        if (t.bytes > 4)
            return false;
        t.data = pos + 4;
        t.next = pos + 8;
        return true;
    }
    t.type = w;
    t.bytes = Rd32(buf + pos + 4, swap);
    t.data = pos + 8;
    t.next = t.data + ((size_t(t.bytes) + 7) & ~size_t(7));
    return true;
}

// Where the values of an uncompressed variable lie: they are read from there
// directly, in large blocks (libmatio reads and converts 8 KiB at a time).
// off < 0 when the variable is compressed or in an HDF5 file.
struct Span {
    long long off = -1;
    uint32_t type = 0; // v5 data type code
    bool swap = false;
};

// Checks the head of a v5 matrix element (the bytes after its own tag, of
// which avail are in buf and total exist): a real numeric, non-sparse array
// whose data element holds every value and lies inside the element.
int CheckV5Matrix(const unsigned char *buf, size_t avail, size_t total, bool swap,
                  Span *span = nullptr)
{
    Tag flags, dims, name, pr;
    if (!ReadTag(buf, avail, 0, swap, flags) || flags.type != 6 || flags.bytes != 8 ||
        flags.next > avail)
        return IQ_ERR_FORMAT;
    uint32_t f = Rd32(buf + flags.data, swap);
    unsigned cls = f & 0xff;
    if (cls < MAT_C_DOUBLE || cls > MAT_C_UINT64 || (f & MAT_F_COMPLEX))
        return IQ_ERR_FORMAT;
    if (!ReadTag(buf, avail, flags.next, swap, dims) || dims.type != 5 || dims.bytes < 8 ||
        dims.bytes % 4 != 0 || dims.next > avail)
        return IQ_ERR_FORMAT;
    unsigned long long n = 1;
    for (size_t k = 0; k < dims.bytes / 4; ++k) {
        uint32_t d = Rd32(buf + dims.data + 4 * k, swap);
        if (d > INT32_MAX)
            return IQ_ERR_FORMAT;
        n *= d;
        if (n > INT_MAX)
            return IQ_ERR_FORMAT;
    }
    if (!ReadTag(buf, avail, dims.next, swap, name) || name.type != 1 || name.next > avail)
        return IQ_ERR_FORMAT;
    if (!ReadTag(buf, avail, name.next, swap, pr))
        return IQ_ERR_FORMAT;
    size_t size = V5TypeSize(pr.type);
    if (size == 0 || pr.bytes < n * size || pr.data + pr.bytes > total)
        return IQ_ERR_FORMAT;
    if (span) {
        span->off = (long long)pr.data;
        span->type = pr.type;
        span->swap = swap;
    }
    return 0;
}

// Streams a compressed element through zlib: it must inflate completely into
// one matrix element whose declared size matches what came out.  Nothing but
// the head of the output is kept, so a deflate bomb costs time, not memory.
int CheckV5Compressed(FILE *fp, long long start, uint32_t bytes, bool swap)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return IQ_ERR_FORMAT;
    std::vector<unsigned char> in(1 << 16), out(1 << 16), head;
    unsigned long long left = bytes;
    int zr = Z_OK;
    if (fseeko(fp, start, SEEK_SET) != 0)
        zr = Z_DATA_ERROR;
    while (zr == Z_OK && left > 0) {
        size_t chunk = size_t(std::min<unsigned long long>(left, in.size()));
        if (fread(in.data(), 1, chunk, fp) != chunk)
            break;
        left -= chunk;
        z.next_in = in.data();
        z.avail_in = unsigned(chunk);
        do {
            z.next_out = out.data();
            z.avail_out = unsigned(out.size());
            zr = inflate(&z, Z_NO_FLUSH);
            size_t got = out.size() - z.avail_out;
            if (head.size() < 4096)
                head.insert(head.end(), out.data(), out.data() + std::min(got, 4096 - head.size()));
        } while (zr == Z_OK && z.avail_out == 0);
        if (zr == Z_BUF_ERROR)
            zr = Z_OK; // needs more input
    }
    unsigned long long produced = z.total_out;
    inflateEnd(&z);
    if (zr != Z_STREAM_END || head.size() < 8 || Rd32(head.data(), swap) != 14)
        return IQ_ERR_FORMAT;
    uint32_t inner = Rd32(head.data() + 4, swap);
    if (8ull + inner > produced)
        return IQ_ERR_FORMAT;
    return CheckV5Matrix(head.data() + 8, head.size() - 8, inner, swap);
}

// Checks the first nvars elements of a v5 file.  Fewer elements than nvars
// is not an error here: the caller then finds too few variables.
int CheckV5(FILE *fp, long long size, int nvars, bool swap, Span spans[])
{
    long long pos = 128;
    for (int k = 0; k < nvars && pos < size; ++k) {
        unsigned char tag[8];
        if (size - pos < 8 || fseeko(fp, pos, SEEK_SET) != 0 || fread(tag, 1, 8, fp) != 8)
            return IQ_ERR_FORMAT;
        uint32_t type = Rd32(tag, swap), bytes = Rd32(tag + 4, swap);
        if (bytes > size - pos - 8)
            return IQ_ERR_FORMAT;
        int st = IQ_ERR_FORMAT;
        if (type == 15) {
            st = CheckV5Compressed(fp, pos + 8, bytes, swap);
        } else if (type == 14) {
            std::vector<unsigned char> head(std::min<size_t>(bytes, 4096));
            if (fread(head.data(), 1, head.size(), fp) == head.size())
                st = CheckV5Matrix(head.data(), head.size(), bytes, swap, &spans[k]);
            spans[k].off += pos + 8;
        }
        if (st != 0)
            return st;
        pos += 8 + (long long)bytes; // compressed elements are not padded
    }
    return 0;
}

// A v4 variable: a header of five 32-bit words (type MOPT, rows, columns,
// imaginary flag, name length), the name, then the real part.  The byte order
// shows in the type word's thousands digit.
int CheckV4(FILE *fp, long long size, int nvars, Span spans[])
{
    static const int kSize[] = {8, 4, 4, 2, 2, 1};    // P digit: double ... uint8
    static const uint32_t kType[] = {9, 7, 5, 3, 4, 2}; // the same as v5 types
    long long pos = 0;
    for (int k = 0; k < nvars && pos < size; ++k) {
        unsigned char h[20];
        if (size - pos < 20 || fseeko(fp, pos, SEEK_SET) != 0 || fread(h, 1, 20, fp) != 20)
            return IQ_ERR_FORMAT;
        bool swap = false;
        uint32_t type = Rd32(h, false);
        if (type >= 1000) {
            swap = true;
            type = Rd32(h, true);
            if (type / 1000 != 1)
                return IQ_ERR_FORMAT;
        }
        unsigned o = type / 100 % 10, p = type / 10 % 10, t = type % 10;
        uint32_t rows = Rd32(h + 4, swap), cols = Rd32(h + 8, swap);
        uint32_t imag = Rd32(h + 12, swap), namlen = Rd32(h + 16, swap);
        if (o != 0 || p > 5 || t != 0 || imag != 0 || namlen < 1 || namlen > 4096 ||
            rows > INT32_MAX || cols > INT32_MAX)
            return IQ_ERR_FORMAT;
        unsigned long long n = (unsigned long long)rows * cols;
        if (n > INT_MAX)
            return IQ_ERR_FORMAT;
        unsigned long long need = 20ull + namlen + n * kSize[p];
        if (need > (unsigned long long)(size - pos))
            return IQ_ERR_FORMAT;
        spans[k].off = pos + 20 + namlen;
        spans[k].type = kType[p];
        spans[k].swap = swap;
        pos += (long long)need;
    }
    return 0;
}

// How libmatio tells the versions apart: a v5 or v7.3 header carries "IM"
// or "MI" at byte 126 and the version word 0x0100 or 0x0200 before it;
// anything else is tried as v4 (also one with "IM" or "MI" and another
// version word).
enum class MatKind { V4, V5, V73 };

MatKind Classify(FILE *fp, long long size, bool &swap)
{
    unsigned char h[128];
    swap = false;
    if (size < 128 || fread(h, 1, 128, fp) != 128 ||
        !((h[126] == 'I' && h[127] == 'M') || (h[126] == 'M' && h[127] == 'I')))
        return MatKind::V4;
    swap = h[126] == 'M';
    unsigned version = swap ? (h[124] << 8 | h[125]) : (h[125] << 8 | h[124]);
    return version == 0x0200 ? MatKind::V73 : version == 0x0100 ? MatKind::V5 : MatKind::V4;
}

// Checks the v4 and v5 layouts as Classify tells them apart.  v7.3 files
// are read by a child process instead (Hdf5Child).
int CheckLayout(FILE *fp, long long size, int nvars, bool &hdf5, Span spans[])
{
    bool swap = false;
    MatKind kind = Classify(fp, size, swap);
    hdf5 = kind == MatKind::V73;
    if (kind == MatKind::V5)
        return CheckV5(fp, size, nvars, swap, spans);
    return hdf5 ? 0 : CheckV4(fp, size, nvars, spans);
}

} // namespace

// A v5 or v7.3 header says what the file is; a v4 file says it only by a
// first variable that fits the file.  A compressed v5 element is not
// inflated here: telling the version costs no time on a large file.
bool LooksLikeMat(FILE *fp, long long size)
{
    bool swap = false;
    Span spans[1];
    // (An empty file passes CheckV4, which leaves a missing variable to the reader.)
    return Classify(fp, size, swap) != MatKind::V4 || (size >= 20 && CheckV4(fp, size, 1, spans) == 0);
}

namespace {

// ---------------------------------------------------------------------------
// Reading.

bool IsRealNumeric(const matvar_t *v)
{
    return v->class_type >= MAT_C_DOUBLE && v->class_type <= MAT_C_UINT64 && !v->isComplex &&
           v->rank >= 1 && v->dims != nullptr;
}

// Element count of a variable, or -1 when it is not a real numeric array or
// holds more than an int can count.  An empty variable counts 0: a save of no
// samples gives a valid empty file, and it loads as an empty record.  An HDF5
// file can claim any size through compression or fill values; more than the
// deflate limit of about 1032 values per stored byte is taken as forged.
long long Count(const matvar_t *v, long long fileSize, bool hdf5)
{
    if (!IsRealNumeric(v))
        return -1;
    unsigned long long n = 1;
    for (int k = 0; k < v->rank; ++k) {
        if (v->dims[k] > size_t(INT_MAX))
            return -1;
        n *= v->dims[k];
        if (n > INT_MAX)
            return -1;
    }
    if (hdf5 && n > (unsigned long long)fileSize * 1032)
        return -1;
    return (long long)n;
}

// Describes the first nvars variables of an open file: their headers into
// var, their element counts into n.
int Describe(mat_t *mat, int nvars, matvar_t *var[2], long long n[2], long long fileSize,
             bool hdf5, int errVars)
{
    for (int k = 0; k < nvars; ++k) {
        var[k] = Mat_VarReadNextInfo(mat);
        if (!var[k]) {
            errno = 0; // too few variables is not a failure of the system
            return errVars;
        }
    }
    for (int k = 0; k < nvars; ++k)
        if ((n[k] = Count(var[k], fileSize, hdf5)) < 0)
            return IQ_ERR_FORMAT;
    return 0;
}

// ---------------------------------------------------------------------------
// v7.3 files in a child process.
//
// A v7.3 file is an HDF5 file, and the HDF5 library does not check its own
// structures against the file: a damaged or forged file can make it read
// past its buffers or ask for gigabytes.  So such a file is opened, described
// and read by a child process that holds the only handle on it and sends the
// counts and then the values over a socket.  Whatever HDF5 does with a bad
// file ends with that child; the caller sees IQ_ERR_FORMAT and no arrays.

// Moves all n bytes at b through op (one send or recv of at most the bytes
// left), going on after signals.
template <class Byte, class Op>
bool AllBytes(Byte *b, size_t n, Op op)
{
    while (n > 0) {
        ssize_t done = op(b, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        b += done;
        n -= size_t(done);
    }
    return true;
}

// Writes all n bytes, or reads all n bytes waiting as long as it takes (the
// child waits so for the parent, whose end of the socket closes with it).
bool SendAll(int fd, const void *p, size_t n)
{
    return AllBytes(static_cast<const char *>(p), n,
                    [fd](const char *b, size_t k) { return send(fd, b, k, MSG_NOSIGNAL); });
}

bool RecvAll(int fd, void *p, size_t n)
{
    return AllBytes(static_cast<char *>(p), n, [fd](char *b, size_t k) { return recv(fd, b, k, 0); });
}

// The child's memory is bounded by what a file of this size can hold (two
// variables of the deflate limit's count, decoded as doubles) plus room for
// the library, on top of what the process held when it forked.  Address
// sanitizers reserve their shadow memory as data, so a bound would stop them;
// it is left out in such builds.
#if defined(__SANITIZE_ADDRESS__)
#define KAL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KAL_ASAN 1
#endif
#endif

void BoundChildMemory(long long fileSize)
{
#ifdef KAL_ASAN
    (void)fileSize;
#else
    unsigned long long pages[7] = {};
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        for (auto &p : pages)
            if (fscanf(f, "%llu", &p) != 1)
                break;
        fclose(f);
    }
    unsigned long long values = std::min<unsigned long long>(INT_MAX, 1032ull * fileSize);
    unsigned long long held = pages[5] * (unsigned long long)sysconf(_SC_PAGESIZE);
    rlim_t bound = held + (512ull << 20) + 2 * sizeof(double) * values;
    rlimit lim{bound, bound};
    setrlimit(RLIMIT_DATA, &lim);
#endif
}

// What the child does: describe, send status and counts, then serve reads
// (variable index and length) until the parent closes the socket.  Every
// block is sent as a status word followed, when it is 0, by its values.
[[noreturn]] void ServeHdf5(int fd, const char *path, long long fileSize, int nvars, int errVars)
{
    BoundChildMemory(fileSize);
    QuietMatio();
    long long n[2] = {0, 0};
    matvar_t *var[2] = {nullptr, nullptr};
    mat_t *mat = Mat_Open(path, MAT_ACC_RDONLY);
    int32_t st = mat ? Describe(mat, nvars, var, n, fileSize, true, errVars) : IQ_ERR_FORMAT;
    if (!SendAll(fd, &st, sizeof st) || !SendAll(fd, n, sizeof n) || st != 0)
        _exit(0);
    std::vector<float> buf(kStep);
    int32_t req[2];
    while (RecvAll(fd, req, sizeof req)) {
        int k = req[0], len = req[1];
        if (k < 0 || k >= nvars || len < 0 || len > n[k])
            _exit(0);
        var[k]->class_type = MAT_C_SINGLE; // libmatio converts from the stored class
        for (int j = 0; j < len; j += kStep) {
            int m = std::min(kStep, len - j);
            int32_t r = Mat_VarReadDataLinear(mat, var[k], buf.data(), j, 1, m) == 0 ? 0
                                                                                      : IQ_ERR_FORMAT;
            if (!SendAll(fd, &r, sizeof r) || r != 0 ||
                !SendAll(fd, buf.data(), sizeof(float) * size_t(m)))
                _exit(0);
        }
    }
    _exit(0);
}

// The parent's side: the child process and its socket.
class Hdf5Child {
public:
    Hdf5Child() = default;
    Hdf5Child(const Hdf5Child &) = delete;
    Hdf5Child &operator=(const Hdf5Child &) = delete;
    ~Hdf5Child()
    {
        if (fd_ >= 0)
            close(fd_);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    bool active() const { return pid_ > 0; }

    // Reads all n bytes from the child.  While it is silent, events go on
    // every kSliceMs (EscPressed at index 0), so the window stays alive and
    // Abort ends the wait; a child silent for kQuietMs is taken as hung.
    int Receive(void *p, size_t n)
    {
        constexpr int kSliceMs = 100, kQuietMs = 60000;
        auto *b = static_cast<char *>(p);
        int quiet = 0;
        while (n > 0) {
            pollfd pf{fd_, POLLIN, 0};
            int r = poll(&pf, 1, kSliceMs);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return IQ_ERR_FORMAT;
            if (r == 0) {
                if (int st = EscPressed(0))
                    return st;
                if ((quiet += kSliceMs) >= kQuietMs)
                    return IQ_ERR_FORMAT;
                continue;
            }
            ssize_t got = recv(fd_, b, n, 0);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return IQ_ERR_FORMAT;
            quiet = 0;
            b += got;
            n -= size_t(got);
        }
        return 0;
    }

    int Start(const char *path, long long fileSize, int nvars, long long n[2], int errVars)
    {
        int sv[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            return IQ_ERR_FORMAT;
        pid_t pid = fork();
        if (pid == 0) {
            close(sv[0]);
            ServeHdf5(sv[1], path, fileSize, nvars, errVars);
        }
        close(sv[1]);
        if (pid < 0) {
            close(sv[0]);
            return IQ_ERR_FORMAT;
        }
        pid_ = pid;
        fd_ = sv[0];
        int32_t st = 0;
        if (int r = Receive(&st, sizeof st))
            return r;
        if (st != 0) {
            errno = 0; // the child's verdict on the file, not a failure here
            return st;
        }
        return Receive(n, sizeof(long long) * 2);
    }

    // The first len values of variable k into dst, EscPressed at every block.
    int Read(int k, float *dst, int len)
    {
        int32_t req[2] = {k, len};
        if (!SendAll(fd_, req, sizeof req))
            return IQ_ERR_FORMAT;
        for (int j = 0; j < len; j += kStep) {
            int m = std::min(kStep, len - j);
            int32_t st = 0;
            if (int r = Receive(&st, sizeof st))
                return r;
            if (st != 0)
                return st;
            if (int r = Receive(dst + j, sizeof(float) * size_t(m)))
                return r;
            if (int esc = EscPressed(j))
                return esc;
        }
        return 0;
    }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

// An open MAT file and the descriptions of the variables to be read; a v7.3
// file is held by its child process instead.
struct MatIn {
    std::string path;
    mat_t *mat = nullptr;
    matvar_t *var[2] = {nullptr, nullptr};
    Span span[2];
    int errRead = IQ_ERR_OPEN1; // status of a failed read of this file
    Hdf5Child child;
    MatIn() = default;
    MatIn(const MatIn &) = delete;
    MatIn &operator=(const MatIn &) = delete;
    ~MatIn()
    {
        for (matvar_t *v : var)
            if (v)
                Mat_VarFree(v);
        if (mat)
            Mat_Close(mat);
    }
};

// Opens path and describes its first nvars variables.  errOpen is the status
// of a file that cannot be opened, errVars that of too few variables.
// libmatio opens the file by its name and seeks in it: a pipe cannot be read
// so.  A read that fails while the layout is checked is errOpen.
int OpenMat(const char *path, int nvars, MatIn &in, long long n[2], int errOpen, int errVars)
{
    in.errRead = errOpen;
    bool hdf5 = false;
    long long size = 0;
    {
        iqs::InFile f(path);
        if (int st = f.ready(iqs::Input::Seekable, errOpen))
            return st;
        if ((size = f.size) == 0)
            return IQ_ERR_FORMAT;
        int st = CheckLayout(f.fp, size, nvars, hdf5, in.span);
        if (iqs::ReadStatus(st, f) != st)
            return errOpen;
        if (st != 0)
            return st;
    }
    in.path = path;
    if (hdf5)
        return in.child.Start(path, size, nvars, n, errVars);
    QuietMatio();
    in.mat = Mat_Open(path, MAT_ACC_RDONLY);
    if (!in.mat)
        return IQ_ERR_FORMAT;
    return Describe(in.mat, nvars, in.var, n, size, false, errVars);
}

// n stored values of type T (byte-swapped when swap) to floats.
template <typename T>
void Convert(const unsigned char *src, size_t n, bool swap, float *dst)
{
    for (size_t k = 0; k < n; ++k) {
        unsigned char b[sizeof(T)];
        memcpy(b, src + k * sizeof(T), sizeof(T));
        if (swap)
            std::reverse(b, b + sizeof(T));
        T v;
        memcpy(&v, b, sizeof(T));
        dst[k] = float(v);
    }
}

void ConvertType(uint32_t type, const unsigned char *src, size_t n, bool swap, float *dst)
{
    switch (type) {
    case 1: Convert<int8_t>(src, n, swap, dst); break;
    case 2: Convert<uint8_t>(src, n, swap, dst); break;
    case 3: Convert<int16_t>(src, n, swap, dst); break;
    case 4: Convert<uint16_t>(src, n, swap, dst); break;
    case 5: Convert<int32_t>(src, n, swap, dst); break;
    case 6: Convert<uint32_t>(src, n, swap, dst); break;
    case 7: Convert<float>(src, n, swap, dst); break;
    case 9: Convert<double>(src, n, swap, dst); break;
    case 12: Convert<int64_t>(src, n, swap, dst); break;
    case 13: Convert<uint64_t>(src, n, swap, dst); break;
    }
}

// Reads len values of an uncompressed variable from where the layout check
// found them, a progress step per block.
int ReadSpan(const MatIn &in, const Span &sp, float *dst, int len)
{
    std::unique_ptr<FILE, int (*)(FILE *)> fp(fopen(in.path.c_str(), "rb"), fclose);
    size_t size = V5TypeSize(sp.type);
    if (!fp || fseeko(fp.get(), sp.off, SEEK_SET) != 0)
        return in.errRead;
    setvbuf(fp.get(), nullptr, _IONBF, 0); // blocks go straight into buf
    std::vector<unsigned char> buf(size * kStep);
    for (int k = 0; k < len; k += kStep) {
        size_t m = size_t(std::min(kStep, len - k));
        if (fread(buf.data(), size, m, fp.get()) != m)
            return ferror(fp.get()) ? in.errRead : IQ_ERR_FORMAT;
        ConvertType(sp.type, buf.data(), m, sp.swap, dst + k);
        if (int st = EscPressed(k))
            return st;
    }
    return 0;
}

// Reads the first len values of variable k of in as floats into dst, calling
// EscPressed at every progress step.  Variables that libmatio must decode
// (compressed v5) are read through it: it converts from the stored class
// itself when the variable is described as single.  A compressed v5
// variable is inflated in one pass, as reading it in steps would inflate it
// again from the start for every step.
int ReadVar(MatIn &in, int k, float *dst, int len)
{
    if (in.child.active())
        return in.child.Read(k, dst, len);
    matvar_t *v = in.var[k];
    if (in.span[k].off >= 0 && v->compression == MAT_COMPRESSION_NONE)
        return ReadSpan(in, in.span[k], dst, len);
    v->class_type = MAT_C_SINGLE;
    bool oneShot = v->compression != MAT_COMPRESSION_NONE;
    if (oneShot && Mat_VarReadDataLinear(in.mat, v, dst, 0, 1, len) != 0)
        return IQ_ERR_FORMAT;
    for (int j = 0; j < len; j += kStep) {
        int m = std::min(kStep, len - j);
        if (!oneShot && Mat_VarReadDataLinear(in.mat, v, dst + j, j, 1, m) != 0)
            return IQ_ERR_FORMAT;
        if (int st = EscPressed(j))
            return st;
    }
    return 0;
}

int ReadBoth(MatIn &a, int ka, MatIn &b, int kb, int len, IqRec *rec)
{
    rec->Len = len;
    if (int st = AllocIq(rec, len))
        return st;
    if (int st = ReadVar(a, ka, rec->I, len))
        return st;
    return ReadVar(b, kb, rec->Q, len);
}

// ---------------------------------------------------------------------------
// Writing.
//
// The files are written here, through the library's one save policy, rather
// than by libmatio, which writes only to a path that it opens itself: it
// could write neither into a pipe or a device nor a file in place.  Each
// variable is a real 1 x len double matrix, uncompressed, as libmatio writes
// it:
//   tag        miMATRIX (14), 48 + 8 * len bytes follow
//   flags      miUINT32 (6), 8 bytes: class mxDOUBLE_CLASS (6), no flags; 0
//   dimensions miINT32 (5), 8 bytes: 1, len
//   name       small element: miINT8 (1), 1 byte, the letter, 3 bytes padding
//   real part  miDOUBLE (9), 8 * len bytes: the values

constexpr int kMatHdr = 128, kVarHdr = 56;

// Size of a written file: the header, then per variable its 56-byte head and
// 8 bytes per value.
long long MatFileSize(int nvars, int len)
{
    return kMatHdr + (long long)nvars * (kVarHdr + 8LL * len);
}

// The 128-byte file header: descriptive text padded with blanks, blanks for
// "no subsystem data", version 0x0100 and the byte-order mark "IM"
// (little-endian).
void PutMatHeader(unsigned char *h)
{
    static const char kText[] = "MATLAB 5.0 MAT-file, Platform: GLNXA64, Created by: VmKalLib";
    std::memset(h, ' ', 124);
    std::memcpy(h, kText, sizeof kText - 1);
    h[124] = 0x00;
    h[125] = 0x01;
    h[126] = 'I';
    h[127] = 'M';
}

void PutVarHeader(unsigned char *p, char name, int len)
{
    const uint32_t words[] = {14, uint32_t(48 + 8LL * len), 6, 8, 6, 0, 5, 8, 1, uint32_t(len),
                              1 | 1u << 16, uint32_t(static_cast<unsigned char>(name)), 9, uint32_t(8LL * len)};
    for (size_t k = 0; k < std::size(words); ++k)
        iqs::PutU32LE(p + 4 * k, words[k]);
}

// Writes the variables named names[k] (one letter each) with the values of
// chans[k] behind the file header.
bool WriteMat(SafeOut &out, const char *names, const float *const chans[], int nvars, int len)
{
    unsigned char h[kMatHdr];
    PutMatHeader(h);
    if (!out.write(h, kMatHdr))
        return false;
    for (int k = 0; k < nvars; ++k) {
        unsigned char v[kVarHdr];
        PutVarHeader(v, names[k], len);
        const float *x = chans[k];
        if (!out.write(v, kVarHdr) ||
            !iqs::WriteBlocks(out, size_t(len), 8, [x](unsigned char *b, size_t first, size_t count) {
                iqs::Encode(iqs::Enc::F64LE, x + first, count, b);
            }))
            return false;
    }
    return true;
}

// A v5 element counts its bytes in 32 bits: longer channels do not fit.
bool FitsMat(const IqRec &rec)
{
    return 48 + 8LL * rec.Len <= UINT32_MAX;
}

} // namespace

extern "C" int LoadMLabSgl(IqRec *rec)
{
    MatIn a, b;
    long long nI[2] = {0, 0}, nQ[2] = {0, 0};
    int st = OpenMat(rec->INam, 1, a, nI, IQ_ERR_OPEN1, IQ_ERR_OPEN1);
    if (st == 0)
        st = OpenMat(rec->QNam, 1, b, nQ, IQ_ERR_OPEN2, IQ_ERR_MAT_Q);
    if (st == 0)
        st = ReadBoth(a, 0, b, 0, int(std::min(nI[0], nQ[0])), rec);
    return EndLoad(rec, st);
}

extern "C" int LoadMLabMix(IqRec *rec)
{
    MatIn in;
    long long n[2] = {0, 0};
    int st = OpenMat(rec->INam, 2, in, n, IQ_ERR_OPEN1, IQ_ERR_OPEN1);
    if (st == 0)
        st = ReadBoth(in, 0, in, 1, int(std::min(n[0], n[1])), rec);
    return EndLoad(rec, st);
}

extern "C" int SaveMLabSgl(IqRec rec)
{
    if (!FitsMat(rec))
        return EndSave(-1, EFBIG);
    const float *const chanI[] = {rec.I}, *const chanQ[] = {rec.Q};
    return SavePair(
        rec, MatFileSize(1, rec.Len), [&](SafeOut &out) { return WriteMat(out, "I", chanI, 1, rec.Len); },
        [&](SafeOut &out) { return WriteMat(out, "Q", chanQ, 1, rec.Len); });
}

extern "C" int SaveMLabMix(IqRec rec)
{
    if (!FitsMat(rec))
        return EndSave(-1, EFBIG);
    const float *const chans[] = {rec.I, rec.Q};
    return SaveOne(rec, MatFileSize(2, rec.Len),
                   [&](SafeOut &out) { return WriteMat(out, "IQ", chans, 2, rec.Len); });
}
