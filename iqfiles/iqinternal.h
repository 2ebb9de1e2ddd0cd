// Internal helpers shared by the format families of VmKalLib.  Not installed.
#pragma once

#include "VmKalLib.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

struct stat;

// The centre frequency set with IqSetSaveFrequency for the next save of the
// calling thread, or 0 when none is known.
double SaveFrequency();

// Content checks of format detection, each beside its format's reader:
// whether the first n bytes of a file of size bytes (head) look like a
// Tessera, LeCroy or AWG 2000 file.
bool IbnHead(const unsigned char *head, size_t n, long long size);
bool LeCroyHead(const unsigned char *head, size_t n, long long size);
bool AwgHead(const unsigned char *head, size_t n, long long size);
bool SigMFHead(const unsigned char *head, size_t n, long long size);
// Whether path is the dataset (.sigmf-data) of a SigMF recording whose
// metadata lies beside it: the dataset itself is raw samples.
bool SigMFDataset(const char *path);

// Whether the file open at fp (size bytes, a regular file) looks like a MAT
// file, v4, v5 or v7.3, as the MAT readers tell them apart and check them.
// The position of fp is left anywhere.
bool LooksLikeMat(FILE *fp, long long size);

// Progress and abort check after storing sample i (0-based): every 25000
// samples it lets the registered event hook run, then reports -3 when EscFlg
// is set.  It does not clear EscFlg.
int EscPressed(int i);

// Frees I, then Q, setting each to NULL.
void FreeArr(IqRec *rec);

// Reverses the order of n bytes in place (big-endian numbers).
void RevArr(unsigned char *bytes, int n);

// Largest and smallest of n doubles with their first indices; -20003 when n < 1.
int MaxMin1D(const double *x, int n, double *max, int *imax, double *min, int *imin);

// Allocates both channels zero-filled with n samples (n may be 0: one element is
// allocated so that the pointers are valid).  Returns 0, -7 or -8; on failure
// nothing stays allocated.
int AllocIq(IqRec *rec, int n);

// Ends a loader: frees the arrays on a non-zero status, clears EscFlg and
// returns the status.
int EndLoad(IqRec *rec, int status);

// The one save policy of every writer.  A SafeOut is where a writer's bytes
// go; what it does with them depends on the destination:
//   a regular file the caller may write, or a new name in a writable folder:
//     a temporary file beside it, flushed to disk and renamed over it by
//     commit(), so the old file stays whole until the new one is complete;
//   a regular file the caller may not write: refused with EACCES (EROFS,
//     EPERM), as opening it for writing would be refused;
//   a symbolic link: the file it points to is the destination, the link stays;
//   not a regular file (a pipe, a device, one of the caller's descriptors
//     named as /dev/stdout or /dev/fd/N): written in place, in order;
//   a writable regular file in a folder where no temporary file can be made:
//     written in place, after reserving the space of `size` bytes (when the
//     writer knows it in advance) so that a full disk is found before the
//     first byte is overwritten.
// EscFlg set before or while writing (before the first byte, for a regular
// file written in place) stops the save.  Every failure is kept as an errno
// value (error()); a SafeOut destroyed without commit() removes its temporary
// file and leaves the destination as it was.
class SafeOut {
public:
    explicit SafeOut(const char *path, long long size = -1);
    ~SafeOut();
    SafeOut(const SafeOut &) = delete;
    SafeOut &operator=(const SafeOut &) = delete;

    bool ok() const { return fd_ >= 0 && err_ == 0; }
    bool write(const void *data, size_t n);
    // Flushes everything to the destination or its temporary file and closes it.
    bool finish();
    // Puts a finished temporary file in the destination's place.
    bool replace();
    // finish() and replace(): 0 or -1.
    int commit() { return finish() && replace() ? 0 : -1; }
    // errno of the first failure, 0 while there is none.
    int error() const { return err_; }

private:
    enum class Mode { Replace, InPlace, Stream };
    bool fail(int err);
    bool stopped() const;
    bool drain();
    bool writeAll(const char *p, size_t n);
    void openReplace(const std::string &dst, const struct stat *old);
    void openInPlace(int fd);

    int fd_ = -1;
    std::string buf_; // bytes not yet written, at most kBuffer
    int err_ = 0;
    Mode mode_ = Mode::Replace;
    long long size_ = -1;
    long long written_ = 0;
    std::string tmp_;
    std::string dst_;
};

// Runs a() here and b() on a second thread (or after a() when no thread can
// be started); true when both returned true.
bool BothOf(const std::function<bool()> &a, const std::function<bool()> &b);

// A record that a writer may read: Len not negative, and both arrays present
// unless Len is 0.
inline bool WritableRec(const IqRec &rec)
{
    return rec.Len >= 0 && (rec.Len == 0 || (rec.I != nullptr && rec.Q != nullptr));
}

// Ends a writer: clears EscFlg as the end of a load does, forgets the centre
// frequency set for this save (IqSetSaveFrequency), and leaves the first
// failure's cause in errno.
int EndSave(int status, int err);

// The writers of a single file: a record no writer may read gives -1 (EINVAL)
// without touching the file; otherwise write(out) fills the SafeOut (size:
// the file's size when known in advance, else -1) and commit() settles it.
template <class Write>
int SaveOne(const IqRec &rec, long long size, Write write)
{
    if (!WritableRec(rec))
        return EndSave(-1, EINVAL);
    SafeOut out(rec.INam, size);
    bool done = out.ok() && write(out) && out.commit() == 0;
    return EndSave(done ? 0 : -1, out.error());
}

// The writers of a pair of files, INam with writeI and QNam with writeQ, on
// two threads: neither file is replaced unless both are complete.  sizeI and
// sizeQ are the files' sizes when known in advance, else -1.
template <class WriteI, class WriteQ>
int SavePair(const IqRec &rec, long long sizeI, long long sizeQ, WriteI writeI, WriteQ writeQ)
{
    if (!WritableRec(rec))
        return EndSave(-1, EINVAL);
    SafeOut oi(rec.INam, sizeI), oq(rec.QNam, sizeQ);
    bool done = oi.ok() && oq.ok() &&
                BothOf([&] { return writeI(oi) && oi.finish(); }, [&] { return writeQ(oq) && oq.finish(); }) &&
                oi.replace() && oq.replace();
    return EndSave(done ? 0 : -1, oi.error() ? oi.error() : oq.error());
}

// Both files of the same size.
template <class WriteI, class WriteQ>
int SavePair(const IqRec &rec, long long size, WriteI writeI, WriteQ writeQ)
{
    return SavePair(rec, size, size, writeI, writeQ);
}
