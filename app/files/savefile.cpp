// The save dispatcher: append read, destination arrays, writer.
#include "files/filenames.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum SaveFault { kNone, kGuard, kRead, kArray, kWrite };

// How a save ended: the fault, the status of the step that failed and the
// system's error number where that step has one.
struct SaveEnd {
    SaveFault fault = kNone;
    int status = 0;
    int err = 0;
};

void CopyBlock(float *dst, const float *src, int n)
{
    if (n > 0)
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(float));
}

// Guard samples are copies of the loaded data: never more than there is.
bool GuardFits()
{
    return NGrd >= 0 && NGrd <= HeldSamples();
}

void ShowFault(const SaveEnd &end)
{
    char text[200];
    switch (end.fault) {
    case kGuard:
        std::snprintf(text, sizeof text,
                      "The number of guard samples (%d) is larger than the number of "
                      "loaded samples (%d).\nNothing was saved.",
                      NGrd, HeldSamples());
        MessagePopup("Error", text);
        break;
    case kRead:
        MessagePopup("Error", FailureText("Array not created.", IqStatusText(end.status), end.err).c_str());
        break;
    case kArray:
        MessagePopup("Error", "Array not created.");
        break;
    case kWrite:
        // The library ends a save stopped by Abort with EINTR: the user's
        // own choice, not a fault of the system.
        if (end.err == EINTR)
            MessagePopup("Error", FailureText("File Save Error.", IqStatusText(IQ_ERR_ABORT), 0).c_str());
        else
            MessagePopup("Error", FailureText("File Save Error.", "the file cannot be written", end.err).c_str());
        break;
    case kNone:
        break;
    }
}

// Reads, builds and writes; the caller releases the arrays.
SaveEnd Dispatch(const IqFormat *row)
{
    if (!GuardFits())
        return {kGuard, -1, 0};
    if (AppFlg == 1) {
        errno = 0;
        if (int st = row->load(&f); st != 0) {
            const bool opening = st == IQ_ERR_OPEN1 || st == IQ_ERR_OPEN2;
            return {kRead, st, opening ? errno : 0};
        }
        // The read let events through; what is held may have changed since.
        if (!GuardFits())
            return {kGuard, -1, 0};
    }
    if (int st = BldDstArr(); st != 0)
        return {kArray, st, 0};
    // A capture's centre frequency goes with its samples into the formats
    // that keep one.  An appended file holds older samples too, which the
    // frequency of this capture would misdescribe.
    if (TrcFlg != 0 && AppFlg != 1)
        IqSetSaveFrequency(frq);
    errno = 0;
    if (int st = row->save(d); st != 0)
        return {kWrite, st, errno};
    return {};
}

}  // namespace

int BldDstArr()
{
    const int n = HeldSamples();
    long long total = static_cast<long long>(f.Len) + NGrd + n;
    FreeIqRec(&d);
    if (total > INT_MAX || !GuardFits())
        return -1;
    d.Len = static_cast<int>(total);
    // A record of no samples still holds valid (one-element) arrays.
    size_t alloc = total > 0 ? static_cast<size_t>(total) : 1;
    d.I = static_cast<float *>(std::calloc(alloc, sizeof(float)));
    if (!d.I)
        return -1;
    d.Q = static_cast<float *>(std::calloc(alloc, sizeof(float)));
    if (!d.Q)
        return -1;
    float *dst[2] = {d.I, d.Q};
    const float *old[2] = {f.I, f.Q};
    const float *src[2] = {s.I, s.Q};
    for (int ch = 0; ch < 2; ++ch) {
        CopyBlock(dst[ch], old[ch], f.Len);
        if (n > 0) {
            CopyBlock(dst[ch] + f.Len, src[ch] + (n - NGrd), NGrd);
            CopyBlock(dst[ch] + f.Len + NGrd, src[ch], n);
        }
    }
    return 0;
}

int SaveDatFile()
{
    f.Len = 0;
    FreeIqRec(&d);
    std::memcpy(f.INam, d.INam, sizeof f.INam);
    std::memcpy(f.QNam, d.QNam, sizeof f.QNam);
    // A capture has the rate it was taken at, whatever the panels say now.
    if (TrcFlg)
        d.Rat = static_cast<float>(HeldRate());
    else
        GetCtrlVal(hLod, LO_FRQ, &d.Rat);
    DspTxtPnl(AppFlg == 1 ? "Appending IQ values..." : "Saving    IQ values...");

    SaveEnd end;
    const IqFormat *row = IqFormatAt(d.Typ);
    if (row && row->save) {
        IoBusyScope busy;
        end = Dispatch(row);
    }
    FreeIqRec(&f);
    FreeIqRec(&d);
    ShowFault(end);
    return end.status;
}
