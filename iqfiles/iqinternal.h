// Internal helpers shared by the format families of VmKalLib.  Not installed.
#pragma once

#include "VmKalLib.h"

#include <cstddef>
#include <cstdio>
#include <string>

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

// A file that is written beside its destination and renamed over it only when
// every byte is written and flushed.  Commit() returns 0 or -1; a SafeOut that
// is destroyed without Commit() removes its temporary file and leaves the
// destination as it was.
class SafeOut {
public:
    explicit SafeOut(const char *path);
    ~SafeOut();
    SafeOut(const SafeOut &) = delete;
    SafeOut &operator=(const SafeOut &) = delete;

    bool ok() const { return fp_ != nullptr && !failed_; }
    FILE *fp() const { return fp_; }
    bool write(const void *data, size_t n);
    bool puts(const char *text);
    bool printf(const char *fmt, ...) __attribute__((format(printf, 2, 3)));
    int commit();

private:
    FILE *fp_ = nullptr;
    bool failed_ = false;
    std::string tmp_;
    std::string dst_;
};
