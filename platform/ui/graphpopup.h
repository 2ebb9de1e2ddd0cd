// The graph pop-up with choices above the graph: the program offers rings
// (scale, axis, ...) and computes the trace for each combination; the toolkit
// draws it, runs each computation on a worker thread so that the window stays
// alive, shows progress when one takes longer than a moment, and exports the
// shown trace.  No Qt in this header: the program includes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Shared between a running computation (worker thread) and the window.
class GraphProgress {
public:
    void set(double fraction) { fraction_.store(fraction, std::memory_order_relaxed); }
    double fraction() const { return fraction_.load(std::memory_order_relaxed); }
    void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }
    // For computations that take a callback: records the fraction, false once cancelled.
    bool report(double fraction)
    {
        set(fraction);
        return !cancelled();
    }

private:
    std::atomic<double> fraction_{0.0};
    std::atomic<bool> cancelled_{false};
};

// One trace: count values over x = x0 + j * dx.
struct GraphTrace {
    std::shared_ptr<const double> values;
    int64_t count = 0;
    double x0 = 0.0, dx = 1.0;
    std::string xName = "Index";   // axis title
    std::string xUnit;             // "" (plain numbers) or "Hz" (shown with k, M, G)
    std::string yName = "Value";   // names the value column of an export
    std::string yUnit;             // "" or "dB"
    std::string note;              // a line beside the choices, e.g. the reference level
};
using GraphTracePtr = std::shared_ptr<const GraphTrace>;

struct GraphChoice {
    std::string label;
    std::vector<std::string> items;
    int value = 0;
    // The ring is dimmed while choice onlyWith is at its first item (-1: never).
    int onlyWith = -1;
};

struct GraphPopupSetup {
    std::string title;
    // Shown as the pop-up opens, for the choices' starting items.  Null: the
    // pop-up opens empty and computes that view with compute, as it computes
    // every later one (for a first view that takes a while).
    GraphTracePtr first;
    std::vector<GraphChoice> choices;
    // The trace for the chosen items (one index per choice).  Runs on a worker
    // thread; returns null when cancelled, or with `error` set when it failed.
    std::function<GraphTracePtr(const std::vector<int> &chosen, GraphProgress &, std::string &error)>
        compute;
    // Writes points [first, last) of the trace to the file; runs on a worker
    // thread.  Returns "" or the reason it failed (the file is then as before).
    std::function<std::string(const GraphTrace &, int64_t first, int64_t last, const std::string &path,
                              GraphProgress &)>
        writeCsv;
};

// Modal: returns 0 when the person closes it, a negative code for a setup
// with neither a first trace nor a computation, or when the first view could
// not be computed (its error shown as a message).  Scripted pop-ups (tests)
// record the first trace as a "graph" pop-up, as YGraphPopup does, and return
// at once; one without a first trace computes it on the caller's thread.
int GraphPopup(const GraphPopupSetup &setup);
