// The save dispatcher: append read, destination arrays, writer.
#include "files/busy.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int IoBusy;

namespace {

enum SaveFault { kNone, kGuard, kArray, kWrite };

void CopyBlock(float *dst, const float *src, int n)
{
    if (n > 0)
        std::memcpy(dst, src, static_cast<size_t>(n) * sizeof(float));
}

void ShowFault(SaveFault fault)
{
    char text[200];
    switch (fault) {
    case kGuard:
        std::snprintf(text, sizeof text,
                      "The number of guard samples (%d) is larger than the number of "
                      "loaded samples (%d).\nNothing was saved.",
                      NGrd, HeldSamples());
        MessagePopup("Error", text);
        break;
    case kArray:
        MessagePopup("Error", "Array not created.");
        break;
    case kWrite:
        MessagePopup("Error", "File Save Error.");
        break;
    case kNone:
        break;
    }
}

// Reads, builds and writes; the caller releases the arrays.
SaveFault Dispatch(const IqFormat *row, int &err)
{
    // Guard samples are copies of the loaded data: never more than there is.
    if (NGrd < 0 || NGrd > HeldSamples()) {
        err = -1;
        return kGuard;
    }
    if (AppFlg == 1 && (err = row->load(&f)) != 0)
        return kArray;
    if ((err = BldDstArr()) != 0)
        return kArray;
    if ((err = row->save(d)) != 0)
        return kWrite;
    return kNone;
}

}  // namespace

int BldDstArr()
{
    const int n = HeldSamples();
    long long total = static_cast<long long>(f.Len) + NGrd + n;
    FreeIqRec(&d);
    if (total > INT_MAX || total < 0)
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
    int err = 0;
    f.Len = 0;
    FreeIqRec(&d);
    GetCtrlVal(hLod, LO_FRQ, &d.Rat);
    DspTxtPnl(AppFlg == 1 ? "Appending IQ values..." : "Saving    IQ values...");

    SaveFault fault = kNone;
    const IqFormat *row = IqFormatAt(d.Typ);
    if (row && row->save) {
        IoBusyScope busy;
        fault = Dispatch(row, err);
    }
    FreeIqRec(&f);
    FreeIqRec(&d);
    ShowFault(fault);
    return err;
}
