// One I/Q trace from the analyzer: the SCPI capture sequence, the binary
// block read into the shared record (scaled and windowed), and the stop
// sequence that recovers an instrument left in capture mode.
#pragma once

#include "VmKalLib.h"
#include "state/devrec.h"
#include "visa.h"

// Samples of one I or Q block of the Jasper's alternating layout; larger
// Jasper captures arrive in such blocks.
constexpr int kJasperChunk = 524288;

// Most samples any model captures per channel: no block may announce more.
constexpr int kMaxTraceLen = 16776704;

// Captures a trace of the count the model's settings panel shows, with the
// settings of the acquisition globals, into rec.  0 on success (also after
// Abort: the instrument is put back and rec holds what came, see ReadIQ),
// the VISA status of the first failing command, or -1 when the data could
// not be read.  The busy scope is held throughout.
int TracIQ(DevRec dev, IqRec &rec);

// Sends the data query and reads the block into rec (mask bit 0: I, bit 1:
// Q), divided by fkt; rec.Len becomes the block's sample count, which may be
// a little more than the capture asked for.  Arrays of the block's length
// that rec holds already are written over rather than replaced.  0, a VISA
// status, or -1 for a malformed or incomplete block, one longer than the
// model can capture, or memory that could not be had.  Once the query is
// out, a failure leaves rec without arrays and with Len 0, and the rest of
// the block is discarded so that the next command gets its own reply.  The
// window's events run while the answer is awaited and read; the Status
// window's Abort ends the transfer with a device clear, and rec.Len is then
// the samples of which both I and Q came (0, without arrays, when none).
int ReadIQ(DevRec dev, IqRec &rec, int mask);

// Stop Meas: takes the instrument out of capture mode and reloads its own
// setup.  0, or the VISA status of the call that failed (the sequence ends
// there).
int StopMeas(DevRec dev);

// Status-panel texts of the acquisition.
extern const char kVisaErrText[];
