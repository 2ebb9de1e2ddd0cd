// The views of the spectrum pop-up on tones of known amplitude and
// frequency: dB levels, frequency axes, averaging, what is offered, the
// first view and the CSV export read back.
#include "modesfixture.h"

#include "common/as_user.h"

#include "magnitudes.h"
#include "shell/spectrumview.h"
#include "shell/tracecsv.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

namespace {

constexpr double kRate = 1e6;
constexpr int kN = 262144;
// 25,600 bins of the whole record and 400 of a 4096-point segment: the middle
// of a bin in both.
constexpr double kToneHz = 25600.0 * kRate / kN;

class SpectrumViewTest : public ModesTest {
protected:
    // A complex tone of amplitude a at f Hz (negative: below the centre).
    void HoldTone(double a, double f, int n = kN)
    {
        std::vector<float> i(n), q(n);
        for (int k = 0; k < n; ++k) {
            const double ph = 2 * M_PI * std::fmod(f / kRate * k, 1.0);
            i[k] = static_cast<float>(a * std::cos(ph));
            q[k] = static_cast<float>(a * std::sin(ph));
        }
        Hold(i.data(), q.data(), n);
        SRat = static_cast<float>(kRate);
    }

    SpectrumSource Source()
    {
        double *mag = nullptr;
        EXPECT_EQ(MagnitudeSpectrum(s.I, s.Q, HeldSamples(), &mag), 0);
        return HeldSpectrum(std::shared_ptr<const double>(mag, std::free));
    }

    GraphTracePtr View(const SpectrumSource &src, int scale, int axis, int resolution, int window)
    {
        GraphProgress progress;
        std::string error;
        GraphTracePtr t = SpectrumTrace(src, {scale, axis, resolution, window}, progress, error);
        EXPECT_TRUE(t) << error;
        EXPECT_EQ(error, "");
        return t;
    }

    static int64_t Peak(const GraphTrace &t)
    {
        const double *v = t.values.get();
        return std::max_element(v, v + t.count) - v;
    }
    static double PeakX(const GraphTrace &t) { return t.x0 + Peak(t) * t.dx; }
    static double PeakLevel(const GraphTrace &t) { return t.values.get()[Peak(t)]; }
};

// Resolution items: 1 is 1024 points, 3 is 4096, 2 is 2048.
constexpr int kAvg4096 = 3, kAvg2048 = 2;
constexpr int kNone = 0, kHanning = 2, kFlatTop = 10;
constexpr double kFlatTopGain = 0.215578948;   // its coherent gain, the mean of the window

TEST_F(SpectrumViewTest, DecibelLevelsFollowTheAmplitudeAndTheWindowsCoherentGain)
{
    TrcFlg = 0;
    HoldTone(0.25, kToneHz);
    const SpectrumSource src = Source();
    // One FFT, no window: 20 log10(0.25).
    GraphTracePtr whole = View(src, SP_DB, SP_FREQUENCY, 0, kNone);
    EXPECT_NEAR(PeakLevel(*whole), 20 * std::log10(0.25), 0.1);
    EXPECT_EQ(whole->yUnit, "dB");
    EXPECT_EQ(whole->note, "0 dB = amplitude 1.0");
    // Averaged with Hanning (coherent gain 0.5).
    GraphTracePtr hann = View(src, SP_DB, SP_FREQUENCY, kAvg4096, kHanning);
    EXPECT_EQ(hann->count, 4096);
    EXPECT_NEAR(PeakLevel(*hann), 20 * std::log10(0.25 * 0.5), 0.1);
    // The linear scale of the same view is the plain mean magnitude.
    GraphTracePtr lin = View(src, SP_LINEAR, SP_FREQUENCY, kAvg4096, kHanning);
    EXPECT_NEAR(PeakLevel(*lin), 0.25 * 0.5 * 4096, 0.25 * 0.5 * 4096 * 0.012);
    // Flat top keeps the level of a tone between two bins.
    HoldTone(0.25, kToneHz + 0.37 * kRate / 2048);
    GraphTracePtr flat = View(Source(), SP_DB, SP_FREQUENCY, kAvg2048, kFlatTop);
    EXPECT_NEAR(PeakLevel(*flat), 20 * std::log10(0.25 * kFlatTopGain), 0.1);
}

TEST_F(SpectrumViewTest, FrequencyAxisPutsTheToneWithinOneBin)
{
    TrcFlg = 0;
    for (double f : {kToneHz, -kToneHz, 0.0}) {
        HoldTone(0.5, f);
        const SpectrumSource src = Source();
        GraphTracePtr whole = View(src, SP_LINEAR, SP_FREQUENCY, 0, kNone);
        EXPECT_DOUBLE_EQ(whole->dx, kRate / kN);
        EXPECT_DOUBLE_EQ(whole->x0, -kRate / 2);
        EXPECT_NEAR(PeakX(*whole), f, whole->dx) << f;
        GraphTracePtr avg = View(src, SP_DB, SP_FREQUENCY, kAvg4096, kHanning);
        EXPECT_NEAR(PeakX(*avg), f, avg->dx) << f;
        EXPECT_EQ(avg->xUnit, "Hz");
    }
}

TEST_F(SpectrumViewTest, CapturesAreCentredOnTheAnalyzersFrequency)
{
    HoldTone(0.5, -kToneHz);
    // A capture at the rate the tone was made for.
    TrcFlg = 1;
    HeldRat = SRat;
    frq = 2.4e9f;
    const SpectrumSource src = Source();
    const std::vector<GraphChoice> choices = SpectrumChoices(src);
    ASSERT_EQ(choices[SP_AXIS].items.size(), 3u);
    EXPECT_EQ(choices[SP_AXIS].items[SP_RF], "Frequency, centre 2400 MHz");
    GraphTracePtr rf = View(src, SP_DB, SP_RF, 0, kNone);
    EXPECT_NEAR(PeakX(*rf), 2.4e9 - kToneHz, rf->dx);
    // Captured data is scaled to about 1.0 at full scale.
    EXPECT_NEAR(PeakLevel(*rf), 20 * std::log10(0.5), 0.1);
}

TEST_F(SpectrumViewTest, WordDataIsMeasuredAgainstItsFullScale)
{
    TrcFlg = 0;
    HoldTone(8192, kToneHz, 65536);
    s.Typ = 16;   // WAV: 16-bit words
    GraphTracePtr t = View(Source(), SP_DB, SP_BINS, 0, kNone);
    EXPECT_NEAR(PeakLevel(*t), 20 * std::log10(8192.0 / 32768), 0.1);
    EXPECT_EQ(t->note, "0 dB = full scale 32768");
    s.Typ = 22;   // KAL: floats
    EXPECT_NEAR(PeakLevel(*View(Source(), SP_DB, SP_BINS, 0, kNone)), 20 * std::log10(8192.0), 0.1);
}

TEST_F(SpectrumViewTest, OnlyWhatAppliesIsOffered)
{
    TrcFlg = 0;
    HoldTone(0.5, 1000, 5000);
    SpectrumSource src = Source();
    std::vector<GraphChoice> c = SpectrumChoices(src);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[SP_AXIS].items.size(), 2u);   // no centre frequency for a file
    // Segments up to the record's length: 1024, 2048, 4096.
    EXPECT_EQ(c[SP_RESOLUTION].items,
              (std::vector<std::string>{"One FFT of the record", "Averaged, 1024 points",
                                        "Averaged, 2048 points", "Averaged, 4096 points"}));
    EXPECT_EQ(c[SP_WINDOW].items.size(), 12u);
    EXPECT_EQ(c[SP_WINDOW].items[kHanning], "Hanning");
    EXPECT_EQ(c[SP_WINDOW].onlyWith, SP_RESOLUTION);
    src.rate = 0;
    EXPECT_EQ(SpectrumChoices(src)[SP_AXIS].items, std::vector<std::string>{"Bins"});
}

TEST_F(SpectrumViewTest, TheFirstViewIsTheFormerSpectrum)
{
    TrcFlg = 0;
    HoldTone(0.5, kToneHz, 4099);
    const SpectrumSource src = Source();
    for (const GraphChoice &c : SpectrumChoices(src)) {
        if (c.label != "Window") {
            EXPECT_EQ(c.value, 0) << c.label;
        }
    }
    GraphProgress progress;
    std::string error;
    GraphTracePtr first = SpectrumTrace(src, {}, progress, error);
    ASSERT_TRUE(first);
    // The magnitudes themselves, over the bin index, with nothing added.
    EXPECT_EQ(first->values.get(), src.whole.get());
    EXPECT_EQ(first->count, 4099);
    EXPECT_EQ(first->x0, 0.0);
    EXPECT_EQ(first->dx, 1.0);
    EXPECT_EQ(first->xName, "Bin");
    EXPECT_EQ(first->yUnit, "");
    EXPECT_EQ(first->note, "");
    // The pressed button shows the same values under the same title.
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserClick(hRun, RN_SPEC), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].title, "Yeah");
    EXPECT_EQ(ui_test::Popups()[0].values, std::vector<double>(src.whole.get(), src.whole.get() + 4099));
}

TEST_F(SpectrumViewTest, OddLengthsAreInFrequencyOrderOnTheFrequencyAxis)
{
    // Bin n-1 is the frequency -1/n of the rate: last in the bin view (as
    // the rotation leaves it), just below 0 Hz on the frequency axis.
    TrcFlg = 0;
    const int n = 4099;
    HoldTone(0.5, -kRate / n, n);
    const SpectrumSource src = Source();
    GraphTracePtr bins = View(src, SP_LINEAR, SP_BINS, 0, kNone);
    EXPECT_EQ(Peak(*bins), n - 1);
    GraphTracePtr freq = View(src, SP_LINEAR, SP_FREQUENCY, 0, kNone);
    EXPECT_EQ(Peak(*freq), n / 2 - 1);
    EXPECT_NEAR(PeakX(*freq), -kRate / n, 1e-6);
}

// A NaN or an infinity among the samples leaves no bin to draw: the note
// says so in every view, and says nothing of the kind for clean data.
TEST_F(SpectrumViewTest, NonFiniteSamplesAreNamedInTheNote)
{
    TrcFlg = 0;
    HoldTone(0.5, kToneHz, 8192);
    const SpectrumSource clean = Source();
    for (int res : {0, kAvg4096})
        EXPECT_EQ(View(clean, SP_DB, SP_BINS, res, kHanning)->note.find("non-finite"), std::string::npos);
    s.Q[700] = std::numeric_limits<float>::quiet_NaN();
    s.I[5000] = std::numeric_limits<float>::infinity();
    const SpectrumSource bad = Source();
    for (int scale : {SP_LINEAR, SP_DB})
        for (int res : {0, kAvg4096}) {
            const std::string note = View(bad, scale, SP_FREQUENCY, res, kHanning)->note;
            EXPECT_EQ(note.rfind("The data contain 2 non-finite samples (NaN or infinity), the first at index 700", 0), 0u)
                << note;
        }
    s.Q[700] = 0;
    EXPECT_NE(View(Source(), SP_LINEAR, SP_BINS, 0, kNone)->note.find("1 non-finite sample ("), std::string::npos);
}

TEST_F(SpectrumViewTest, OneSegmentIsNamedInTheSingular)
{
    TrcFlg = 0;
    HoldTone(0.5, kToneHz, 4096);
    EXPECT_EQ(View(Source(), SP_LINEAR, SP_BINS, kAvg4096, kHanning)->note,
              "1 segment of 4096 points, Hanning, magnitudes averaged");
    EXPECT_EQ(View(Source(), SP_LINEAR, SP_BINS, kAvg2048, kHanning)->note,
              "3 segments of 2048 points, Hanning, magnitudes averaged");
}

TEST_F(SpectrumViewTest, ACancelledViewGivesNothingAndNoError)
{
    TrcFlg = 0;
    HoldTone(0.5, kToneHz);
    const SpectrumSource src = Source();
    GraphProgress progress;
    progress.cancel();
    std::string error;
    EXPECT_FALSE(SpectrumTrace(src, {SP_DB, SP_BINS, kAvg4096, kHanning}, progress, error));
    EXPECT_FALSE(SpectrumTrace(src, {SP_DB, SP_BINS, 0, kHanning}, progress, error));
    EXPECT_EQ(error, "");
}

class TraceCsvTest : public SpectrumViewTest {
protected:
    void SetUp() override
    {
        SpectrumViewTest::SetUp();
        dir = std::filesystem::temp_directory_path() / ("kalmira-csv-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(dir);
        SpectrumViewTest::TearDown();
    }
    static std::string Slurp(const std::filesystem::path &p)
    {
        std::ifstream in(p);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path dir;
};

TEST_F(TraceCsvTest, TheShownRangeReadsBackAsTheSameNumbers)
{
    TrcFlg = 1;
    frq = 2.4e9f;
    HoldTone(0.3, kToneHz, 65536);
    GraphTracePtr t = View(Source(), SP_DB, SP_RF, kAvg4096, kHanning);
    const std::string path = (dir / "trace.csv").string();
    GraphProgress progress;
    ASSERT_EQ(WriteTraceCsv(*t, 100, 3000, path, progress), "");
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frequency_Hz,level_dB");
    int64_t k = 100;
    while (std::getline(in, line)) {
        const size_t comma = line.find(',');
        ASSERT_NE(comma, std::string::npos) << line;
        EXPECT_EQ(std::strtod(line.c_str(), nullptr), t->x0 + k * t->dx) << line;
        EXPECT_EQ(std::strtod(line.c_str() + comma + 1, nullptr), t->values.get()[k]) << line;
        ++k;
    }
    EXPECT_EQ(k, 3000);
    // The bin view names its columns after bins and magnitudes.
    GraphTracePtr bins = View(Source(), SP_LINEAR, SP_BINS, 0, kNone);
    ASSERT_EQ(WriteTraceCsv(*bins, 0, 2, path, progress), "");
    std::istringstream text(Slurp(path));
    std::string header, first, second, none;
    std::getline(text, header);
    std::getline(text, first);
    std::getline(text, second);
    EXPECT_EQ(header, "bin,magnitude");
    EXPECT_EQ(first.substr(0, 2), "0,");
    EXPECT_EQ(std::strtod(first.c_str() + 2, nullptr), bins->values.get()[0]);
    EXPECT_EQ(second.substr(0, 2), "1,");
    EXPECT_FALSE(std::getline(text, none));
}

TEST_F(TraceCsvTest, AFailedExportLeavesTheOldFile)
{
    HoldTone(0.3, kToneHz, 4096);
    GraphTracePtr t = View(Source(), SP_LINEAR, SP_BINS, 0, kNone);
    const std::filesystem::path path = dir / "old.csv";
    std::ofstream(path) << "kept\n";
    GraphProgress stopped;
    stopped.cancel();
    EXPECT_NE(WriteTraceCsv(*t, 0, 4096, path.string(), stopped), "");
    EXPECT_EQ(Slurp(path), "kept\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);   // no temporary left
    GraphProgress progress;
    const std::string err = WriteTraceCsv(*t, 0, 4096, (dir / "no" / "such.csv").string(), progress);
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
}

// Another user's file that may only be read, in a folder everyone may write:
// the export is refused as opening the file would be, and it stays as it was.
TEST_F(TraceCsvTest, AFileTheUserMayNotWriteIsRefusedAndKept)
{
    HoldTone(0.3, kToneHz, 4096);
    GraphTracePtr t = View(Source(), SP_LINEAR, SP_BINS, 0, kNone);
    namespace fs = std::filesystem;
    // Outside the tests' private temporary folder, which the other user
    // cannot enter.
    char made[] = "/tmp/kalmira-csv-XXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const fs::path open = made;
    fs::permissions(open, fs::perms::all);
    const fs::path path = open / "kept.csv";
    std::ofstream(path) << "kept\n";
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string r = AsUnprivileged([&]() -> std::string {
        GraphProgress progress;
        const std::string err = WriteTraceCsv(*t, 0, 4096, path.string(), progress);
        std::string fails;
        if (err.find("Permission denied") == std::string::npos)
            fails += "no refusal: \"" + err + "\"\n";
        if (Slurp(path) != "kept\n")
            fails += "the file changed\n";
        std::error_code ec;
        if (std::distance(fs::directory_iterator(open, ec), {}) != 1)
            fails += "a temporary file was left\n";
        return fails;
    });
    std::error_code ignored;
    fs::remove_all(open, ignored);
    EXPECT_UNPRIVILEGED(r);
}

}  // namespace
