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

// The same for work without a sample index (a block of text parsed, a
// megabyte copied, a wait for a second thread): the hook runs when 50 ms
// have passed since it last ran on this thread.
int EscDue();

// Marks the calling thread as one the library started: the event hook runs
// only on the thread that called the library (it touches the caller's
// window), so EscPressed and EscDue only read EscFlg on this one.
void MarkWorkerThread();

// EscFlg read afresh: a signal handler, the event hook or another thread
// (a ctypes caller) may set it at any moment.
inline bool AbortRequested()
{
    return __atomic_load_n(&EscFlg, __ATOMIC_RELAXED) != 0;
}

// The descriptor that a path such as /dev/stdin, /dev/stdout or /dev/fd/3
// names, or -1.  Such a path is read or written through the descriptor
// itself, at its position: a pipe or socket behind it has no name to open
// again.
int DescriptorOf(const char *path);

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
// go; what it does with them depends on the destination, which the kernel
// resolves (links followed with its own checks, such as protected_symlinks):
//   a regular file the caller may write, or a new name in a writable folder:
//     a temporary file beside it, flushed to disk and renamed over it by
//     replace(), so the old file stays whole until the new one is complete;
//   a regular file the caller may not write: refused with EACCES (EROFS,
//     EPERM), as opening it for writing would be refused;
//   a symbolic link: the file it points to is the destination, the link
//     stays; a link to nothing yet gets its target created (and removed
//     again when the save fails);
//   not a regular file (a pipe, a device, one of the caller's descriptors
//     named as /dev/stdout or /dev/fd/N): written in place, in order;
//   a writable regular file that no rename may replace (its folder takes no
//     new file, or is sticky and belongs to someone else, as /tmp): written
//     in place, after reserving `size` bytes, so that a full disk is found
//     before the first byte is overwritten.  size is the file's size, or for
//     text an upper bound of it; where it is unknown (-1) or the file system
//     cannot reserve space, the in-place write is refused (EOPNOTSUPP).
// EscFlg set before or while writing stops the save, until goAhead() (see
// SaveFiles).  Every failure is kept as an errno value (error()); a SafeOut
// destroyed without replace() removes its temporary file and leaves the
// destination as it was (a file written in place keeps what was written).
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
    // errno of the first failure, 0 while there is none.
    int error() const { return err_; }
    // Written straight into the destination (a file in place, a pipe, a
    // device), with nothing to replace() at the end.
    bool direct() const { return mode_ != Mode::Replace; }
    // From now on an abort request no longer stops this save (a blocked
    // write into a pipe excepted).
    void goAhead() { ahead_ = true; }
    // Gives the save up with err (false).
    bool fail(int err);

private:
    enum class Mode { Replace, InPlace, Stream };
    bool stopped() const;
    bool drain();
    bool writeAll(const char *p, size_t n);
    void openDestination(const char *path);
    void openDescriptor(int fd);
    void openReplace(const std::string &dst, const struct stat *old);
    void openInPlace(int fd, long long oldSize);

    int fd_ = -1;
    std::string buf_; // bytes not yet written, at most kBuffer
    int err_ = 0;
    Mode mode_ = Mode::Replace;
    bool ahead_ = false;
    long long size_ = -1;
    long long oldSize_ = 0;  // of a file written in place
    long long written_ = 0;
    long long nextEvent_ = 0; // where the event hook runs next
    std::string tmp_;
    std::string dst_;
    int tmpSlot_ = -1;     // where IqRemoveTemporaries finds tmp_
    std::string created_;  // a link's target this save created
    unsigned long createdIno_ = 0;
    int createdSlot_ = -1;
};

// One file of a save and the writer that fills it.
struct SaveJob {
    SafeOut *out;
    std::function<bool(SafeOut &)> write;
};

// Settles a save of n files (1 or 2) in the order that keeps the most safe:
// first the temporary files, which can still be thrown away (on two threads
// when both are); then the last look at EscFlg; then the renames; last the
// files written directly (in place, pipes), which cannot be taken back.
// From that look on a pair goes through, so an abort request never leaves
// the second file old beside a new first one.  Returns as EndSave does;
// IqSaveFailedFile tells which file failed.
int SaveFiles(SaveJob *jobs, int n);

// Runs a() here and b() on a second thread (or after a() when no thread can
// be started); true when both returned true.  While this thread waits for
// the second, the event hook runs here every 50 ms (EscDue), so a window
// lives on and an abort request reaches b through EscFlg.
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
// the file's size when known in advance, for text an upper bound of it) and
// SaveFiles settles it.
template <class Write>
int SaveOne(const IqRec &rec, long long size, Write write)
{
    if (!WritableRec(rec))
        return EndSave(-1, EINVAL);
    SafeOut out(rec.INam, size);
    SaveJob jobs[] = {{&out, write}};
    return SaveFiles(jobs, 1);
}

// The writers of a pair of files, INam with writeI and QNam with writeQ:
// neither file is replaced unless both are complete.  sizeI and sizeQ are
// the files' sizes when known in advance (for text an upper bound), else -1.
template <class WriteI, class WriteQ>
int SavePair(const IqRec &rec, long long sizeI, long long sizeQ, WriteI writeI, WriteQ writeQ)
{
    if (!WritableRec(rec))
        return EndSave(-1, EINVAL);
    SafeOut oi(rec.INam, sizeI), oq(rec.QNam, sizeQ);
    SaveJob jobs[] = {{&oi, writeI}, {&oq, writeQ}};
    return SaveFiles(jobs, 2);
}

// Both files of the same size.
template <class WriteI, class WriteQ>
int SavePair(const IqRec &rec, long long size, WriteI writeI, WriteQ writeQ)
{
    return SavePair(rec, size, size, writeI, writeQ);
}
