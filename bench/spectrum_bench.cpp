// The Spectrum button on a full Jasper record of 16,776,704 samples: the
// time from the press (transform, magnitudes and rotation, the graph's
// min/max pyramid) until the pop-up has drawn its first view, beside the transform
// alone in the same run, and how long the
// pop-up takes to redraw, at the same size and while it is being resized.
//
// Then the averaged spectrum (65,536-point segments) and the whole record
// in dB, each from the choice in the open pop-up until drawn.
//
// Runs with the real, modal pop-up; the measurements happen inside its
// event loop and then close it.  QT_QPA_PLATFORM=offscreen (the default
// here) draws into memory; under Xvfb set DISPLAY and QT_QPA_PLATFORM=xcb.
#include "fft.h"
#include "graphview.h"
#include "shell/mainpanel.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace {

constexpr int kSamples = 16776704;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// A captured trace: a tone plus noise.
void FillTrace()
{
    static bool done = false;
    if (done)
        return;
    FreeIqRec(&s);
    s.I = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
    s.Q = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
    std::mt19937 rng(7);
    std::normal_distribution<float> noise(0.0f, 0.01f);
    for (int j = 0; j < kSamples; ++j) {
        const double ph = 2 * M_PI * 0.123456 * j;
        s.I[j] = static_cast<float>(0.5 * std::cos(ph)) + noise(rng);
        s.Q[j] = static_cast<float>(0.5 * std::sin(ph)) + noise(rng);
    }
    s.Len = kSamples;
    HeldLen = kSamples;
    DVal = 1;
    SetCtrlAttribute(hRun, RN_SPEC, ATTR_DIMMED, 0);
    done = true;
}

// The graph inside the pop-up.
QWidget *GraphOf(QWidget *dlg)
{
    for (QWidget *w : dlg->findChildren<QWidget *>())
        if (QString(w->metaObject()->className()).contains("GraphView"))
            return w;
    return dlg;
}

// Draws the widget as the window system would ask it to, into an image of
// its size (the offscreen platform skips repaints of windows it never shows).
void Draw(QWidget *w, QImage &img)
{
    if (img.size() != w->size())
        img = QImage(w->size(), QImage::Format_ARGB32_Premultiplied);
    w->render(&img);
}

// The pop-up opens at once and computes its first view on its worker
// thread; this runs its event loop until that view is in the graph.
bool FirstViewCame(QWidget *dlg)
{
    auto *view = dlg->findChild<kui::GraphView *>();
    const Clock::time_point t0 = Clock::now();
    while (view && view->data().pyr.size() == 0 && dlg->isVisible() && Seconds(t0) < 60)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return view && view->data().pyr.size() > 0;
}

// Presses Spectrum and runs `inside` on the pop-up once it shows its first
// view.  A press that shows none is an error of the benchmark, not a time.
bool PressSpectrum(const std::function<void(QWidget *)> &inside)
{
    bool opened = false;
    ui_test::Post([inside, &opened] {
        QWidget *dlg = QApplication::activeModalWidget();
        if (dlg) {
            opened = FirstViewCame(dlg);
            if (opened)
                inside(dlg);
            dlg->close();
        }
    });
    ui_test::UserClick(hRun, RN_SPEC);
    return opened;
}

// The reference of the same run: the transform alone of the same record,
// already widened into arrays of doubles (as fft_bench times it), by the wall
// clock like the press.
double FftAloneSeconds()
{
    std::vector<double> re(s.I, s.I + kSamples), im(s.Q, s.Q + kSamples);
    const Clock::time_point t0 = Clock::now();
    const int rc = FFT(re.data(), im.data(), kSamples);
    const double t = Seconds(t0);
    benchmark::DoNotOptimize(re.data());
    return rc == 0 ? t : -1;
}

// Each iteration times the transform alone and then the measured step (a
// time in seconds, negative when it failed), so that both figures of the
// ratio share the machine's load of that moment.
void BesideTheFft(benchmark::State &state, const char *ratioName, const std::function<double()> &step)
{
    FillTrace();
    double fftSum = 0, stepSum = 0;
    for (auto _ : state) {
        const double fft = FftAloneSeconds();
        const double elapsed = fft < 0 ? -1 : step();
        if (elapsed < 0) {
            state.SkipWithError(fft < 0 ? "FFT failed" : "the pop-up did not show the view");
            break;
        }
        state.SetIterationTime(elapsed);
        fftSum += fft;
        stepSum += elapsed;
    }
    if (fftSum > 0) {
        state.counters["fft_alone_ms"] = 1e3 * fftSum / state.iterations();
        state.counters[ratioName] = stepSum / fftSum;
    }
}

void BM_SpectrumPressToDrawn(benchmark::State &state)
{
    BesideTheFft(state, "press_per_fft", [] {
        const Clock::time_point t0 = Clock::now();
        double elapsed = -1;
        PressSpectrum([&](QWidget *dlg) {
            QImage img;
            Draw(dlg, img);
            elapsed = Seconds(t0);
        });
        return elapsed;
    });
}

void BM_GraphRedraw(benchmark::State &state)
{
    FillTrace();
    if (!PressSpectrum([&](QWidget *dlg) {
        QWidget *graph = GraphOf(dlg);
        QImage img;
        for (auto _ : state) {
            const Clock::time_point t0 = Clock::now();
            Draw(graph, img);
            state.SetIterationTime(Seconds(t0));
        }
    }))
        state.SkipWithError("Spectrum opened no pop-up");
}

// Every step of a resize changes the columns, so each redraw queries the
// pyramid afresh.
void BM_GraphRedrawWhileResizing(benchmark::State &state)
{
    FillTrace();
    if (!PressSpectrum([&](QWidget *dlg) {
        QWidget *graph = GraphOf(dlg);
        QImage img;
        int w = 820;
        for (auto _ : state) {
            w = w >= 1200 ? 820 : w + 7;
            const Clock::time_point t0 = Clock::now();
            dlg->resize(w, 520 + w % 40);
            Draw(graph, img);
            state.SetIterationTime(Seconds(t0));
        }
    }))
        state.SkipWithError("Spectrum opened no pop-up");
}

// A choice in the open pop-up until the new view is drawn: the change goes to
// a worker thread, so the pop-up's event loop runs until the view has the
// new trace.  -1 when it never came.
double ChangeToDrawn(QWidget *dlg, const char *ring, int item, int64_t count, bool (*done)(const kui::GraphView &))
{
    auto *combo = dlg->findChild<QComboBox *>(ring);
    auto *view = dlg->findChild<kui::GraphView *>();
    if (!combo || !view)
        return -1;
    const Clock::time_point t0 = Clock::now();
    combo->setCurrentIndex(item);
    // Waits for events as the pop-up's own loop would, leaving both cores to
    // the computation.
    while (!(view->data().pyr.size() == count && done(*view)) && Seconds(t0) < 60)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QImage img;
    Draw(view, img);
    return view->data().pyr.size() == count ? Seconds(t0) : -1;
}

// The averaged spectrum of 65,536-point segments (Hanning, 50 % overlap),
// from the choice until drawn, beside the transform alone of the whole record.
void BM_AveragedSpectrumDrawn(benchmark::State &state)
{
    BesideTheFft(state, "avg_per_fft", [] {
        double elapsed = -1;
        PressSpectrum([&](QWidget *dlg) {
            elapsed = ChangeToDrawn(dlg, "Resolution", 7, 65536, [](const kui::GraphView &) { return true; });
        });
        return elapsed;
    });
}

// The whole record in dB: 16.7 million logarithms, on two threads.
void BM_WholeRecordInDecibelsDrawn(benchmark::State &state)
{
    FillTrace();
    for (auto _ : state) {
        double elapsed = -1;
        PressSpectrum([&](QWidget *dlg) {
            elapsed = ChangeToDrawn(dlg, "Scale", 1, kSamples,
                                    [](const kui::GraphView &v) { return v.data().axes.yUnit == "dB"; });
        });
        if (elapsed < 0) {
            state.SkipWithError("the dB view did not come");
            break;
        }
        state.SetIterationTime(elapsed);
    }
}

BENCHMARK(BM_SpectrumPressToDrawn)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GraphRedraw)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GraphRedrawWhileResizing)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AveragedSpectrumDrawn)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeRecordInDecibelsDrawn)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitUserInterface(argc, argv);
    // The pop-up must really open, even where the test scripts ask every
    // program of theirs to record pop-ups instead (KALMIRA_SCRIPTED_POPUPS).
    ui_test::SetScripted(false);
    if (BuildPanels() < 0)
        return 1;
    DisplayPanel(hRun);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    FreeIqRec(&s);
    return 0;
}
