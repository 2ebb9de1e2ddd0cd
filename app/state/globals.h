// The program's shared state.  One user-interface thread reads and writes it
// from the callbacks; nothing here is locked.
#pragma once

#include "VmKalLib.h"
#include "state/devrec.h"

constexpr double PrgVer = 4.37;

// Panel handles.
extern int hRun, hTrc, hLod, hSav, hAgt, hBer, hCor, hJas, hOnx, hSta, hDat, hMen;

extern int ExeFlg;
extern char WrkDir[260];
extern char AppNam[100];
extern char FNam[260];
extern int x, y;          // main panel's left and top
extern int TrcFlg;        // I/Q source: 1 analyzer, 0 file
extern int TcpPrt;        // TCP server port
extern int Hdl;           // conversation handle of the last client, 0 before any
extern int NewState;      // data changed since the client last asked
extern int DVal;          // s holds valid data
extern int IFlg, QFlg;    // I file, Q file chosen
extern DevRec a;          // the instrument
extern int JasM34Flg;     // the Jasper has option M34
extern char DatTyp[8], FltTyp[8], TrgMod[8], TrgSlp[8];
extern float Rbw, SRat, TrgOfs, RecLen;
extern int PreTrg;
extern int IqInp, Bal, Imp, Dith, LPas;
extern int win;           // window type for acquisition and spectrum
extern float fkt, lev, frq, att;
extern IqRec s, d, f;     // current data, data being saved, append target
// Samples per channel the arrays of s hold.  In analyzer mode the settings
// panels set the Len of s to the count of the next capture while the last
// trace is still held, so Len there says nothing about the arrays.
extern int HeldLen;
// The sample rate of that trace, kept with its count: the settings panels'
// rate, like their count, is the next capture's.
extern float HeldRat;
// The samples of s that may be read: in analyzer mode the whole trace held;
// in file mode Len (the Load panel's count), but never more than the arrays
// hold.
int HeldSamples();
// The count the remote client is told and sent: what HeldSamples gives in
// analyzer mode, Len in file mode (a count without arrays goes out as zeros).
int StateLen();
// The sample rate of the samples HeldSamples gives: in analyzer mode the
// trace's (the panels' rate while none is held), in file mode SRat, the
// Load panel's Frequency.
double HeldRate();
extern char SrcDir[260], DstDir[260];
extern char *IQMem, *RepMem;
extern int HdrSize;
extern int NGrd, AppFlg, FExI, FExQ;
