// dB levels are 20 log10 of the magnitude divided by the transform length
// and the full scale: a complex tone of full-scale amplitude in the middle of
// a bin reads 0 dB without a window and its coherent gain with one, whatever
// the length.  Linear stays the unscaled magnitude of the first view.
#include "shell/spectrumview.h"

#include "averaged.h"
#include "fft.h"
#include "files/formats.h"
#include "levels.h"
#include "magnitudes.h"
#include "state/globals.h"
#include "window.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kLargestSegment = 1 << 20;
constexpr int kDefaultWindow = 2;   // Hanning

struct Settings {
    int scale = SP_LINEAR, axis = SP_BINS, segment = 0, window = kDefaultWindow;
};

Settings Decode(const std::vector<int> &chosen)
{
    Settings s;
    auto at = [&](int k, int fallback) { return k < static_cast<int>(chosen.size()) ? chosen[k] : fallback; };
    s.scale = at(SP_SCALE, SP_LINEAR);
    s.axis = at(SP_AXIS, SP_BINS);
    s.segment = SegmentOfItem(at(SP_RESOLUTION, 0));
    s.window = at(SP_WINDOW, kDefaultWindow);
    return s;
}

std::shared_ptr<double> NewValues(int n)
{
    return std::shared_ptr<double>(static_cast<double *>(std::malloc(static_cast<size_t>(n) * sizeof(double))),
                                   std::free);
}

// progress of one step, as the share [from, to] of the whole computation.
NumProgress Step(GraphProgress &progress, double from, double to)
{
    return [&progress, from, to](double f) { return progress.report(from + f * (to - from)); };
}

std::string Number(double v, const char *format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

// Why the graph is empty: a NaN or an infinity in the samples reaches every
// bin through the sums of the transform.
std::string NonFiniteNote(const SpectrumSource &src)
{
    int count = 0, first = -1;
    for (int k = 0; k < src.n; ++k)
        if (!std::isfinite(src.i[k]) || !std::isfinite(src.q[k])) {
            first = count++ == 0 ? k : first;
        }
    return "The data contain " + Number(count, "%.0f") + (count == 1 ? " non-finite sample" : " non-finite samples") +
           " (NaN or infinity), the first at index " + Number(first, "%.0f") +
           ": they make the spectrum non-finite, there is nothing to draw";
}

std::string Note(const SpectrumSource &src, const Settings &st, bool finite)
{
    std::string note = finite ? "" : NonFiniteNote(src);
    auto add = [&note](const std::string &part) { note += (note.empty() ? "" : ";  ") + part; };
    if (st.scale == SP_DB)
        add(src.fullScale != 1.0 ? "0 dB = full scale " + Number(src.fullScale, "%.0f") : "0 dB = amplitude 1.0");
    if (st.segment > 0) {
        const int segments = AveragedSegments(src.n, st.segment);
        add(Number(segments, "%.0f") + (segments == 1 ? " segment of " : " segments of ") +
            Number(st.segment, "%.0f") + " points, " + WindowName(st.window) + ", magnitudes averaged");
    }
    return note;
}

void SetAxes(GraphTrace &t, const SpectrumSource &src, const Settings &st)
{
    t.yName = st.scale == SP_DB ? "Level" : "Magnitude";
    t.yUnit = st.scale == SP_DB ? "dB" : "";
    if (st.axis == SP_BINS) {
        t.xName = "Bin";
        return;
    }
    t.xName = "Frequency";
    t.xUnit = "Hz";
    t.dx = src.rate / static_cast<double>(t.count);
    t.x0 = (st.axis == SP_RF ? src.centre : 0.0) - static_cast<double>(t.count / 2) * t.dx;
}

// The magnitudes of the chosen resolution: the one FFT's, or a new average.
std::shared_ptr<const double> Magnitudes(const SpectrumSource &src, const Settings &st, GraphProgress &progress,
                                         std::string &error)
{
    if (st.segment == 0)
        return src.whole;
    std::shared_ptr<double> avg = NewValues(st.segment);
    const int rc = avg ? AveragedMagnitudes(src.i, src.q, src.n, st.segment, st.window, avg.get(),
                                            Step(progress, 0.0, st.scale == SP_DB ? 0.9 : 1.0))
                       : FFT_ERR_MEMORY;
    if (rc == 0)
        return avg;
    if (rc != AVG_STOPPED)
        error = rc == FFT_ERR_MEMORY ? "Not enough memory for the averaged spectrum."
                                     : "The averaged spectrum could not be computed.";
    return nullptr;
}

} // namespace

int SegmentOfItem(int item)
{
    return item >= 1 && item <= 11 ? 512 << item : 0;
}

bool TransformRecord(SpectrumSource &src, std::string &error)
{
    double *mag = nullptr;
    if (MagnitudeSpectrum(src.i, src.q, src.n, &mag) != 0) {
        error = "Not enough memory for the spectrum of " + Number(src.n, "%.0f") + " samples.";
        return false;
    }
    src.whole.reset(mag, std::free);
    return true;
}

SpectrumSource HeldSpectrum(std::shared_ptr<const double> whole)
{
    SpectrumSource src;
    src.i = s.I;
    src.q = s.Q;
    src.n = HeldSamples();
    src.rate = HeldRate();
    // A mode switch invalidates the data, so data held in analyzer mode came
    // from the capture that read this centre frequency.
    src.centreKnown = TrcFlg != 0;
    src.centre = frq;
    src.fullScale = TrcFlg == 0 && IntegerWordFormat(s.Typ) ? 32768.0 : 1.0;
    src.whole = std::move(whole);
    return src;
}

std::vector<GraphChoice> SpectrumChoices(const SpectrumSource &src)
{
    GraphChoice scale{"Scale", {"Linear", "dB"}};
    GraphChoice axis{"X Axis", {"Bins"}};
    if (src.rate > 0) {
        axis.items.push_back("Frequency, 0 Hz in the centre");
        if (src.centreKnown)
            axis.items.push_back("Frequency, centre " + Number(src.centre / 1e6, "%.6g") + " MHz");
    }
    GraphChoice resolution{"Resolution", {"One FFT of the record"}};
    for (int item = 1; SegmentOfItem(item) != 0 && SegmentOfItem(item) <= src.n; ++item)
        resolution.items.push_back("Averaged, " + Number(SegmentOfItem(item), "%.0f") + " points");
    GraphChoice window{"Window", {}, kDefaultWindow, SP_RESOLUTION};
    for (int type = 0; type < kWindowTypes; ++type)
        window.items.push_back(WindowName(type));
    return {scale, axis, resolution, window};
}

GraphTracePtr SpectrumTrace(const SpectrumSource &src, const std::vector<int> &chosen, GraphProgress &progress,
                            std::string &error)
{
    const Settings st = Decode(chosen);
    std::shared_ptr<const double> mag = Magnitudes(src, st, progress, error);
    if (!mag)
        return nullptr;
    auto trace = std::make_shared<GraphTrace>();
    trace->count = st.segment > 0 ? st.segment : src.n;
    const int n = static_cast<int>(trace->count);
    trace->values = mag;
    const bool reorder = st.axis != SP_BINS && n % 2 != 0;
    if (st.scale == SP_DB || reorder) {
        std::shared_ptr<double> out = NewValues(n);
        if (!out) {
            error = "Not enough memory for this view of the spectrum.";
            return nullptr;
        }
        if (st.scale == SP_DB) {
            const double scale = 1.0 / (static_cast<double>(n) * src.fullScale);
            if (!ToDecibels(mag.get(), n, scale, out.get(), Step(progress, st.segment > 0 ? 0.9 : 0.0, 1.0)))
                return nullptr;
        } else {
            std::memcpy(out.get(), mag.get(), static_cast<size_t>(n) * sizeof(double));
        }
        if (reorder)
            FrequencyOrder(out.get(), n);
        trace->values = out;
    }
    SetAxes(*trace, src, st);
    // Every sample reaches bin 0 (frequency 0, in the middle in both orders),
    // and with finite samples no bin can overflow a double.
    trace->note = Note(src, st, std::isfinite(mag.get()[n / 2]));
    return trace;
}
