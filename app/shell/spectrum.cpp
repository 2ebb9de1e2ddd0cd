// The spectrum of the current data: FFT without window or scaling, magnitude,
// and the rotation that puts frequency 0 in the middle of the graph; the
// pop-up opens on that view and offers the others (spectrumview.h).
#include "shell/spectrum.h"

#include "graphpopup.h"
#include "shell/spectrumview.h"
#include "shell/tracecsv.h"
#include "state/globals.h"

int ShowSpectrum()
{
    if (HeldSamples() < 1)
        return -1;
    // The pop-up is modal and closes only after its last computation has
    // ended, so the record's arrays stay as they are while they are read.
    SpectrumSource src = HeldSpectrum(nullptr);
    GraphPopupSetup setup;
    setup.title = "Yeah";
    setup.choices = SpectrumChoices(src);
    // The transform of the whole record takes up to a few seconds for the
    // longest captures: the pop-up opens at once and computes it on its worker
    // thread, as every later view, once for all the views that use it.
    setup.compute = [&src](const std::vector<int> &chosen, GraphProgress &progress, std::string &error) {
        return src.whole || TransformRecord(src, error) ? SpectrumTrace(src, chosen, progress, error)
                                                        : GraphTracePtr();
    };
    setup.writeCsv = WriteTraceCsv;
    return GraphPopup(setup) == 0 ? 0 : -1;
}
