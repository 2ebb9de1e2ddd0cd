// Shared by the fuzz targets: each input becomes a file, which every reader
// of one family then loads, as one file or as both files of a two-file
// format.  A reader may refuse the file, but it must neither crash, nor
// leave arrays behind a failure, nor claim more samples than it allocated.
#pragma once

#include "VmKalLib.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline const std::string &TempPath()
{
    static const std::string path = [] {
        char tmpl[] = "/tmp/kalmira_fuzz_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd < 0)
            abort();
        close(fd);
        atexit([] { unlink(TempPath().c_str()); });
        return std::string(tmpl);
    }();
    return path;
}

inline void WriteFile(const std::string &path, const uint8_t *data, size_t size)
{
    FILE *fp = fopen(path.c_str(), "wb");
    if (!fp || (size && fwrite(data, 1, size, fp) != size) || fclose(fp) != 0)
        abort();
}

inline void WriteInput(const uint8_t *data, size_t size)
{
    WriteFile(TempPath(), data, size);
}

// Format detection reads the head of every file it is given: any content
// must give a count of candidates that it wrote.
inline void Detect(const std::string &path)
{
    int found[IQ_NFMT], how = -1;
    int n = IqDetectFormat(path.c_str(), 0, found, IQ_NFMT, &how);
    if (n > IQ_NFMT || (n > 0 && how == IQ_FOUND_NONE))
        abort();
    for (int k = 0; k < n; ++k)
        if (!IqFormatAt(found[k]))
            abort();
}

inline void Check(const IqRec &r, int st)
{
    if (st != 0) {
        if (r.I || r.Q)
            abort(); // a failed load must not keep arrays
        return;
    }
    if (r.Len < 0 || !r.I || !r.Q)
        abort();
    if (r.Len > 0) {
        // Touch the last element the record claims: AddressSanitizer reports
        // a count larger than the allocation.
        volatile float sink = r.I[r.Len - 1] + r.Q[r.Len - 1];
        (void)sink;
    }
}

// Loads the input file with format index typ (through LoadDatFile).
inline void LoadAs(int typ)
{
    IqRec r{};
    snprintf(r.INam, sizeof r.INam, "%s", TempPath().c_str());
    snprintf(r.QNam, sizeof r.QNam, "%s", TempPath().c_str());
    r.Typ = typ;
    int st = LoadDatFile(&r);
    Check(r, st);
    FreeIqRec(&r);
}

// Loads the input file with a reader called by name.
inline void LoadWith(int (*load)(IqRec *))
{
    IqRec r{};
    snprintf(r.INam, sizeof r.INam, "%s", TempPath().c_str());
    snprintf(r.QNam, sizeof r.QNam, "%s", TempPath().c_str());
    int st = load(&r);
    Check(r, st);
    FreeIqRec(&r);
}

} // namespace fuzz
