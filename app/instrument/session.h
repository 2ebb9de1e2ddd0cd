// The analyzer's VISA session: opening it with its fixed attributes, the
// identity and option queries, and giving the front panel back to the user
// after every exchange.
#pragma once

#include "state/devrec.h"
#include "visa.h"

#include <cstddef>

// "GPIB::<Pad>::INSTR" or "VMIB::<Ipa>::INSTR"; empty for any other
// interface, which the open then refuses.
void DevRsrc(const DevRec &dev, char *rsrc, size_t size);

// Opens a fresh session for the record (closing the one it held), shows the
// identity on the trace panel and, for a Jasper, renews JasM34Flg.  Returns
// 0 or the VISA status of the first step that failed.
ViStatus AnaIni(DevRec &dev);

// 0 when "*OPT?" lists the option anywhere in its reply, -1 when it does not,
// the VISA status when the query fails.
int CheckM33(DevRec dev);
int CheckM34(DevRec dev);

// Sends the instrument back to local operation: go-to-local on GPIB, the LAN
// protocol's local state on LAN.  0 for other interfaces.
ViStatus DevLocal(ViSession vi);

// The trace panel's "Test Dev": open, identity, option checks and their
// messages, the Jasper panel's baseband dimming, Trace IQ enabled exactly
// when a session is open.
void DevTest();

// The messages of the device test.
extern const char kInitErrText[];
extern const char kNoM33Text[];
