// The TCP remote-control server.  A client sends one of three plain-text
// commands and gets the server's identity, the data state (a state message
// from the support library) or the current I/Q data.  Every reply starts with
// its int32 kind so that a client can tell a reply from a state message that
// a load or a capture sent in between.
//
// Everything runs in the callback on the user-interface thread.  A data reply
// of 16.7 million samples takes a while, so the Transfer panel shows its
// progress and the window keeps drawing between blocks; a client that stops
// reading or goes away ends the reply after a time-out instead of freezing the
// program.  The samples are interleaved a few blocks at a time into one
// buffer that stays in the cache, and each block goes to the socket from
// there.  Nothing a peer does may stop the server or wait for the person at
// the screen: what the operator should know goes into a note that returns at
// once.
#include "remote/tcpserver.h"

#include "VmFunLib.h"
#include "instrument/settings.h"
#include "state/busy.h"
#include "state/globals.h"
#include "state/panelids.h"
#include "state/statuspanel.h"
#include "userint.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The wire carries little-endian int32 and float32; the host's own layout is
// copied as it is.
static_assert(std::endian::native == std::endian::little, "the reply layout assumes a little-endian host");

constexpr int32_t kDataReply = 2;
constexpr int32_t kIdentityReply = 4;
constexpr size_t kReplyBytes = 100;
constexpr size_t kCommandBytes = 1000;
constexpr unsigned kReadTimeoutMs = 1000;
constexpr unsigned kIdentityTimeoutMs = 1000;
// Per block of 64000 bytes: generous for a slow link, short enough that a
// client that stopped reading gives the window back within seconds.
constexpr unsigned kBlockTimeoutMs = 5000;
constexpr int kBlockSamples = 8000;
// Blocks interleaved into the reply buffer at a time: 512 kB.
constexpr int kBlocksPerFill = 8;
// How often the Transfer panel draws during a data reply.
constexpr double kDrawEverySec = 0.02;

void DebugOut(const char *fmt, const char *text = "")
{
#ifndef NDEBUG
    std::fprintf(stderr, fmt, text);
#else
    (void)fmt;
    (void)text;
#endif
}

// An Agate in analyzer mode captures as many samples as its record length
// holds at the sample rate, so the count of its next capture follows those
// two settings; the client hears of the trace held.  The state goes to the
// client on `handle`.
void UpdateRecordLength(unsigned handle)
{
    if (TrcFlg != 0 && a.Typ == DEV_AGATE)
        s.Len = AgateSamples(SRat, RecLen);
    UpdTesAll(static_cast<int>(handle), NewState, HeldRate(), StateLen());
}

void TellOperator(const char *text)
{
    NotePopup("TCP Server", text);
}

// A fresh zeroed reply buffer of 100 bytes with the kind in bytes 0-3.
bool NewReply(int32_t kind)
{
    std::free(RepMem);
    RepMem = static_cast<char *>(std::calloc(kReplyBytes, 1));
    if (!RepMem)
        return false;
    std::memcpy(RepMem, &kind, sizeof kind);
    return true;
}

void SendIdentity(unsigned handle)
{
    if (!NewReply(kIdentityReply))
        return;
    std::memcpy(RepMem + 4, "Kalmira", sizeof "Kalmira");
    ServerTCPWrite(handle, RepMem, kReplyBytes, kIdentityTimeoutMs);
}

void ShowTransferPanel()
{
    SetCtrlVal(hDat, DT_TRANSF, 0);
    GetPanelAttribute(hRun, ATTR_LEFT, &x);
    GetPanelAttribute(hRun, ATTR_TOP, &y);
    SetPanelPos(hDat, y + 150, x + 200);
    DisplayPanel(hDat);
    ProcessDrawEvents();
}

void EndTransfer()
{
    std::free(IQMem);
    IQMem = nullptr;
    HidePanel(hDat);
}

// The client did not take a block in time, has gone, or cannot be served:
// the rest of the reply is dropped.  Its connection is closed, since what it
// would read next could only be taken for samples.
void AbandonTransfer(unsigned handle)
{
    EndTransfer();
    DisconnectTCPClient(handle);
    SetCtrlVal(hRun, RN_CONN, 0);
}

void FailTransfer(unsigned handle)
{
    AbandonTransfer(handle);
    TellOperator("Not enough memory to send the I/Q data.\nThe transfer was stopped.");
}

// Data without arrays (a count but no samples) goes out as zeros.
bool EnsureArrays(int len)
{
    if (s.I && s.Q)
        return true;
    std::free(s.I);
    std::free(s.Q);
    const size_t n = len > 0 ? static_cast<size_t>(len) : 1;
    s.I = static_cast<float *>(std::calloc(n, sizeof(float)));
    s.Q = static_cast<float *>(std::calloc(n, sizeof(float)));
    HeldLen = s.I && s.Q ? len : 0;
    return s.I && s.Q;
}

// The count can run ahead of the arrays (an Agate's count follows its record
// length, which may have been raised since the last capture): whatever lies
// beyond them goes out as zeros, never as the memory behind them.
struct Source {
    const float *i, *q;
    size_t held;
};

// Interleaves count samples from first on as I, Q, I, Q ... into out.  The
// floats are moved, not computed: every bit arrives as s holds it.
void Interleave(float *out, const Source &src, size_t first, size_t count)
{
    const size_t held = first < src.held ? std::min(count, src.held - first) : 0;
    const float *i = src.i + first, *q = src.q + first;
    size_t k = 0;
    for (; k + 4 <= held; k += 4)
        for (size_t j = k; j < k + 4; ++j) {
            out[2 * j] = i[j];
            out[2 * j + 1] = q[j];
        }
    for (; k < held; ++k) {
        out[2 * k] = i[k];
        out[2 * k + 1] = q[k];
    }
    std::fill(out + 2 * held, out + 2 * count, 0.0f);
}

bool SendBlock(unsigned handle, const float *samples, int count)
{
    const size_t bytes = static_cast<size_t>(count) * 2 * sizeof(float);
    return ServerTCPWrite(handle, samples, bytes, kBlockTimeoutMs) == static_cast<int>(bytes);
}

// The 4-byte header of the data reply.
bool SendHeader(unsigned handle)
{
    HdrSize = 4;
    const bool sent = ServerTCPWrite(handle, RepMem, HdrSize, kBlockTimeoutMs) == HdrSize;
    std::free(RepMem);
    RepMem = nullptr;
    return sent;
}

// The Transfer panel's figure after full block b of `blocks`, set when it
// changes.  The panel draws every kDrawEverySec: a block goes out in some
// ten microseconds, far more often than a window can show anything.
class Progress {
public:
    explicit Progress(int blocks) : blocks_(blocks) {}
    void After(int b)
    {
        if (b > 0) {
            const int percent = static_cast<int>((static_cast<long long>(b) * 100 + 100) / blocks_);
            if (percent != shown_)
                SetCtrlVal(hDat, DT_TRANSF, shown_ = percent);
        }
        const double now = Timer();
        if (now - drawn_ >= kDrawEverySec) {
            ProcessDrawEvents();
            drawn_ = now;
        }
    }

private:
    int blocks_;
    int shown_ = 0;
    double drawn_ = -1.0;
};

bool SendSamples(unsigned handle, int len)
{
    const Source src{s.I, s.Q, static_cast<size_t>(HeldSamples())};
    float *const buffer = reinterpret_cast<float *>(IQMem);
    const int fullBlocks = len / kBlockSamples;
    const int blocks = (len + kBlockSamples - 1) / kBlockSamples;
    Progress progress(fullBlocks);
    for (int b = 0; b < blocks; ++b) {
        const size_t first = static_cast<size_t>(b) * kBlockSamples;
        const int slot = b % kBlocksPerFill;
        if (slot == 0)
            Interleave(buffer, src, first, std::min<size_t>(size_t(kBlocksPerFill) * kBlockSamples, size_t(len) - first));
        const int count = b < fullBlocks ? kBlockSamples : len % kBlockSamples;
        if (!SendBlock(handle, buffer + 2 * slot * kBlockSamples, count))
            return false;
        if (b < fullBlocks)
            progress.After(b);
    }
    return true;
}

// The reply carries no count: the client knows it from the last state
// message, so the header and the samples follow the command directly.  While
// a file operation or a capture is filling `s`, its samples are not there:
// the client is told the count 0 and gets an empty reply, and the state
// message at the operation's end announces the new data.
int SendSymbols(unsigned handle)
{
    ShowTransferPanel();
    if (!NewReply(kDataReply)) {
        HidePanel(hDat);
        TellOperator("Not enough memory to send the I/Q data.");
        return -1;
    }
    // In analyzer mode Len is the count of the next capture: the trace held goes out.
    const int count = StateLen() < 0 ? 0 : StateLen();
    const int len = IoBusy ? 0 : count;
    if (IoBusy)
        UpdTesAll(static_cast<int>(handle), NewState, HeldRate(), 0);
    if (!SendHeader(handle)) {
        AbandonTransfer(handle);
        return 0;
    }
    IQMem = static_cast<char *>(std::calloc(size_t(2) * kBlocksPerFill * kBlockSamples, sizeof(float)));
    if (!IQMem || (len > 0 && !EnsureArrays(len))) {
        FailTransfer(handle);
        return 0;
    }
    if (!SendSamples(handle, len)) {
        AbandonTransfer(handle);
        return 0;
    }
    EndTransfer();
    if (len == count)
        NewState = 0;
    return 0;
}

int OnDataReady(unsigned handle)
{
    char buf[kCommandBytes + 1];
    const int n = ServerTCPRead(handle, buf, kCommandBytes, kReadTimeoutMs);
    if (n == TCPEReadFailed) {
        SetCtrlVal(hRun, RN_CONN, 0);
        TellOperator("TCP read error!");
        return 0;
    }
    if (n < 0)
        return 0;
    buf[n] = '\0';
    DebugOut("TCP/IP Server Data Ready buf = %s\n", buf);
    // The whole text must be the command: a NUL inside it makes it another text.
    if (std::strlen(buf) != static_cast<size_t>(n))
        return 0;
    if (std::strcmp(buf, "GetServerID") == 0)
        SendIdentity(handle);
    else if (std::strcmp(buf, "GetNewState") == 0)
        UpdateRecordLength(handle);
    else if (std::strcmp(buf, "GetSymbols") == 0)
        return SendSymbols(handle);
    return 0;
}

}  // namespace

int cbTCPServer(unsigned handle, int event, int error, void *callbackData)
{
    switch (event) {
    case TCP_CONNECT:
        DebugOut("TCP/IP Server Connect\n");
        Hdl = static_cast<int>(handle);
        UpdateRecordLength(handle);
        SetCtrlVal(hRun, RN_CONN, 1);
        return 0;
    case TCP_DISCONNECT:
        SetCtrlVal(hRun, RN_CONN, 0);
        return 0;
    case TCP_DATAREADY:
        return OnDataReady(handle);
    default:
        return 0;
    }
}
