// The views of the spectrum pop-up: linear or dB, over bins or frequency,
// from one FFT of the whole record or from averaged FFTs of shorter
// segments.  Computed here from the numeric layer; the toolkit only draws
// them and hosts the choices.
#pragma once

#include "graphpopup.h"

#include <memory>
#include <string>
#include <vector>

// What the views know of the held record.
struct SpectrumSource {
    const float *i = nullptr, *q = nullptr;
    int n = 0;
    double rate = 0.0;            // sample rate in Hz; 0 offers no frequency axis
    bool centreKnown = false;     // a capture: the analyzer's centre frequency
    double centre = 0.0;          // in Hz
    double fullScale = 1.0;       // 0 dB: 32768 for 16-bit word data, else 1.0
    std::shared_ptr<const double> whole;   // the one FFT's magnitudes, rotated (n values)
};

// Fills src.whole from the record.  False with error set when memory is short.
bool TransformRecord(SpectrumSource &src, std::string &error);

// The pop-up's choices, in this order, and their items.
enum { SP_SCALE, SP_AXIS, SP_RESOLUTION, SP_WINDOW };
enum { SP_LINEAR, SP_DB };
enum { SP_BINS, SP_FREQUENCY, SP_RF };   // SP_RF: centred on the capture's centre
// Resolution item 0 is the one FFT of the record; item k >= 1 averages
// segments of 512 << k points (1024 .. 1,048,576).
int SegmentOfItem(int item);

// The held record: the current data, its sample rate (a capture's own, a
// file's from the Load panel), the centre frequency of the last capture in
// analyzer mode.
SpectrumSource HeldSpectrum(std::shared_ptr<const double> whole);

// The rings; items that do not apply to the source (a frequency axis without
// a rate, the RF centre of a file, segments longer than the record) are left
// out.  All start on the first view: linear, bins, one FFT.
std::vector<GraphChoice> SpectrumChoices(const SpectrumSource &src);

// The trace of the chosen items (src.whole must be there).  Null when
// progress was cancelled, or with error set when memory ran short.  Samples
// that are not numbers (NaN, infinity) leave the spectrum without numbers to
// draw; the trace's note then says so.
GraphTracePtr SpectrumTrace(const SpectrumSource &src, const std::vector<int> &chosen, GraphProgress &progress,
                            std::string &error);
