// The Save panel and the save dispatcher: the loaded data, optionally after
// guard samples and appended to an existing file, in any writable format.
#pragma once

extern int SA_TYP, SA_I, SA_DI, SA_Q, SA_DQ, SA_CNT, SA_APP, SA_SAV;

int BuildSA(int parent);
int cbSave(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

// Saves `s` into the files of `d` (appending to them when AppFlg is 1).
// Returns 0, or the error of the append read, of BldDstArr or of the writer.
int SaveDatFile();

// Builds d's arrays: f's samples, NGrd guard samples (the last NGrd of s),
// then all of s.  Returns 0, or -1 when an array cannot be allocated.
int BldDstArr();

// Enables "Save IQ" when the data are valid and the panel shows the
// destination (both files of a two-file format), "Append" when moreover
// every file of it exists.
void UpdSaveDim();

// Empties the destination names and the fields that show them; nothing
// exists to append to any more.
void ForgetDestination();
