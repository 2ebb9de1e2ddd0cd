// The spectrum of the current data: FFT without window or scaling, magnitude,
// and the rotation that puts frequency 0 in the middle of the graph.
#include "shell/spectrum.h"

#include "magnitudes.h"
#include "state/globals.h"
#include "userint.h"

#include <cstdlib>

int ShowSpectrum()
{
    const int n = HeldSamples();
    if (n < 1)
        return -1;
    double *mag = nullptr;
    if (MagnitudeSpectrum(s.I, s.Q, n, &mag) != 0)
        return -1;
    YGraphPopup("Yeah", mag, n, VAL_DOUBLE);
    std::free(mag);
    return 0;
}
