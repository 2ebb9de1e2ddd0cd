#include "instrument/acquire.h"

#include "instrument/session.h"
#include "instrument/settings.h"
#include "instrument/settingsvars.h"
#include "instrument/tracepanel.h"
#include "numeric/window.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/panelids.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

const char kVisaErrText[] = "A VISA error has occured.";

namespace {

constexpr ViUInt32 kTmoMs = 10000;
constexpr ViUInt32 kDataTmoMs = 30000;
// One wait for data of the chunked read, before the window gets its events.
constexpr ViUInt32 kSliceMs = 100;
// Bytes read between two looks at the window: a few ms on a LAN, a quarter
// of a second through a GPIB gateway.
constexpr size_t kPieceBytes = 256 * 1024;
// The window gets its events at least this often during a transfer.
constexpr double kEventsEverySec = 0.002;
// The Agate's capture memory, samples per channel.
constexpr int kAgateMemory = 524288;

#define VI_TRY(call)                      \
    do {                                  \
        ViStatus vi_st_ = (call);         \
        if (vi_st_ != VI_SUCCESS)         \
            return vi_st_;                \
    } while (0)

bool IsAgate(const DevRec &dev)
{
    return dev.Typ == DEV_AGATE;
}

bool IsJasper(const DevRec &dev)
{
    return dev.Typ == DEV_JASPER;
}

const char *OnOff(int v)
{
    return v ? "ON" : "OFF";
}

// ---------------------------------------------------------------- the block

void DropArrays(IqRec &rec)
{
    std::free(rec.I);
    std::free(rec.Q);
    rec.I = rec.Q = nullptr;
    rec.Len = 0;
}

// Fresh memory costs the kernel a page fault and the zeroing of every page
// when it is first written, more than the transfer into it.  Large arrays
// ask for huge pages (one fault per 2 MiB); where the system gives none,
// nothing changes.
constexpr size_t kHugePage = size_t(2) << 20;

void AskHugePages(float *p, size_t bytes)
{
    const uintptr_t from = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
    if (to > from)
        madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}

// Holds bytes and not much more (arrays of another length are not kept:
// they would hold memory the trace does not use).
bool HoldsJust(const float *p, size_t bytes)
{
    const size_t have = malloc_usable_size(const_cast<float *>(p));
    return have >= bytes && have - bytes < kHugePage;
}

// Sets p[from, to) to zero.  Whole pages are handed back to the kernel,
// which maps them to zero pages again, instead of being written: after an
// Abort the rest of a long trace would otherwise take milliseconds to clear.
// (The arrays come from calloc: private anonymous memory, for which that is
// what MADV_DONTNEED does.)
void ZeroRest(float *p, size_t from, size_t to)
{
    const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t begin = reinterpret_cast<uintptr_t>(p + from), end = reinterpret_cast<uintptr_t>(p + to);
    const uintptr_t first = (begin + page - 1) & ~(page - 1), last = end & ~(page - 1);
    if (last <= first || madvise(reinterpret_cast<void *>(first), last - first, MADV_DONTNEED) != 0) {
        std::fill(p + from, p + to, 0.0f);
        return;
    }
    std::memset(p + from, 0, first - begin);
    std::memset(reinterpret_cast<void *>(last), 0, end - last);
}

// The record's arrays for count samples.  The usual capture has the length
// of the one before: its arrays are written over instead of freed and
// allocated anew, which spares the kernel's work on fresh memory.  Whatever
// a capture does not fill has to be cleared (ZeroRest).
bool TakeArrays(IqRec &rec, int count)
{
    const size_t bytes = size_t(count) * sizeof(float);
    if (rec.I && rec.Q && HoldsJust(rec.I, bytes) && HoldsJust(rec.Q, bytes))
        return true;
    DropArrays(rec);
    rec.I = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
    rec.Q = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
    if (!rec.I || !rec.Q)
        return false;
    AskHugePages(rec.I, bytes);
    AskHugePages(rec.Q, bytes);
    return true;
}

// After a failed or abandoned read the instrument may still be sending the
// block; it has to be gone before the next command's reply can be read.
void DiscardRest(ViSession vi)
{
    viClear(vi);
}

// Most samples per channel a block of the model can hold: what it captures
// at most.  Instruments round record lengths, so a block may be a little
// longer than the capture asked for; anything beyond this cannot be true.
// (The Agate's panel stops at 524200, a little short of its 524288.)
int MaxBlockSamples(const DevRec &dev)
{
    switch (dev.Typ) {
    case DEV_AGATE: return kAgateMemory;
    case DEV_BERYL: return kBerylMaxCount;
    case DEV_CORAL: return kCoralMaxCount;
    case DEV_ONYX: return kOnyxMaxCount;
    default: return kMaxTraceLen;
    }
}

// Reads exactly count bytes: a short read is an incomplete block.
ViStatus ReadExact(ViSession vi, void *buf, size_t count)
{
    ViUInt32 got = 0;
    ViStatus st = viRead(vi, static_cast<ViPBuf>(buf), static_cast<ViUInt32>(count), &got);
    if (st < VI_SUCCESS)
        return st;
    return got == count ? VI_SUCCESS : -1;
}

// "#", a digit n of 1..9, then n decimal digits: the byte count of the block.
// It must describe whole I/Q pairs and no more than the model can capture.
ViStatus ReadHeader(ViSession vi, long long maxSamples, int *count)
{
    char head[2];
    ViStatus st = ReadExact(vi, head, 2);
    if (st != VI_SUCCESS)
        return st;
    if (head[0] != '#' || head[1] < '1' || head[1] > '9')
        return -1;
    const int n = head[1] - '0';
    char digits[10];
    st = ReadExact(vi, digits, size_t(n));
    if (st != VI_SUCCESS)
        return st;
    long long bytes = 0;
    for (int i = 0; i < n; ++i) {
        if (digits[i] < '0' || digits[i] > '9')
            return -1;
        bytes = bytes * 10 + (digits[i] - '0');
    }
    if (bytes == 0 || bytes % 8 != 0 || bytes / 8 > maxSamples)
        return -1;
    *count = static_cast<int>(bytes / 8);
    return VI_SUCCESS;
}

#if defined(__x86_64__) && defined(__GNUC__)
// Eight floats per division where the processor has AVX2, four elsewhere.
#define KAL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KAL_VECTOR_CLONES
#endif

// Divides the floats [from, to) of dst by fkt, in place.  The divisor is
// taken into a local first: as far as the compiler knows, the global could
// be one of dst's floats, which would keep the loop from being vectorised.
// It stays a division, so every value is the instrument's float divided by
// fkt, as it has always been.
KAL_VECTOR_CLONES void ScaleInPlace(float *dst, size_t from, size_t to)
{
    const float by = fkt;
    size_t j = from;
    for (; j + 8 <= to; j += 8)
        for (size_t k = 0; k < 8; ++k)
            dst[j + k] /= by;
    for (; j < to; ++j)
        dst[j] /= by;
}

// Reads n floats straight into dst, each divided by fkt.  The division
// follows every piece while its floats are still in the cache.
ViStatus ReadScaled(ViSession vi, float *dst, int n)
{
    char *const bytes = reinterpret_cast<char *>(dst);
    const size_t count = size_t(n) * sizeof(float);
    for (size_t got = 0; got < count;) {
        const size_t piece = std::min(count - got, kPieceBytes);
        const ViStatus st = ReadExact(vi, bytes + got, piece);
        if (st != VI_SUCCESS)
            return st;
        ScaleInPlace(dst, got / sizeof(float), (got + piece) / sizeof(float));
        got += piece;
    }
    return VI_SUCCESS;
}

bool AbortPressed()
{
    int pressed = 0;
    GetCtrlVal(hSta, ST_ABO, &pressed);
    return pressed != 0;
}

// A chunked transfer under way: the session, whether Abort stopped it, and
// when the window last had its events.
struct Transfer {
    ViSession vi;
    bool aborted = false;
    double eventsAt = -1.0;
};

// Lets the window process its events, so that it stays alive and Abort is
// seen at once; true when Abort was pressed.  Pieces of a fast transfer come
// in a fraction of a millisecond: the events wait until kEventsEverySec has
// passed, pieces of a slow one take longer than that anyway.
bool Aborted(Transfer &tr)
{
    const double now = Timer();
    if (now - tr.eventsAt >= kEventsEverySec) {
        ProcessSystemEvents();
        tr.eventsAt = now;
        tr.aborted = AbortPressed();
    }
    return tr.aborted;
}

// Reads n floats straight into dst in pieces, the window's events between
// them.  Each piece is divided by fkt as soon as it is in, while it is still
// in the cache.  Each wait for data is one short slice of the session's
// time-out, which keeps the window alive also while an instrument sends
// slowly or not at all; the transfer still ends after kDataTmoMs without a
// byte.  After Abort the whole floats that came are kept; *whole says how
// many floats are in.
ViStatus ReadChunk(Transfer &tr, float *dst, int n, size_t *whole)
{
    char *const bytes = reinterpret_cast<char *>(dst);
    const size_t count = size_t(n) * sizeof(float);
    size_t got = 0;
    double heard = Timer();
    while (got < count) {
        *whole = got / sizeof(float);
        if (Aborted(tr))
            return VI_SUCCESS;
        const size_t want = std::min(count - got, kPieceBytes);
        ViUInt32 k = 0;
        const ViStatus st = viRead(tr.vi, reinterpret_cast<ViPBuf>(bytes + got), static_cast<ViUInt32>(want), &k);
        // The floats that became whole with this read: a float cut by the
        // previous one is completed now.
        ScaleInPlace(dst, got / sizeof(float), (got + k) / sizeof(float));
        got += k;
        if (k > 0)
            heard = Timer();
        if (st == VI_ERROR_TMO && (Timer() - heard) * 1000.0 < kDataTmoMs)
            continue;
        if (st < VI_SUCCESS)
            return st;
        // The instrument ended its message early: an incomplete block.
        if (k < want)
            return -1;
    }
    *whole = size_t(n);
    return VI_SUCCESS;
}

void ShowChunkProgress(int k, int count)
{
    char text[64];
    std::snprintf(text, sizeof text, "Reading IQ values  %d%%", static_cast<int>(100LL * k * kJasperChunk / count));
    DspTxtPnl(text);
}

// The Jasper's long traces: pairs of 524288-sample I and Q blocks, then the
// rest of I and the rest of Q, until all are in or Abort is pressed.  Each
// block goes straight to its place in I or Q.  filled[c] tells how many
// samples from the start of channel c are in (all of them unless aborted).
ViStatus ReadPairs(Transfer &tr, IqRec &rec, int count, size_t filled[2])
{
    const int blocks = count / kJasperChunk;
    ViStatus st = VI_SUCCESS;
    filled[0] = filled[1] = 0;
    for (int k = 0; k <= blocks && st == VI_SUCCESS && !tr.aborted; ++k) {
        const int n = k < blocks ? kJasperChunk : count % kJasperChunk;
        if (k < blocks)
            ShowChunkProgress(k, count);
        else
            DspTxtPnl("Reading IQ values  100%");
        const size_t at = size_t(k) * kJasperChunk;
        for (int ch = 0; ch < 2 && n > 0 && st == VI_SUCCESS && !tr.aborted; ++ch) {
            size_t whole = 0;
            st = ReadChunk(tr, (ch ? rec.Q : rec.I) + at, n, &whole);
            filled[ch] = at + whole;
        }
    }
    return st;
}

// The chunked layout.  Abort ends the transfer with a device clear instead of
// reading the rest (at GPIB speed that would take minutes); filled[c] tells
// how much of channel c came.
ViStatus ReadChunked(ViSession vi, IqRec &rec, int count, size_t filled[2])
{
    // Only what the user does from here on counts (the button latches).
    SetCtrlVal(hSta, ST_ABO, 0);
    Transfer tr{vi};
    ViStatus st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kSliceMs);
    if (st == VI_SUCCESS)
        st = ReadPairs(tr, rec, count, filled);
    const ViStatus restored = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDataTmoMs);
    if (st == VI_SUCCESS)
        st = restored;
    if (st == VI_SUCCESS && tr.aborted) {
        DspTxtPnl("Reading IQ values  100%");
        ProcessDrawEvents();
        st = viClear(vi);
    }
    return st;
}

// All I values, then all Q values; each channel is windowed once it is in.
ViStatus ReadSingle(ViSession vi, IqRec &rec, int count, int mask)
{
    ViStatus st = VI_SUCCESS;
    static const char *const texts[2] = {"Reading I values...", "Reading Q values..."};
    for (int ch = 0; ch < 2 && st == VI_SUCCESS; ++ch) {
        const bool wanted = (mask >> ch) & 1;
        float *const dst = ch ? rec.Q : rec.I;
        if (wanted) {
            DspTxtPnl(texts[ch]);
            ProcessDrawEvents();
        }
        // An unwanted channel is still read, so the block ends where it
        // should; its array stays zero.
        st = ReadScaled(vi, dst, count);
        if (!wanted)
            std::fill(dst, dst + count, 0.0f);
        else if (st == VI_SUCCESS)
            CnvWin(ch);
    }
    return st;
}

// ---------------------------------------------------------------- capture

ViStatus Send(ViSession vi, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ViStatus st = viVPrintf(vi, fmt, ap);
    va_end(ap);
    return st;
}

ViStatus ReadLevels(ViSession vi)
{
    char text[101] = {};
    VI_TRY(viQueryf(vi, "DISP:TRAC:Y:RLEV?\n", "%f", &lev));
    VI_TRY(viQueryf(vi, "FREQ:CENT?\n", "%100s", text));
    frq = static_cast<float>(std::atof(text));
    VI_TRY(viQueryf(vi, "INP:ATT?\n", "%f", &att));
    char info[160];
    std::snprintf(info, sizeof info, "Frequ.: %0.6fMHz    Ref.Lev.: %0.2fdBm    Atten.: %0.2fdB",
                  frq / 1000000.0, double(lev), double(att));
    SetCtrlVal(hTrc, TR_STA, info);
    return VI_SUCCESS;
}

ViStatus SetBaseband(ViSession vi)
{
    VI_TRY(Send(vi, "INP:SEL %s\n", IqInp ? "AIQ" : "RF"));
    VI_TRY(Send(vi, "INP:IQ:BAL %s\n", OnOff(Bal)));
    VI_TRY(Send(vi, "INP:IQ:IMP %s\n", Imp ? "HIGH" : "LOW"));
    VI_TRY(Send(vi, "IQ:DITH %s\n", OnOff(Dith)));
    VI_TRY(Send(vi, "IQ:LPAS %s\n", OnOff(LPas)));
    return VI_SUCCESS;
}

ViStatus EnsureSpectrumMode(ViSession vi)
{
    char mode[101] = {};
    VI_TRY(viQueryf(vi, "INST:NSEL?\n", "%100s", mode));
    if (std::atoi(mode) != 1) {
        MessagePopup("Warning", "Switching to spectrum analysis mode.");
        VI_TRY(Send(vi, "INST:NSEL 1\n"));
    }
    return VI_SUCCESS;
}

// Ring values are short SCPI tokens; a longer text is cut to the field.
void CopyToken(char (&dst)[8], const char *src)
{
    const size_t n = std::min(std::strlen(src), sizeof dst - 1);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

// Trigger source and slope as the model's settings panel shows them now.
void ReadTrigger(const DevRec &dev)
{
    struct Ids {
        int panel, mode, slope;
    };
    Ids ids{};
    switch (dev.Typ) {
    case DEV_AGATE: ids = {hAgt, AG_TRGMOD, AG_TRGSLP}; break;
    case DEV_BERYL: ids = {hBer, BY_TRGMOD, BY_TRGSLP}; break;
    case DEV_CORAL: ids = {hCor, CL_TRGMOD, CL_TRGSLP}; break;
    case DEV_JASPER: ids = {hJas, JA_TRGMOD, JA_TRGSLP}; break;
    case DEV_ONYX: ids = {hOnx, OX_TRGMOD, OX_TRGSLP}; break;
    default: return;
    }
    char text[256];
    if (GetCtrlVal(ids.panel, ids.mode, text) >= 0)
        CopyToken(TrgMod, text);
    if (GetCtrlVal(ids.panel, ids.slope, text) >= 0)
        CopyToken(TrgSlp, text);
}

ViStatus SendSettings(const DevRec &dev, int len)
{
    if (IsAgate(dev))
        return Send(dev.Vi, "TRAC:IQ:SET RAW,8MHz,%dHz,%s,%s,%0.2lfms,%0.4lfms;*WAI\n", static_cast<int>(SRat),
                    TrgMod, TrgSlp, double(TrgOfs), double(RecLen));
    return Send(dev.Vi, "TRAC:IQ:SET NORM,%dHz,%dHz,%s,%s,%d,%d;*WAI\n", static_cast<int>(Rbw),
                static_cast<int>(SRat), TrgMod, TrgSlp, PreTrg, len);
}

void ShowAcquiring()
{
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 0);
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 1);
}

// Everything up to the data query: levels, setup saved, capture settings.
ViStatus StartCapture(const DevRec &dev, double *start)
{
    const ViSession vi = dev.Vi;
    VI_TRY(ReadLevels(vi));
    if (!IsAgate(dev)) {
        DspTxtPnl("Saving configuration...");
        VI_TRY(Send(vi, "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG';*WAI\n"));
    }
    // The RMS voltage of the reference level into 50 ohm reads as 1.0.
    fkt = static_cast<float>(std::sqrt(50.0 * std::pow(10.0, (double(lev) - 30.0) / 10.0)));
    ShowAcquiring();
    DspTxtPnl("Starting measurement...");
    *start = Timer();
    if (IsJasper(dev)) {
        if (CheckM34(dev) == 0)
            VI_TRY(SetBaseband(vi));
        VI_TRY(EnsureSpectrumMode(vi));
    }
    VI_TRY(Send(vi, "SYST:COMM:GPIB:RTER EOI\n"));
    VI_TRY(Send(vi, "TRAC:IQ ON\n"));
    VI_TRY(viSetAttribute(vi, VI_ATTR_TMO_VALUE, kTmoMs));
    ReadTrigger(dev);
    // Whatever the record holds now, the capture asks for what the panel shows.
    VI_TRY(SendSettings(dev, PanelCount(dev.Typ)));
    VI_TRY(Send(vi, "INIT:CONT OFF\n"));
    VI_TRY(Send(vi, "FORM REAL, 32\n"));
    VI_TRY(Send(vi, "*CLS;*SRE 48;*ESE 1\n"));
    return VI_SUCCESS;
}

ViStatus EndCapture(const DevRec &dev)
{
    VI_TRY(Send(dev.Vi, "TRAC:IQ OFF\n"));
    if (!IsJasper(dev))
        VI_TRY(Send(dev.Vi, "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG'\n"));
    VI_TRY(Send(dev.Vi, "INIT:CONT ON\n"));
    VI_TRY(viSetAttribute(dev.Vi, VI_ATTR_TMO_VALUE, kTmoMs));
    return VI_SUCCESS;
}

void ShowDataRate(int len, double start)
{
    // A clock that did not move would give no rate at all.
    const double secs = std::max(Timer() - start, 1e-6);
    SetCtrlVal(hTrc, TR_DRAT, len / secs * 0.000008);
}

}  // namespace

int ReadIQ(DevRec dev, IqRec &rec, int mask)
{
    const ViSession vi = dev.Vi;
    VI_TRY(viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDataTmoMs));
    if (IsAgate(dev))
        fkt *= 1000.0f;
    VI_TRY(Send(vi, "TRAC:IQ:DATA?\n"));

    int count = 0;
    ViStatus st = ReadHeader(vi, MaxBlockSamples(dev), &count);
    if (st == VI_SUCCESS && !TakeArrays(rec, count))
        st = -1;
    if (st != VI_SUCCESS) {
        DropArrays(rec);
        DiscardRest(vi);
        return st;
    }
    rec.Len = count;

    if (IsJasper(dev) && count > kJasperChunk) {
        size_t filled[2] = {};
        {
            // The Load and Save panels refuse to touch s while input runs.
            IoBusyScope busy;
            st = ReadChunked(vi, rec, count, filled);
        }
        // After Abort, what did not come is zero (a float cut in half too),
        // also in arrays that held the trace before.
        if (st == VI_SUCCESS) {
            ZeroRest(rec.I, filled[0], size_t(count));
            ZeroRest(rec.Q, filled[1], size_t(count));
        }
        // Abort also raised the file loads' flag (it cannot tell the two
        // apart); it must not stop the next load.
        EscFlg = 0;
        // Callbacks that ran during the events may have set a count of their own.
        rec.Len = count;
    } else {
        st = ReadSingle(vi, rec, count, mask);
    }
    if (st != VI_SUCCESS) {
        DropArrays(rec);
        DiscardRest(vi);
    }
    return st;
}

int TracIQ(DevRec dev, IqRec &rec)
{
    ShowAcquiring();
    ProcessDrawEvents();
    double start = 0;
    VI_TRY(StartCapture(dev, &start));
    if (ReadIQ(dev, rec, 3) != VI_SUCCESS) {
        HidePanel(hSta);
        return -1;
    }
    VI_TRY(EndCapture(dev));
    HidePanel(hSta);
    ShowDataRate(rec.Len, start);

    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 0);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
    NewState = 1;
    DVal = 1;
    SetCtrlVal(hRun, RN_DVAL, 1);
    ProcessDrawEvents();
    DevLocal(dev.Vi);
    return 0;
}

int StopMeas(DevRec dev)
{
    NewState = 0;
    DVal = 0;
    SetCtrlVal(hRun, RN_DVAL, 0);
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 1);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 0);

    const ViSession vi = dev.Vi;
    ibInstallCallback(static_cast<int>(vi), 0, nullptr, nullptr);
    if (IsAgate(dev)) {
        VI_TRY(Send(vi, "TRAC:IQ OFF\n"));
        DspTxtPnl("Saving configuration...");
        VI_TRY(Send(vi, "MMEM:STOR:STAT 1, 'C:\\USER\\CONFIG\\IQCFG.CFG';*WAI\n"));
    }
    DspTxtPnl("Reloading configuration...");
    VI_TRY(Send(vi, "*RST;*CLS\n"));
    if (IsAgate(dev))
        VI_TRY(Send(vi, "MMEM:LOAD:STAT 1,'C:\\USER\\CONFIG\\IQCFG.CFG'\n"));
    else
        VI_TRY(Send(vi, "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG'\n"));
    VI_TRY(Send(vi, "INIT:CONT ON\n"));
    VI_TRY(viSetAttribute(vi, VI_ATTR_TMO_VALUE, kTmoMs));
    if (dev.Ift == IFT_LAN)
        VI_TRY(viSetAttribute(vi, KAL_ATTR_LAN_LOCAL_AFTER_RESET, 1));
    else
        VI_TRY(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL));
    HidePanel(hSta);
    return VI_SUCCESS;
}
