// Callbacks of the analyzer settings panels: every change goes straight into
// the acquisition globals, and the remote client hears of the new rate and
// count at once.
#include "instrument/settings.h"

#include "VmFunLib.h"
#include "state/globals.h"
#include "userint.h"

#include <climits>
#include <cmath>

namespace {

// The count is that of the trace held: a changed Count is only asked for by
// the next capture.
void Notify()
{
    UpdTesAll(Hdl, NewState, HeldRate(), StateLen());
}

float KHzToHz(int panel, int ctrl)
{
    double kHz = 0;
    GetCtrlVal(panel, ctrl, &kHz);
    return static_cast<float>(kHz * 1000.0);
}

struct CommonIds {
    const int &rbw, &srat, &trgmod, &pretrg, &cnt;
};

// Beryl, Coral and Onyx: each live control feeds one global.
void StoreCommon(int panel, int control, const CommonIds &id)
{
    if (control == id.rbw)
        GetCtrlVal(panel, control, &Rbw);
    else if (control == id.srat)
        GetCtrlVal(panel, control, &SRat);
    else if (control == id.trgmod)
        GetCtrlVal(panel, control, TrgMod);
    else if (control == id.pretrg)
        GetCtrlVal(panel, control, &PreTrg);
    else if (control == id.cnt)
        GetCtrlVal(panel, control, &s.Len);
}

// The whole callback of the Beryl, Coral and Onyx panels.
int OnCommon(int panel, int control, int event, const CommonIds &id)
{
    if (event != EVENT_COMMIT)
        return 0;
    StoreCommon(panel, control, id);
    Notify();
    return 0;
}

}  // namespace

int AgateSamples(double rate, double recLen)
{
    const double n = 0.001 * rate * recLen;
    if (!(n > 0))
        return 0;
    return n >= INT_MAX ? INT_MAX : static_cast<int>(n);
}

int AgateCount(float rate, float *recLen)
{
    int n = AgateSamples(rate, *recLen);
    if (n <= kAgateMaxCount || rate <= 0)
        return n;
    // The longest record at this rate.  Stored as a float it may fall a hair
    // short of the last sample, and every later recomputation from rate and
    // record length (remote client, trace panel, configuration) would then
    // count 524199: step up to the first float that gives the full record.
    float len = static_cast<float>(524200000.0 / rate);
    while (AgateSamples(rate, len) < kAgateMaxCount)
        len = std::nextafter(len, 1e30f);
    *recLen = len;
    return kAgateMaxCount;
}

void UpdJasperDim()
{
    SetCtrlAttribute(hJas, JA_IQINP, ATTR_DIMMED, JasM34Flg == 0);
    const int off = IqInp == 0 || JasM34Flg == 0;
    for (int id : {JA_BAL, JA_IMP, JA_DITH, JA_LPAS})
        SetCtrlAttribute(hJas, id, ATTR_DIMMED, off);
}

int cbAgate(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == AG_SRAT)
        SRat = KHzToHz(panel, control);
    else if (control == AG_TRGMOD)
        GetCtrlVal(panel, control, TrgMod);
    else if (control == AG_TRGSLP)
        GetCtrlVal(panel, control, TrgSlp);
    else if (control == AG_TRGOFS)
        GetCtrlVal(panel, control, &TrgOfs);
    else if (control == AG_RECLEN)
        GetCtrlVal(panel, control, &RecLen);
    s.Len = AgateCount(SRat, &RecLen);
    SetCtrlVal(panel, AG_RECLEN, static_cast<double>(RecLen));
    SetCtrlVal(panel, AG_CNT, s.Len);
    if (TrcFlg && a.Typ == DEV_AGATE)
        s.Len = AgateSamples(SRat, RecLen);
    Notify();
    return 0;
}

int cbBeryl(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    return OnCommon(panel, control, event, {BY_RBW, BY_SRAT, BY_TRGMOD, BY_PRETRG, BY_CNT});
}

int cbCoral(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    return OnCommon(panel, control, event, {CL_RBW, CL_SRAT, CL_TRGMOD, CL_PRETRG, CL_CNT});
}

int cbOnyx(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    return OnCommon(panel, control, event, {OX_RBW, OX_SRAT, OX_TRGMOD, OX_PRETRG, OX_CNT});
}

int cbJasper(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
{
    if (event != EVENT_COMMIT)
        return 0;
    if (control == JA_SRAT) {
        SRat = KHzToHz(panel, control);
    } else if (control == JA_IQINP) {
        GetCtrlVal(panel, control, &IqInp);
        // The box itself is only live with option M34, so the others follow
        // the selection alone here.
        for (int id : {JA_BAL, JA_IMP, JA_DITH, JA_LPAS})
            SetCtrlAttribute(panel, id, ATTR_DIMMED, IqInp == 0);
    } else {
        StoreCommon(panel, control, {JA_RBW, -1, JA_TRGMOD, JA_PRETRG, JA_CNT});
        const struct {
            const int &id;
            int *global;
        } boxes[] = {{JA_LPAS, &LPas}, {JA_DITH, &Dith}, {JA_IMP, &Imp}, {JA_BAL, &Bal}};
        for (const auto &b : boxes)
            if (control == b.id)
                GetCtrlVal(panel, control, b.global);
    }
    Notify();
    return 0;
}
