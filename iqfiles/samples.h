// Sample encodings shared by the binary containers of VmKalLib, and the
// block I/O that every binary reader and writer is built on.
//
// Samples never cross the standard library one value at a time: a reader pulls
// a block of raw bytes and converts it in memory into the caller's float
// arrays (splitting interleaved I/Q pairs on the way); a writer converts a
// block into a scratch buffer and writes it with one call.  Blocks are aligned
// on the 25000-sample progress step, so the abort check runs at the same
// indices as it would sample by sample.
#pragma once

#include "iqinternal.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace iqs {

// How one value is stored in a file.
enum class Enc { F32LE, F32BE, F64LE, F64BE, I32LE, I32BE, U32LE, U32BE, I16LE, I16BE, U16LE, U16BE, I8, U8 };

// Bytes of one value of encoding e.
size_t EncSize(Enc e);

// n values of encoding e at src to floats.
void Decode(Enc e, const unsigned char *src, size_t n, float *dst);
// n interleaved pairs (I then Q) of encoding e at src to two float arrays.
void Decode2(Enc e, const unsigned char *src, size_t n, float *i, float *q);
// n floats, each multiplied by scale, to encoding e.  Integer encodings
// truncate toward zero and saturate at the type's limits (NaN becomes 0), so
// an out-of-range value never wraps around to the opposite sign.
void Encode(Enc e, const float *src, size_t n, unsigned char *dst, double scale = 1.0);
// n pairs from two float arrays, interleaved I then Q, as Encode does.
void Encode2(Enc e, const float *i, const float *q, size_t n, unsigned char *dst,
             double scale = 1.0);

// Saturating truncation of v to a signed 16-bit integer.
int16_t SatI16(double v);
// Saturating truncation of v to a signed 32-bit integer (header fields).
int32_t SatI32(double v);

// Single fields of headers.
inline uint16_t GetU16LE(const unsigned char *p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t GetU32LE(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint32_t GetU32BE(const unsigned char *p)
{
    return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}
inline int32_t GetI32LE(const unsigned char *p) { return int32_t(GetU32LE(p)); }
inline int32_t GetI32BE(const unsigned char *p) { return int32_t(GetU32BE(p)); }
double GetF64LE(const unsigned char *p);
double GetF64BE(const unsigned char *p);

inline void PutU16LE(unsigned char *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void PutU32LE(unsigned char *p, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        p[k] = uint8_t(v >> (8 * k));
}
inline void PutI32LE(unsigned char *p, int32_t v) { PutU32LE(p, uint32_t(v)); }
void PutF64LE(unsigned char *p, double v);

// Size in bytes of an open regular file, or -1.
long long FileSize(FILE *fp);

// What a reader needs of its input.  A pipe, a terminal or a device can only
// be read once, from the start to the end: readers that go back in a file or
// size their arrays by it need a regular file (Seekable); readers that go
// through a file once either read such an input as it comes (Streamed) or
// take it whole into an anonymous in-memory file first and then read that
// like any file (Spooled), which costs memory of the input's size.
enum class Input { Seekable, Spooled, Streamed };

// The most bytes a spooled input may bring: a record holds at most INT_MAX
// samples, so a binary file of bytesPerSample bytes a sample is never
// longer than that many samples behind headers of well under a megabyte.
// More from a device or an endless pipe is no file of the format.
constexpr long long SpoolLimit(long long bytesPerSample)
{
    return bytesPerSample * 2147483647LL + (1LL << 20);
}
// Text has no such bound (a number may be written with any number of
// digits): a fixed 32 GiB, beyond any text a record could be read from in
// memory.
constexpr long long kTextSpoolLimit = 32LL << 30;

// An input file opened in binary mode, closed when it goes out of scope.  A
// folder does not open (fp null, errno EISDIR).  A name of one of the
// caller's descriptors (/dev/stdin, /dev/fd/N) reads that descriptor itself:
// a socket behind it cannot be opened again by name.
struct InFile {
    FILE *fp = nullptr;
    long long size = -1; // -1: not a regular file
    explicit InFile(const char *path);
    ~InFile()
    {
        if (fp)
            std::fclose(fp);
    }
    InFile(const InFile &) = delete;
    InFile &operator=(const InFile &) = delete;
    bool regular() const { return size >= 0; }
    // A read of the file failed (as opposed to its ending).
    bool failed() const { return fp && std::ferror(fp); }
    // Makes the file usable as how says: 0, or fail (errno ESPIPE for a
    // pipe where a regular file is needed, EIO when spooling fails, EFBIG
    // when the input brings more than limit bytes, or than the machine's
    // memory and swap), or -3 when EscFlg is
    // set while the input is spooled.
    int ready(Input how, int fail, long long limit = kTextSpoolLimit);
    // Bytes from the current position to the end.
    long long left() const { return size - std::ftell(fp); }
};

// A reader's status once its files are read: an abort request makes it -3
// (a text reader that saw it took it for the end of its file); a read that
// failed makes it IQ_ERR_OPEN1 (of fi) or IQ_ERR_OPEN2 (of fq), errno EIO,
// whatever the reader concluded from the data it got.
int ReadStatus(int st, const InFile &fi, const InFile *fq = nullptr);

// AllocIq for arrays that are about to be filled in bulk: large arrays are
// marked for transparent huge pages first, which saves the kernel tens of
// thousands of page faults per channel of a multi-million-sample load.
int AllocBulk(IqRec *rec, int n);

// A failure before anything was allocated leaves the caller's record as it
// was; only the abort flag is cleared, as at the end of every load.
inline int EarlyFail(int status)
{
    EscFlg = 0;
    return status;
}

// Samples per progress step: the abort check looks at every 25000th index.
constexpr size_t kStep = 25000;

// Reads n records of recBytes bytes each, one progress step at a time:
// fn(bytes, first, count) converts records first..first+count-1, then the
// abort check runs for index first.  Returns 0, -3 (aborted) or IQ_ERR_FORMAT
// when the file ends before n records (it was checked against the header, so
// a short read means the file changed or could not be read; ReadStatus turns
// the latter into the file's open status).
template <class Fn>
int ReadBlocks(FILE *fp, size_t n, size_t recBytes, Fn fn)
{
    std::vector<unsigned char> buf(recBytes * (n < kStep ? n : kStep));
    for (size_t first = 0; first < n; first += kStep) {
        size_t count = n - first < kStep ? n - first : kStep;
        if (fread(buf.data(), recBytes, count, fp) != count)
            return IQ_ERR_FORMAT;
        fn(buf.data(), first, count);
        if (int st = EscPressed(int(first)))
            return st;
    }
    return 0;
}

// Like ReadBlocks, for a plain array of n values of encoding e into dst.
// float32 LE goes straight into dst on a little-endian machine.
int ReadChannel(FILE *fp, size_t n, Enc e, float *dst);
// Like ReadChannel, for n interleaved pairs (I then Q) into two arrays.
int ReadPairs(FILE *fp, size_t n, Enc e, float *i, float *q);

// The loaders of a single file: a path that does not open, or does not suit
// how the reader reads it, is IQ_ERR_OPEN1 and leaves the record as it was;
// otherwise read(f, rec) runs and EndLoad settles the record by its status.
// limit: the most bytes a spooled input may bring.
template <class Read>
int LoadFile(IqRec *rec, Input how, Read read, long long limit = kTextSpoolLimit)
{
    InFile f(rec->INam);
    if (int st = f.ready(how, IQ_ERR_OPEN1, limit))
        return EarlyFail(st);
    return EndLoad(rec, ReadStatus(read(f, rec), f));
}

// The same for formats that keep I in INam and Q in QNam: read(fi, fq, rec).
// A Q file that does not open gives qOpenFail (some formats have always
// reported it as the first file).
template <class Read>
int LoadFilePair(IqRec *rec, Input how, Read read, int qOpenFail = IQ_ERR_OPEN2,
                 long long limit = kTextSpoolLimit)
{
    InFile fi(rec->INam);
    if (int st = fi.ready(how, IQ_ERR_OPEN1, limit))
        return EarlyFail(st);
    InFile fq(rec->QNam);
    if (int st = fq.ready(how, qOpenFail, limit))
        return EarlyFail(st);
    return EndLoad(rec, ReadStatus(read(fi, fq, rec), fi, &fq));
}

// Writes n records of recBytes bytes: fn(bytes, first, count) fills the
// scratch buffer with records first..first+count-1.  False when a write fails.
template <class Fn>
bool WriteBlocks(SafeOut &out, size_t n, size_t recBytes, Fn fn)
{
    constexpr size_t kBlock = 1 << 16;
    std::vector<unsigned char> buf(recBytes * (n < kBlock ? n : kBlock));
    for (size_t first = 0; first < n; first += kBlock) {
        size_t count = n - first < kBlock ? n - first : kBlock;
        fn(buf.data(), first, count);
        if (!out.write(buf.data(), recBytes * count))
            return false;
    }
    return true;
}

// Writes n float32 LE values straight from src (no copy on a little-endian
// machine).
bool WriteF32Channel(SafeOut &out, const float *src, size_t n);
// Writes n pairs from two arrays, interleaved I then Q, as Encode2 does.
bool WritePairs(SafeOut &out, Enc e, const float *i, const float *q, size_t n, double scale = 1.0);

} // namespace iqs
