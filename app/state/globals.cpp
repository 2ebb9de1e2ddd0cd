#include "state/globals.h"

#include "state/busy.h"
#include "state/panelids.h"

int hRun, hTrc, hLod, hSav, hAgt, hBer, hCor, hJas, hOnx, hSta, hDat, hMen;

int ExeFlg;
char WrkDir[260];
char AppNam[100];
char FNam[260];
int x, y;
int TrcFlg;
int TcpPrt;
int Hdl;
int NewState;
int DVal;
int IFlg, QFlg;
DevRec a;
int JasM34Flg;
char DatTyp[8], FltTyp[8], TrgMod[8], TrgSlp[8];
float Rbw, SRat, TrgOfs, RecLen;
int PreTrg;
int IqInp, Bal, Imp, Dith, LPas;
int win;
float fkt, lev, frq, att;
IqRec s, d, f;
int HeldLen;
float HeldRat;
int IoBusy;

int RN_MODE, RN_PORT, RN_CONN, RN_DVAL, RN_QUIT, RN_DECORATION, RN_SPEC;

int HeldSamples()
{
    if (!s.I || !s.Q)
        return 0;
    // Len is the count the next capture asks for, not what the last one brought.
    if (TrcFlg)
        return HeldLen;
    if (s.Len < 1)
        return 0;
    return s.Len < HeldLen ? s.Len : HeldLen;
}

int StateLen()
{
    return TrcFlg ? HeldSamples() : s.Len;
}

double HeldRate()
{
    return TrcFlg && HeldSamples() > 0 ? HeldRat : SRat;
}
char SrcDir[260], DstDir[260];
char *IQMem, *RepMem;
int HdrSize;
int NGrd, AppFlg, FExI, FExQ;
