#include "instrument/session.h"

#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "state/globals.h"
#include "userint.h"

#include <cstdio>
#include <cstring>

const char kInitErrText[] =
    "Initialization error. Check your connections and make sure\nyou have the correct GPIB or LAN address.";
const char kNoM33Text[] = "No Agate-M33 option installed.";

namespace {

// Resource manager of the session that the last test opened.  Closing it on
// the next test also releases the sessions that address or model changes
// forgot without closing, so no instrument connection lingers.
ViSession gRm = 0;

#define VI_STEP(st, call)            \
    do {                             \
        if ((st) == VI_SUCCESS)      \
            (st) = (call);           \
    } while (0)

ViStatus OpenSession(DevRec &dev, const char *rsrc)
{
    if (gRm != 0) {
        viClose(gRm);
        gRm = 0;
    }
    ViStatus st = viOpenDefaultRM(&gRm);
    if (st != VI_SUCCESS)
        return st;
    ViSession vi = 0;
    st = viOpen(gRm, rsrc, VI_NULL, VI_NULL, &vi);
    dev.Vi = vi;
    VI_STEP(st, viSetAttribute(dev.Vi, VI_ATTR_TMO_VALUE, 10000));
    VI_STEP(st, viSetBuf(dev.Vi, VI_READ_BUF | VI_WRITE_BUF, 4000));
    VI_STEP(st, viSetAttribute(dev.Vi, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
    VI_STEP(st, viSetAttribute(dev.Vi, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS));
    return st;
}

// The identity without the line end the instrument closes it with.
void TrimLineEnd(char *text)
{
    size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r'))
        text[--n] = '\0';
}

int CheckOption(const DevRec &dev, const char *code)
{
    // The width keeps a long option list inside the buffer.
    char opt[257] = {};
    ViStatus st = viQueryf(dev.Vi, "*OPT?\n", "%256s", opt);
    if (st != VI_SUCCESS)
        return st;
    // No token matching: a code with a suffix counts as the option.
    return std::strstr(opt, code) ? 0 : -1;
}

}  // namespace

void DevRsrc(const DevRec &dev, char *rsrc, size_t size)
{
    if (size == 0)
        return;
    rsrc[0] = '\0';
    if (dev.Ift == IFT_GPIB)
        std::snprintf(rsrc, size, "GPIB::%d::INSTR", dev.Pad);
    else if (dev.Ift == IFT_LAN)
        std::snprintf(rsrc, size, "VMIB::%.*s::INSTR", int(sizeof dev.Ipa), dev.Ipa);
}

ViStatus AnaIni(DevRec &dev)
{
    SetCtrlVal(hTrc, TR_MSG, "");
    SetCtrlVal(hTrc, TR_DRAT, 0.0);
    ProcessDrawEvents();

    viClose(dev.Vi);
    dev.Vi = 0;
    char rsrc[50];
    DevRsrc(dev, rsrc, sizeof rsrc);

    char idn[101] = {};
    ViStatus st = OpenSession(dev, rsrc);
    VI_STEP(st, viQueryf(dev.Vi, "*IDN?\n", "%100c", idn));
    VI_STEP(st, DevLocal(dev.Vi));
    if (st == VI_SUCCESS) {
        TrimLineEnd(idn);
        SetCtrlVal(hTrc, TR_MSG, idn);
    }
    if (dev.Typ == DEV_JASPER)
        JasM34Flg = CheckM34(dev) == 0 ? 1 : 0;
    return st;
}

int CheckM33(DevRec dev)
{
    return CheckOption(dev, "M33");
}

int CheckM34(DevRec dev)
{
    return CheckOption(dev, "M34");
}

ViStatus DevLocal(ViSession vi)
{
    ViUInt16 intf = 0;
    ViStatus st = viGetAttribute(vi, VI_ATTR_INTF_TYPE, &intf);
    if (st != VI_SUCCESS)
        return st;
    if (intf == VI_INTF_GPIB)
        return viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL);
    if (intf == VI_INTF_TCPIP)
        return viSetAttribute(vi, KAL_ATTR_LAN_REMOTE, 0);
    return VI_SUCCESS;
}

void DevTest()
{
    if (AnaIni(a) != VI_SUCCESS) {
        CVI_Beep();
        MessagePopup("Error", kInitErrText);
        a.Vi = 0;
    }
    // A failed open also fails this query, so an unreachable Agate shows both
    // messages.
    if (a.Typ == DEV_AGATE && CheckM33(a) != 0) {
        CVI_Beep();
        MessagePopup("Agate Error", kNoM33Text);
        a.Vi = 0;
    }
    // From the flags of the last Jasper test, whichever model this was.
    UpdJasperDim();
    SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, a.Vi > 0 ? 0 : 1);
}
