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

const char kVisaErrText[] = "A VISA error has occured.";

namespace {

constexpr ViUInt32 kTmoMs = 10000;
constexpr ViUInt32 kDataTmoMs = 30000;
// One wait for data of the chunked read, before the window gets its events.
constexpr ViUInt32 kSliceMs = 100;
// Bytes read between two looks at the window: a few ms on a LAN, a quarter
// of a second through a GPIB gateway.
constexpr size_t kPieceBytes = 256 * 1024;
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

// Reads n floats through the work buffer; each is divided by fkt into dst
// (or dropped when dst is null).
ViStatus ReadScaled(ViSession vi, float *work, float *dst, int n)
{
    ViStatus st = ReadExact(vi, work, size_t(n) * sizeof(float));
    if (st != VI_SUCCESS || dst == nullptr)
        return st;
    for (int j = 0; j < n; ++j)
        dst[j] = work[j] / fkt;
    return VI_SUCCESS;
}

bool AbortPressed()
{
    int pressed = 0;
    GetCtrlVal(hSta, ST_ABO, &pressed);
    return pressed != 0;
}

// Reads count bytes in pieces and lets the window process its events between
// them, so that it stays alive and Abort is seen at once.  Each wait for data
// is one short slice of the session's time-out, which keeps the window alive
// also while an instrument sends slowly or not at all; the transfer still
// ends after kDataTmoMs without a byte.  aborted tells that Abort stopped it.
ViStatus ReadWatched(ViSession vi, char *buf, size_t count, size_t *got, bool *aborted)
{
    *got = 0;
    double heard = Timer();
    while (*got < count) {
        ProcessSystemEvents();
        if ((*aborted = AbortPressed()))
            return VI_SUCCESS;
        const size_t want = std::min(count - *got, kPieceBytes);
        ViUInt32 n = 0;
        const ViStatus st = viRead(vi, reinterpret_cast<ViPBuf>(buf + *got), static_cast<ViUInt32>(want), &n);
        *got += n;
        if (n > 0)
            heard = Timer();
        if (st == VI_ERROR_TMO && (Timer() - heard) * 1000.0 < kDataTmoMs)
            continue;
        if (st < VI_SUCCESS)
            return st;
        // The instrument ended its message early: an incomplete block.
        if (n < want)
            return -1;
    }
    return VI_SUCCESS;
}

// n floats of one I or Q block, each divided by fkt into dst.  After Abort
// the whole floats that came are kept; the rest of dst stays zero.
ViStatus ReadChunk(ViSession vi, float *work, float *dst, int n, bool *aborted)
{
    size_t got = 0;
    const ViStatus st = ReadWatched(vi, reinterpret_cast<char *>(work), size_t(n) * sizeof(float), &got, aborted);
    if (st != VI_SUCCESS)
        return st;
    const size_t whole = got / sizeof(float);
    for (size_t j = 0; j < whole; ++j)
        dst[j] = work[j] / fkt;
    return VI_SUCCESS;
}

void ShowChunkProgress(int k, int count)
{
    char text[64];
    std::snprintf(text, sizeof text, "Reading IQ values  %d%%", static_cast<int>(100LL * k * kJasperChunk / count));
    DspTxtPnl(text);
}

// The Jasper's long traces: pairs of 524288-sample I and Q blocks, then the
// rest of I and the rest of Q, until all are in or Abort is pressed.
ViStatus ReadPairs(ViSession vi, float *work, IqRec &rec, int count, bool *aborted)
{
    const int blocks = count / kJasperChunk;
    ViStatus st = VI_SUCCESS;
    for (int k = 0; k <= blocks && st == VI_SUCCESS && !*aborted; ++k) {
        const int n = k < blocks ? kJasperChunk : count % kJasperChunk;
        if (k < blocks)
            ShowChunkProgress(k, count);
        else
            DspTxtPnl("Reading IQ values  100%");
        const size_t at = size_t(k) * kJasperChunk;
        if (n > 0)
            st = ReadChunk(vi, work, rec.I + at, n, aborted);
        if (n > 0 && st == VI_SUCCESS && !*aborted)
            st = ReadChunk(vi, work, rec.Q + at, n, aborted);
    }
    return st;
}

// The chunked layout.  Abort ends the transfer with a device clear instead of
// reading the rest (at GPIB speed that would take minutes); what was not read
// stays zero.
ViStatus ReadChunked(ViSession vi, IqRec &rec, int count)
{
    float *work = static_cast<float *>(std::calloc(kJasperChunk, sizeof(float)));
    if (!work)
        return -1;
    // Only what the user does from here on counts (the button latches).
    SetCtrlVal(hSta, ST_ABO, 0);
    bool aborted = false;
    ViStatus st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kSliceMs);
    if (st == VI_SUCCESS)
        st = ReadPairs(vi, work, rec, count, &aborted);
    std::free(work);
    const ViStatus restored = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kDataTmoMs);
    if (st == VI_SUCCESS)
        st = restored;
    if (st == VI_SUCCESS && aborted) {
        DspTxtPnl("Reading IQ values  100%");
        ProcessDrawEvents();
        st = viClear(vi);
    }
    return st;
}

// All I values, then all Q values; each channel is windowed once it is in.
ViStatus ReadSingle(ViSession vi, IqRec &rec, int count, int mask)
{
    float *work = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
    if (!work)
        return -1;
    ViStatus st = VI_SUCCESS;
    static const char *const texts[2] = {"Reading I values...", "Reading Q values..."};
    for (int ch = 0; ch < 2 && st == VI_SUCCESS; ++ch) {
        const bool wanted = (mask >> ch) & 1;
        if (wanted) {
            DspTxtPnl(texts[ch]);
            ProcessDrawEvents();
        }
        // An unwanted channel is still read, so the block ends where it should.
        st = ReadScaled(vi, work, wanted ? (ch ? rec.Q : rec.I) : nullptr, count);
        if (st == VI_SUCCESS && wanted)
            CnvWin(ch);
    }
    std::free(work);
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
    DropArrays(rec);
    if (st != VI_SUCCESS) {
        DiscardRest(vi);
        return st;
    }
    rec.I = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
    rec.Q = static_cast<float *>(std::calloc(size_t(count), sizeof(float)));
    if (!rec.I || !rec.Q) {
        DropArrays(rec);
        DiscardRest(vi);
        return -1;
    }
    rec.Len = count;

    if (IsJasper(dev) && count > kJasperChunk) {
        {
            // The Load and Save panels refuse to touch s while input runs.
            IoBusyScope busy;
            st = ReadChunked(vi, rec, count);
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
