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
// One wait for the data query's answer, before the window gets its events.
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

ViStatus Send(ViSession vi, const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    ViStatus st = viVPrintf(vi, fmt, ap);
    va_end(ap);
    return st;
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

// Only what the user does from here on counts (the button latches).  A
// press while the capture is set up is seen at the first look, once the data
// query is out.
void ReleaseAbort()
{
    SetCtrlVal(hSta, ST_ABO, 0);
}

bool AbortPressed()
{
    int pressed = 0;
    GetCtrlVal(hSta, ST_ABO, &pressed);
    return pressed != 0;
}

// The answer to a data query under way: the session, whether Abort stopped
// it, when the window last had its events, when the instrument was last
// heard and how many sample bytes came.  With blockBytes set, the Status
// window shows the share of them that came (shown: the percentage on it).
struct Transfer {
    ViSession vi;
    bool aborted = false;
    double eventsAt = -1.0;
    double heard = Timer();
    size_t sampleBytes = 0;
    size_t blockBytes = 0;
    int shown = -1;
};

// The text is set only when the percentage moves: a long trace still asks
// for no more than a hundred redraws.
void ShowProgress(Transfer &tr)
{
    if (tr.blockBytes == 0)
        return;
    const int pct = static_cast<int>(std::min<size_t>(100, tr.sampleBytes * 100 / tr.blockBytes));
    if (pct == tr.shown)
        return;
    tr.shown = pct;
    char text[64];
    std::snprintf(text, sizeof text, "Reading IQ values  %d%%", pct);
    DspTxtPnl(text);
}

// Lets the window process its events, so that it stays alive and Abort is
// seen at once; true when Abort was pressed.  Pieces of a fast transfer come
// in a fraction of a millisecond: the events wait until kEventsEverySec has
// passed, pieces of a slow one take longer than that anyway.
bool Aborted(Transfer &tr)
{
    const double now = Timer();
    if (now - tr.eventsAt >= kEventsEverySec) {
        ShowProgress(tr);
        ProcessSystemEvents();
        tr.eventsAt = now;
        tr.aborted = AbortPressed();
    }
    return tr.aborted;
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

// Reads count bytes into buf in pieces, the window's events between them,
// until all are in or Abort is pressed (*got says how many came).  Each wait
// for data is one short slice of the session's time-out, which keeps the
// window alive also while the instrument waits for its trigger, sends slowly
// or not at all; the read still ends after kDataTmoMs without a byte.  With
// floats, buf holds floats that are divided by fkt as soon as they are
// whole, while they are still in the cache.
ViStatus ReadWatched(Transfer &tr, void *buf, size_t count, bool floats, size_t *got)
{
    char *const bytes = static_cast<char *>(buf);
    *got = 0;
    while (*got < count) {
        if (Aborted(tr))
            return VI_SUCCESS;
        const size_t want = std::min(count - *got, kPieceBytes);
        ViUInt32 k = 0;
        const ViStatus st = viRead(tr.vi, reinterpret_cast<ViPBuf>(bytes + *got), static_cast<ViUInt32>(want), &k);
        if (floats) {
            // A float cut by the previous read is completed by this one.
            ScaleInPlace(static_cast<float *>(buf), *got / sizeof(float), (*got + k) / sizeof(float));
            tr.sampleBytes += k;
        }
        *got += k;
        if (k > 0)
            tr.heard = Timer();
        if (st == VI_ERROR_TMO && (Timer() - tr.heard) * 1000.0 < kDataTmoMs)
            continue;
        if (st < VI_SUCCESS)
            return st;
        // The instrument ended its message early: an incomplete block.
        if (k < want)
            return -1;
    }
    return VI_SUCCESS;
}

// n floats straight into dst, each divided by fkt; *whole says how many are
// in (fewer only after Abort).
ViStatus ReadFloats(Transfer &tr, float *dst, int n, size_t *whole)
{
    size_t got = 0;
    const ViStatus st = ReadWatched(tr, dst, size_t(n) * sizeof(float), true, &got);
    *whole = got / sizeof(float);
    return st;
}

// "#", a digit n of 1..9, then n decimal digits: the byte count of the block.
// It must describe whole I/Q pairs and no more than the model can capture.
// *count stays 0 when Abort came first.
ViStatus ReadHeader(Transfer &tr, long long maxSamples, int *count)
{
    *count = 0;
    char head[2];
    size_t got = 0;
    ViStatus st = ReadWatched(tr, head, 2, false, &got);
    if (st != VI_SUCCESS || tr.aborted)
        return st;
    if (head[0] != '#' || head[1] < '1' || head[1] > '9')
        return -1;
    const int n = head[1] - '0';
    char digits[10];
    st = ReadWatched(tr, digits, size_t(n), false, &got);
    if (st != VI_SUCCESS || tr.aborted)
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

// The Jasper's long traces: pairs of 524288-sample I and Q blocks, then the
// rest of I and the rest of Q, until all are in or Abort is pressed.  Each
// block goes straight to its place in I or Q.  filled[c] tells how many
// samples from the start of channel c are in (all of them unless aborted).
ViStatus ReadPairs(Transfer &tr, IqRec &rec, int count, size_t filled[2])
{
    const int blocks = count / kJasperChunk;
    tr.blockBytes = size_t(count) * 2 * sizeof(float);
    ShowProgress(tr);
    ViStatus st = VI_SUCCESS;
    for (int k = 0; k <= blocks && st == VI_SUCCESS && !tr.aborted; ++k) {
        const int n = k < blocks ? kJasperChunk : count % kJasperChunk;
        const size_t at = size_t(k) * kJasperChunk;
        for (int ch = 0; ch < 2 && n > 0 && st == VI_SUCCESS && !tr.aborted; ++ch) {
            size_t whole = 0;
            st = ReadFloats(tr, (ch ? rec.Q : rec.I) + at, n, &whole);
            filled[ch] = at + whole;
        }
    }
    // The last pieces came between two looks at the window.
    ShowProgress(tr);
    return st;
}

// All I values, then all Q values.  An unwanted channel is still read, so
// the block ends where it should; its array stays zero.
ViStatus ReadSingle(Transfer &tr, IqRec &rec, int count, int mask, size_t filled[2])
{
    ViStatus st = VI_SUCCESS;
    static const char *const texts[2] = {"Reading I values...", "Reading Q values..."};
    for (int ch = 0; ch < 2 && st == VI_SUCCESS && !tr.aborted; ++ch) {
        const bool wanted = (mask >> ch) & 1;
        float *const dst = ch ? rec.Q : rec.I;
        if (wanted) {
            DspTxtPnl(texts[ch]);
            ProcessDrawEvents();
        }
        st = ReadFloats(tr, dst, count, &filled[ch]);
        if (!wanted)
            std::fill(dst, dst + count, 0.0f);
    }
    return st;
}

// The block after its header, in the model's layout.  Only the samples of
// which both I and Q came are held: after Abort, the full pairs before it
// and the part of the current pair whose Q came (in the single layout, the Q
// values that came).  The rest is cleared.  A single block is windowed over
// what is held, each wanted channel.
ViStatus ReadSamples(Transfer &tr, const DevRec &dev, IqRec &rec, int count, int mask, size_t *held)
{
    size_t filled[2] = {};
    const bool chunked = IsJasper(dev) && count > kJasperChunk;
    const ViStatus st = chunked ? ReadPairs(tr, rec, count, filled) : ReadSingle(tr, rec, count, mask, filled);
    if (st != VI_SUCCESS)
        return st;
    *held = std::min(filled[0], filled[1]);
    ZeroRest(rec.I, *held, size_t(count));
    ZeroRest(rec.Q, *held, size_t(count));
    // Callbacks that ran during the events may have set a count of their own.
    rec.Len = static_cast<int>(*held);
    for (int ch = 0; ch < 2 && !chunked; ++ch)
        if ((mask >> ch) & 1)
            CnvWin(ch);
    return VI_SUCCESS;
}

// Header and samples, with the slices of the session's time-out in force;
// *held: the samples held (none when Abort came before the header).
ViStatus ReadBlock(Transfer &tr, const DevRec &dev, IqRec &rec, int mask, size_t *held)
{
    int count = 0;
    ViStatus st = ReadHeader(tr, MaxBlockSamples(dev), &count);
    if (st != VI_SUCCESS || tr.aborted)
        return st;
    if (!TakeArrays(rec, count))
        return -1;
    rec.Len = count;
    return ReadSamples(tr, dev, rec, count, mask, held);
}

// The data query and its answer.  Abort, at any moment from the query on,
// ends the transfer with a device clear instead of reading the rest (at GPIB
// speed that would take minutes, and a trigger may never come); rec.Len is
// then what is held, 0 with no arrays when nothing is.  *bytes: the sample
// bytes that came.
ViStatus ReadData(const DevRec &dev, IqRec &rec, int mask, size_t *bytes)
{
    const ViSession vi = dev.Vi;
    VI_TRY(viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDataTmoMs));
    if (IsAgate(dev))
        fkt *= 1000.0f;
    VI_TRY(Send(vi, "TRAC:IQ:DATA?\n"));
    Transfer tr{vi};
    size_t held = 0;
    ViStatus st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kSliceMs);
    if (st == VI_SUCCESS)
        st = ReadBlock(tr, dev, rec, mask, &held);
    const ViStatus restored = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDataTmoMs);
    if (st == VI_SUCCESS)
        st = restored;
    if (st == VI_SUCCESS && tr.aborted)
        st = viClear(vi);
    *bytes = tr.sampleBytes;
    if (st != VI_SUCCESS || held == 0) {
        DropArrays(rec);
        if (st != VI_SUCCESS)
            DiscardRest(vi);
        return st;
    }
    rec.Len = static_cast<int>(held);
    return VI_SUCCESS;
}

// ---------------------------------------------------------------- capture

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
    // Drawn now: the answer to the data query may be long in coming.
    DspTxtPnl("Starting measurement...");
    ProcessDrawEvents();
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

// The sample bytes that came, in 10^6 bytes per second.
void ShowDataRate(size_t bytes, double start)
{
    // A clock that did not move would give no rate at all.
    const double secs = std::max(Timer() - start, 1e-6);
    SetCtrlVal(hTrc, TR_DRAT, double(bytes) / secs * 1e-6);
}

// The whole sequence.  After Abort the instrument is put back as after every
// capture; what came of both I and Q is the trace, and when nothing came
// the data are not valid, as after a failure, but without its message: the
// person asked for it.
int Capture(const DevRec &dev, IqRec &rec)
{
    ReleaseAbort();
    ShowAcquiring();
    ProcessDrawEvents();
    double start = Timer();
    size_t bytes = 0;
    ViStatus st = StartCapture(dev, &start);
    if (st == VI_SUCCESS)
        st = ReadData(dev, rec, 3, &bytes);
    if (st == VI_SUCCESS)
        st = EndCapture(dev);
    // Whatever failed, the Status window goes, and the rate is that of what
    // came (none when nothing did), not the figure of the capture before.
    HidePanel(hSta);
    ShowDataRate(bytes, start);
    if (st != VI_SUCCESS) {
        // The instrument may be left in capture mode: the panel stays stuck.
        DropArrays(rec);
        return -1;
    }

    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 0);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
    if (rec.Len > 0) {
        NewState = 1;
        DVal = 1;
        SetCtrlVal(hRun, RN_DVAL, 1);
    }
    ProcessDrawEvents();
    DevLocal(dev.Vi);
    return 0;
}

}  // namespace

int ReadIQ(DevRec dev, IqRec &rec, int mask)
{
    ReleaseAbort();
    size_t bytes = 0;
    return ReadData(dev, rec, mask, &bytes);
}

int TracIQ(DevRec dev, IqRec &rec)
{
    // The events go on while the block comes: nothing may read or replace s
    // meanwhile.
    IoBusyScope busy;
    const int st = Capture(dev, rec);
    // Abort (and Quit, which presses it) also raised the file loads' flag,
    // which cannot tell the two apart; it must not stop the next load.
    EscFlg = 0;
    return st;
}

namespace {

ViStatus StopSequence(const DevRec &dev)
{
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
    return VI_SUCCESS;
}

}  // namespace

int StopMeas(DevRec dev)
{
    NewState = 0;
    DVal = 0;
    SetCtrlVal(hRun, RN_DVAL, 0);
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 1);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, 1);
    const ViStatus st = StopSequence(dev);
    HidePanel(hSta);
    // Until a stop has gone through, the instrument may still be in capture
    // mode: a trace would fail on it, and the stop is what is left to try
    // (after a new device test, when the connection was lost).
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, st == VI_SUCCESS ? 0 : 1);
    SetCtrlAttribute(hTrc, TR_BRK, ATTR_DIMMED, st == VI_SUCCESS ? 1 : 0);
    return st;
}
