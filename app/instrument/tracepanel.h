// The trace panel "Trace IQ Data": which analyzer and how it is reached, the
// device test, the window for captured data, Trace IQ and Stop Meas.  The five
// analyzer settings panels are its children.
#pragma once

extern int TR_TYP, TR_PAD, TR_IFT, TR_IPA, TR_TST, TR_BRK, TR_WIN, TR_TRC, TR_MSG, TR_DRAT,
    TR_DYN, TR_STA;

// LAN address the "IP Addr" field offers on a fresh start: where kalmira-sim
// answers by default, so Analyzer mode can be tried without an instrument.
extern const char kDefaultIpAddr[];

int BuildTR(int parent);

// The panel now names another instrument than the one the open session
// reaches (a configuration was loaded): the session is forgotten, the
// identity and the data rate of the old one are cleared, and Trace IQ and
// Stop Meas wait for a new device test.
void ForgetInstrument();
int cbTrc(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
