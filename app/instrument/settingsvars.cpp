// Copies the analyzer settings between the settings panels and the
// acquisition globals: UpdVar reads the panels, UpdPnl writes them.
#include "instrument/settingsvars.h"

#include "files/loadpanel.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "state/globals.h"
#include "userint.h"

namespace {

void ReadKHz(int panel, int ctrl, float *hz)
{
    double kHz = 0;
    GetCtrlVal(panel, ctrl, &kHz);
    *hz = static_cast<float>(kHz * 1000.0);
}

// ---- panels to globals

void ReadAgate()
{
    GetCtrlVal(hAgt, AG_DATTYP, DatTyp);
    GetCtrlVal(hAgt, AG_RBW, &Rbw);
    ReadKHz(hAgt, AG_SRAT, &SRat);
    GetCtrlVal(hAgt, AG_TRGMOD, TrgMod);
    GetCtrlVal(hAgt, AG_TRGSLP, TrgSlp);
    GetCtrlVal(hAgt, AG_TRGOFS, &TrgOfs);
    GetCtrlVal(hAgt, AG_RECLEN, &RecLen);
    s.Len = AgateSamples(SRat, RecLen);
    SetCtrlVal(hAgt, AG_CNT, s.Len);
}

// The rows the Beryl, Coral, Onyx and Jasper panels share; the Jasper's
// rate field is in kHz, the others' rate ring in Hz.
struct CommonIds {
    int panel, maxCount;
    bool kHz;
    const int &flt, &rbw, &srat, &trgmod, &trgslp, &pretrg, &cnt;
};

CommonIds Common(int typ)
{
    if (typ == DEV_BERYL)
        return {hBer, kBerylMaxCount, false, BY_FLTTYP, BY_RBW, BY_SRAT, BY_TRGMOD, BY_TRGSLP, BY_PRETRG, BY_CNT};
    if (typ == DEV_CORAL)
        return {hCor, kCoralMaxCount, false, CL_FLTTYP, CL_RBW, CL_SRAT, CL_TRGMOD, CL_TRGSLP, CL_PRETRG, CL_CNT};
    if (typ == DEV_ONYX)
        return {hOnx, kOnyxMaxCount, false, OX_FLTTYP, OX_RBW, OX_SRAT, OX_TRGMOD, OX_TRGSLP, OX_PRETRG, OX_CNT};
    return {hJas, kJasperMaxCount, true, JA_FLTTYP, JA_RBW, JA_SRAT, JA_TRGMOD, JA_TRGSLP, JA_PRETRG, JA_CNT};
}

void ReadCommon(const CommonIds &c)
{
    GetCtrlVal(c.panel, c.flt, FltTyp);
    GetCtrlVal(c.panel, c.rbw, &Rbw);
    if (c.kHz)
        ReadKHz(c.panel, c.srat, &SRat);
    else
        GetCtrlVal(c.panel, c.srat, &SRat);
    GetCtrlVal(c.panel, c.trgmod, TrgMod);
    GetCtrlVal(c.panel, c.trgslp, TrgSlp);
    GetCtrlVal(c.panel, c.pretrg, &PreTrg);
    GetCtrlVal(c.panel, c.cnt, &s.Len);
}

// The Jasper's baseband input boxes.
void ReadJasperBoxes()
{
    GetCtrlVal(hJas, JA_IQINP, &IqInp);
    GetCtrlVal(hJas, JA_BAL, &Bal);
    GetCtrlVal(hJas, JA_IMP, &Imp);
    GetCtrlVal(hJas, JA_DITH, &Dith);
    GetCtrlVal(hJas, JA_LPAS, &LPas);
}

// Shows the model's panel, its count limit renewed, and reads it.
void ReadModelPanel()
{
    switch (a.Typ) {
    case DEV_AGATE:
        DisplayPanel(hAgt);
        ReadAgate();
        break;
    case DEV_BERYL:
    case DEV_CORAL:
    case DEV_ONYX:
    case DEV_JASPER: {
        const CommonIds c = Common(a.Typ);
        SetCtrlAttribute(c.panel, c.cnt, ATTR_MAX_VALUE, c.maxCount);
        DisplayPanel(c.panel);
        ReadCommon(c);
        if (a.Typ == DEV_JASPER)
            ReadJasperBoxes();
        break;
    }
    default:
        break;
    }
}

// ---- globals to panels

void WriteAgate()
{
    DisplayPanel(hAgt);
    SetCtrlVal(hAgt, AG_SRAT, SRat * 0.001);
    SetCtrlVal(hAgt, AG_TRGMOD, TrgMod);
    SetCtrlVal(hAgt, AG_TRGSLP, TrgSlp);
    SetCtrlVal(hAgt, AG_TRGOFS, static_cast<double>(TrgOfs));
    SetCtrlVal(hAgt, AG_RECLEN, static_cast<double>(RecLen));
    s.Len = AgateCount(SRat, &RecLen);
    SetCtrlVal(hAgt, AG_RECLEN, static_cast<double>(RecLen));
    SetCtrlVal(hAgt, AG_CNT, s.Len);
}

void WriteCommon(const CommonIds &c)
{
    DisplayPanel(c.panel);
    SetCtrlVal(c.panel, c.rbw, static_cast<double>(Rbw));
    SetCtrlVal(c.panel, c.srat, c.kHz ? SRat * 0.001 : static_cast<double>(SRat));
    SetCtrlVal(c.panel, c.trgmod, TrgMod);
    SetCtrlVal(c.panel, c.pretrg, PreTrg);
    SetCtrlVal(c.panel, c.cnt, s.Len);
    // The control keeps to its range (a count of 0 shows as 1): the next
    // capture asks for what it shows.
    GetCtrlVal(c.panel, c.cnt, &s.Len);
}

void WriteJasper()
{
    WriteCommon(Common(DEV_JASPER));
    SetCtrlAttribute(hJas, JA_IQINP, ATTR_DIMMED, JasM34Flg == 0);
    SetCtrlVal(hJas, JA_IQINP, IqInp);
    SetCtrlVal(hJas, JA_BAL, Bal);
    SetCtrlVal(hJas, JA_IMP, Imp);
    SetCtrlVal(hJas, JA_DITH, Dith);
    SetCtrlVal(hJas, JA_LPAS, LPas);
    UpdJasperDim();
}

void HideSettingsPanels()
{
    for (int p : {hAgt, hBer, hCor, hJas, hOnx})
        HidePanel(p);
}

}  // namespace

int PanelCount(int typ)
{
    if (typ == DEV_AGATE)
        return AgateSamples(SRat, RecLen);
    const CommonIds c = Common(typ);
    int count = 0;
    GetCtrlVal(c.panel, c.cnt, &count);
    return count;
}

void UpdVar()
{
    HideSettingsPanels();
    if (TrcFlg) {
        GetCtrlVal(hTrc, TR_IFT, &a.Ift);
        ReadModelPanel();
    } else {
        GetCtrlVal(hLod, LO_CNT, &s.Len);
    }
}

void UpdPnl()
{
    HideSettingsPanels();
    switch (a.Typ) {
    case DEV_AGATE:
        WriteAgate();
        break;
    case DEV_BERYL:
    case DEV_CORAL:
    case DEV_ONYX:
        WriteCommon(Common(a.Typ));
        break;
    case DEV_JASPER:
        WriteJasper();
        break;
    default:
        break;
    }
}
