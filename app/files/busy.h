// While a load, an append read or a save runs, the library lets the event
// loop run every 25000 samples.  Commits that would start another file
// operation or change the records meanwhile are ignored until it ends.
#pragma once

extern int IoBusy;

// Marks a file operation as running for its lifetime.
class IoBusyScope {
public:
    IoBusyScope() { IoBusy = 1; }
    ~IoBusyScope() { IoBusy = 0; }
    IoBusyScope(const IoBusyScope &) = delete;
    IoBusyScope &operator=(const IoBusyScope &) = delete;
};
