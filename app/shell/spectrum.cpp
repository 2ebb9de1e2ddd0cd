// The spectrum of the current data: FFT without window or scaling, magnitude,
// and the rotation that puts frequency 0 in the middle of the graph; the
// pop-up opens on that view and offers the others (spectrumview.h).
#include "shell/spectrum.h"

#include "graphpopup.h"
#include "magnitudes.h"
#include "shell/spectrumview.h"
#include "shell/tracecsv.h"
#include "state/globals.h"

#include <cstdlib>

int ShowSpectrum()
{
    const int n = HeldSamples();
    if (n < 1)
        return -1;
    double *mag = nullptr;
    if (MagnitudeSpectrum(s.I, s.Q, n, &mag) != 0)
        return -1;
    // The pop-up is modal and closes only after its last computation has
    // ended, so the record's arrays stay as they are while they are read.
    const SpectrumSource src = HeldSpectrum(std::shared_ptr<const double>(mag, std::free));
    GraphPopupSpec spec;
    spec.title = "Yeah";
    spec.choices = SpectrumChoices(src);
    GraphProgress none;
    std::string error;
    spec.first = SpectrumTrace(src, {}, none, error);
    spec.compute = [&src](const std::vector<int> &chosen, GraphProgress &progress, std::string &err) {
        return SpectrumTrace(src, chosen, progress, err);
    };
    spec.writeCsv = WriteTraceCsv;
    GraphPopup(spec);
    return 0;
}
