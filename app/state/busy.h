// While a load, an append read, a save or a chunked capture runs, the event
// loop runs in between (the library every 25000 samples).  Commits that would
// start another file operation or change the records or the formats
// meanwhile are ignored until it ends.
#pragma once

// The number of such operations running (non-zero: busy).
extern int IoBusy;

// Marks an operation as running for its lifetime.  Scopes nest: an operation
// started from the events of another one leaves it marked when it ends.
class IoBusyScope {
public:
    IoBusyScope() { ++IoBusy; }
    ~IoBusyScope() { --IoBusy; }
    IoBusyScope(const IoBusyScope &) = delete;
    IoBusyScope &operator=(const IoBusyScope &) = delete;
};
