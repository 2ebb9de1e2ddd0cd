// Waveform transfer to the Topaz generator: one IEEE 488.2 block holding the
// generator's waveform record, written in a single VISA write.
#include "remote/topaz.h"

#include "state/globals.h"
#include "state/statuspanel.h"
#include "userint.h"
#include "visa.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr ViUInt32 kConfirmTimeoutMs = 5000;

bool IsWord(float x)
{
    return x >= -32768.0f && x <= 65535.0f;  // false for NaN too
}

// The low 16 bits of the sample truncated toward zero.
uint16_t ToWord(float x)
{
    return static_cast<uint16_t>(static_cast<int32_t>(x));
}

// Closes what is open and keeps the status of the step that failed.
ViStatus Close(ViSession vi, ViSession rm, ViStatus status)
{
    if (vi) {
        ViSession rmOfSession = 0;
        void *userData = nullptr;
        viGetAttribute(vi, VI_ATTR_RM_SESSION, &rmOfSession);
        if (viGetAttribute(vi, VI_ATTR_USER_DATA, &userData) == VI_SUCCESS && userData)
            std::free(userData);
        viClose(vi);
    }
    if (rm)
        viClose(rm);
    return status;
}

// Prefix, waveform head, samples and '}' in one buffer.
std::string BuildBlock()
{
    const int n = HeldSamples();
    char head[64];
    std::snprintf(head, sizeof head, "{TYPE: WV,0}{WAVEFORM-%d: 0,#", 4 * n + 3);
    size_t headLen = std::strlen(head);
    size_t body = 4 * static_cast<size_t>(n) + headLen + 1;
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, ":MEM:DATA RAM,#%d%zu",
                  static_cast<int>(std::log10(static_cast<double>(body))) + 1, body);

    std::string block;
    block.reserve(std::strlen(prefix) + body);
    block += prefix;
    block += head;
    size_t at = block.size();
    block.resize(at + 4 * static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        uint16_t wi = ToWord(s.I[i]), wq = ToWord(s.Q[i]);
        block[at++] = static_cast<char>(wi & 0xFF);
        block[at++] = static_cast<char>(wi >> 8);
        block[at++] = static_cast<char>(wq & 0xFF);
        block[at++] = static_cast<char>(wq >> 8);
    }
    block += '}';
    return block;
}

// Writes alone cannot tell whether anyone listened: behind a GPIB-Ethernet
// gateway the bytes for an empty address vanish without an error.  The
// generator answers "1" once the waveform is running; silence is a missing
// generator.  A long waveform may keep it busy for a while after the write,
// hence a wait longer than the session's default.
ViStatus Confirm(ViSession vi)
{
    char reply[100] = "";
    ViStatus st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, kConfirmTimeoutMs);
    if (st != VI_SUCCESS)
        return st;
    st = viQueryf(vi, "*OPC?", "%99s", reply);
    if (st != VI_SUCCESS)
        return st;
    return std::strcmp(reply, "1") == 0 ? VI_SUCCESS : VI_ERROR_IO;
}

ViStatus Send(ViSession vi)
{
    ViStatus st;
    if ((st = viSetBuf(vi, VI_READ_BUF | VI_WRITE_BUF, 4000)) != VI_SUCCESS)
        return st;
    if ((st = viSetAttribute(vi, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS)) != VI_SUCCESS)
        return st;
    if ((st = viSetAttribute(vi, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS)) != VI_SUCCESS)
        return st;
    if ((st = viSetAttribute(vi, VI_ATTR_SEND_END_EN, 1)) != VI_SUCCESS)
        return st;
    if ((st = viPrintf(vi, ":OUTP:DIG ON")) != VI_SUCCESS)
        return st;
    if ((st = viPrintf(vi, ":SOUR:CLOC %lf", static_cast<double>(SRat))) != VI_SUCCESS)
        return st;
    std::string block = BuildBlock();
    ViUInt32 written = 0;
    st = viWrite(vi, reinterpret_cast<ViConstBuf>(block.data()), static_cast<ViUInt32>(block.size()),
                 &written);
    if (st != VI_SUCCESS)
        return st;
    if ((st = viPrintf(vi, ":TRIG;*WAI")) != VI_SUCCESS)
        return st;
    return Confirm(vi);
}

}  // namespace

long FirstSampleOutOfRange()
{
    const int n = HeldSamples();
    for (long i = 0; i < n; ++i)
        if (!IsWord(s.I[i]) || !IsWord(s.Q[i]))
            return i;
    return -1;
}

bool TopazDataHeld()
{
    return DVal == 1 && s.Typ == kUInt16Format && HeldSamples() >= 1;
}

int TransmitUInt16(int adr)
{
    if (!TopazDataHeld())
        return TOPAZ_ERR_NODATA;
    // A value that is no 16-bit word would reach the generator as another one.
    if (FirstSampleOutOfRange() >= 0)
        return TOPAZ_ERR_RANGE;
    DspTxtPnl("Transmitting Topaz data...");
    // The transfer blocks the window: the text must be on the screen first.
    ProcessDrawEvents();
    char rsrc[50];
    std::snprintf(rsrc, sizeof rsrc, "GPIB::%d", adr);
    ViSession rm = 0, vi = 0;
    ViStatus st = viOpenDefaultRM(&rm);
    if (st != VI_SUCCESS)
        return Close(0, 0, st);
    if ((st = viOpen(rm, rsrc, 0, 0, &vi)) != VI_SUCCESS)
        return Close(0, rm, st);
    st = Close(vi, rm, Send(vi));
    HidePanel(hSta);
    return st;
}
