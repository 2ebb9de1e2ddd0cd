// The Load panel: format, file or file pair, sample rate, Load IQ, and the
// transfer of 16-bit words to the Topaz generator.
#pragma once

extern int LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA, LO_TEXTMSG;

int BuildLO(int parent);
int cbLoad(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Enables "Save IQ" when a destination is chosen and the data are valid.
void UpdSaveDim();
