// The Load panel: format, file or file pair, sample rate, Load IQ, and the
// transfer of 16-bit words to the Topaz generator.
#pragma once

extern int LO_TYP, LO_I, LO_DI, LO_Q, LO_DQ, LO_FRQ, LO_ADR, LO_CNT, LO_LOAD, LO_TRA, LO_TEXTMSG;

int BuildLO(int parent);
int cbLoad(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Shows the sample count and dims what the globals do not allow: "Load IQ"
// until the file (both files of a two-file format) is chosen, "No of
// Samples" without valid data, the transfer to the generator unless it has
// data to take (TopazDataHeld).
void UpdLoadPanel();
