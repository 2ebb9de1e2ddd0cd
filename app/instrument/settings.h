// The five analyzer settings panels (children of the trace panel, all at the
// same place; the one of the selected model is shown) and their callbacks.
// Identifiers are given in creation order from 2; the program also addresses
// the controls by these numbers.
#pragma once

// Agate: 2 data type, 3 bandwidth, 4 rate/kHz, 5 trigger mode, 6 slope,
// 7 trigger offset/ms, 8 record length/ms, 9 computed count.
extern int AG_DATTYP, AG_RBW, AG_SRAT, AG_TRGMOD, AG_TRGSLP, AG_TRGOFS, AG_RECLEN, AG_CNT;

// Beryl, Coral, Onyx: 2 filter type, 3 bandwidth, 4 rate ring/Hz, 5 trigger
// mode, 6 slope, 7 pretrigger samples, 8 count.
extern int BY_FLTTYP, BY_RBW, BY_SRAT, BY_TRGMOD, BY_TRGSLP, BY_PRETRG, BY_CNT;
extern int CL_FLTTYP, CL_RBW, CL_SRAT, CL_TRGMOD, CL_TRGSLP, CL_PRETRG, CL_CNT;
extern int OX_FLTTYP, OX_RBW, OX_SRAT, OX_TRGMOD, OX_TRGSLP, OX_PRETRG, OX_CNT;

// Jasper: 2 filter type, 3 bandwidth, 4 trigger mode, 5 slope, 6 pretrigger,
// 7 rate/kHz, 8 count, 9..13 baseband check boxes LP, Dith, Imp, Bal, IQ.
extern int JA_FLTTYP, JA_RBW, JA_TRGMOD, JA_TRGSLP, JA_PRETRG, JA_SRAT, JA_CNT, JA_LPAS,
    JA_DITH, JA_IMP, JA_BAL, JA_IQINP;

// Most samples one Agate record holds, and the count limits each panel's
// "Count" gets whenever it is shown.
constexpr int kAgateMaxCount = 524200;
constexpr int kBerylMaxCount = 130560;
constexpr int kCoralMaxCount = 523776;
constexpr int kJasperMaxCount = 16776704;
constexpr int kOnyxMaxCount = 130560;

// Builders: each returns the panel handle or the first toolkit error.
int BuildAG(int parent);
int BuildBY(int parent);
int BuildCL(int parent);
int BuildJA(int parent);
int BuildOX(int parent);

int cbAgate(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int cbBeryl(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int cbCoral(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int cbJasper(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int cbOnyx(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Samples of one Agate record: rate (Hz) times record length (ms), whole
// samples only.  Settings that give none count 0, and a product beyond the
// int range counts INT_MAX, so no setting turns into an undefined conversion.
int AgateSamples(double rate, double recLen);

// Agate record coupling: the sample count of rate (Hz) and record length
// (ms); when it exceeds kAgateMaxCount the count is cut to it and the record
// length shortened to match.  Returns the count.
int AgateCount(float rate, float *recLen);

// Jasper baseband dimming: the IQ box needs option M34, the other four also
// need the IQ input selected.
void UpdJasperDim();
