// The graph pop-up with choices: a new choice is computed on a worker
// thread while the window stays alive, a slow one shows progress, a later
// choice cancels an earlier one, a failure says why, and the exports write
// what is shown.  The computation here is a small stand-in of the program's
// spectrum views; the dialog is shown without its modal loop.
#include "graphdialog.h"
#include "userint.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// n values j * scale over x = 100 + j.
GraphTracePtr Ramp(int n, double scale, const std::string &note)
{
    std::shared_ptr<double> v(new double[n], std::default_delete<double[]>());
    for (int j = 0; j < n; ++j)
        v.get()[j] = j * scale;
    auto t = std::make_shared<GraphTrace>();
    t->values = v;
    t->count = n;
    t->x0 = 100.0;
    t->xName = "Frequency";
    t->xUnit = "Hz";
    t->note = note;
    return t;
}

class GraphDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui_test::ClearPopups();
        spec.title = "Test";
        spec.first = Ramp(1000, 1.0, "first");
        spec.choices = {{"Length", {"1000", "4000", "slow", "fails"}}, {"Window", {"A", "B"}, 0, 0}};
        spec.compute = [this](const std::vector<int> &c, GraphProgress &p, std::string &error) -> GraphTracePtr {
            ++computed;
            if (c[0] == 3) {
                error = "No memory for this.";
                return nullptr;
            }
            if (c[0] == 2) {   // about 0.6 s, in steps that look for a cancel
                for (int k = 0; k < 60; ++k) {
                    if (!p.report(k / 60.0)) {
                        ++cancelled;
                        return nullptr;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            return Ramp(c[0] == 0 ? 1000 : 4000, c[1] + 1.0, "view " + std::to_string(c[0]));
        };
        spec.writeCsv = [this](const GraphTrace &t, int64_t first, int64_t last, const std::string &path,
                               GraphProgress &) {
            csvCount = t.count;
            csvFirst = first;
            csvLast = last;
            csvPath = path;
            return std::string();
        };
        dlg = std::make_unique<kui::GraphDialog>(nullptr, "Test", kui::MakeGraphData(spec.first), &spec);
        dlg->show();
    }
    void TearDown() override { dlg.reset(); }

    QComboBox *Ring(const char *name) { return dlg->findChild<QComboBox *>(name); }
    QLabel *Label(const QString &starting)
    {
        for (QLabel *l : dlg->findChildren<QLabel *>())
            if (l->text().startsWith(starting))
                return l;
        return nullptr;
    }
    QPushButton *Button(const QString &text)
    {
        for (QPushButton *b : dlg->findChildren<QPushButton *>())
            if (b->text() == text)
                return b;
        return nullptr;
    }
    void WaitIdle()
    {
        QElapsedTimer t;
        t.start();
        while ((dlg->busy() || t.elapsed() < 20) && t.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    GraphPopupSpec spec;
    std::unique_ptr<kui::GraphDialog> dlg;
    std::atomic<int> computed{0}, cancelled{0};
    int64_t csvCount = -1, csvFirst = -1, csvLast = -1;
    std::string csvPath;
};

TEST_F(GraphDialogTest, ANewChoiceIsComputedAndShownWithItsNote)
{
    kui::GraphView *view = dlg->view();
    EXPECT_EQ(view->data().pyr.size(), 1000);
    ASSERT_NE(Label("first"), nullptr);
    EXPECT_FALSE(Ring("Window")->isEnabled());   // only with a length other than the first
    Ring("Length")->setCurrentIndex(1);
    EXPECT_TRUE(Ring("Window")->isEnabled());
    WaitIdle();
    EXPECT_EQ(view->data().pyr.size(), 4000);
    EXPECT_EQ(view->data().axes.xUnit, "Hz");
    EXPECT_NE(Label("view 1"), nullptr);
    // The peak readout follows the trace: the last point, in kHz.
    EXPECT_EQ(view->peakReadout(), "Peak: 4.099 kHz   3999");
    Ring("Window")->setCurrentIndex(1);
    WaitIdle();
    EXPECT_EQ(view->data().pyr.at(10), 20.0);
    EXPECT_EQ(computed, 2);
}

TEST_F(GraphDialogTest, ASlowChoiceShowsProgressWhileTheWindowStaysAlive)
{
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    tick.start(20);
    QProgressBar *bar = dlg->findChild<QProgressBar *>();
    ASSERT_NE(bar, nullptr);
    Ring("Length")->setCurrentIndex(2);
    EXPECT_TRUE(dlg->busy());
    QElapsedTimer t;
    t.start();
    bool barShown = false;
    while (dlg->busy() && t.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        barShown = barShown || (bar->isVisible() && t.elapsed() >= 150);
    }
    EXPECT_TRUE(barShown);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_GT(ticks, 15);   // the event loop ran all along
    EXPECT_EQ(dlg->view()->data().pyr.size(), 4000);
}

TEST_F(GraphDialogTest, ALaterChoiceCancelsTheOneStillRunning)
{
    Ring("Length")->setCurrentIndex(2);
    QTest::qWait(60);
    Ring("Length")->setCurrentIndex(0);
    Ring("Window")->setCurrentIndex(1);   // dimmed for a person, still a choice here
    WaitIdle();
    EXPECT_EQ(dlg->view()->data().pyr.size(), 1000);
    EXPECT_EQ(dlg->view()->data().pyr.at(10), 20.0);
    EXPECT_EQ(computed, 2);   // the slow one and the last
    EXPECT_EQ(cancelled, 1);
}

TEST_F(GraphDialogTest, AFailedChoiceSaysWhyAndTheRingsShowWhatIsDrawn)
{
    Ring("Length")->setCurrentIndex(3);
    WaitIdle();
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].text, "No memory for this.");
    EXPECT_EQ(Ring("Length")->currentIndex(), 0);
    EXPECT_EQ(dlg->view()->data().pyr.size(), 1000);
}

TEST_F(GraphDialogTest, AZoomKeepsItsShareOfTheSpanAcrossViews)
{
    dlg->view()->zoomTo(250, 500);
    Ring("Length")->setCurrentIndex(1);
    WaitIdle();
    EXPECT_EQ(dlg->view()->first(), 1000);
    EXPECT_EQ(dlg->view()->last(), 2000);
    dlg->view()->zoomOut();
    EXPECT_EQ(dlg->view()->first(), 0);
    EXPECT_EQ(dlg->view()->last(), 4000);
}

TEST_F(GraphDialogTest, ExportsWriteTheShownRangeAndPicture)
{
    QTemporaryDir dir;
    dlg->view()->zoomTo(100, 300);
    const std::string csv = dir.filePath("t.csv").toStdString();
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, csv);
    Button("Export CS&V...")->click();
    WaitIdle();
    EXPECT_EQ(csvPath, csv);
    EXPECT_EQ(csvCount, 1000);
    EXPECT_EQ(csvFirst, 100);
    EXPECT_EQ(csvLast, 300);

    const QString png = dir.filePath("g.png");
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, png.toStdString());
    Button("Export &PNG...")->click();
    QImage picture(png);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), dlg->view()->size());
    // A folder that is not there: an error, no file.
    EXPECT_TRUE(dlg->savePng(dir.filePath("none/g.png")).startsWith("The picture could not be written"));
}

}  // namespace
