// The graph pop-up with choices: a new choice is computed on a worker
// thread while the window stays alive, a slow one shows progress, a later
// choice cancels an earlier one, a failure says why, and the exports write
// what is shown.  The computation here is a small stand-in of the program's
// spectrum views; the dialog is shown without its modal loop.
#include "common/as_user.h"
#include "common/test_files.h"
#include "common/small_disk.h"
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

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The texts of the message boxes shown since the last ClearPopups.
std::string Messages()
{
    std::string text;
    for (const ui_test::Popup &p : ui_test::Popups())
        if (p.kind == "message")
            text += p.text + "\n";
    return text;
}

void Put(const fs::path &p, const std::string &text)
{
    std::ofstream(p, std::ios::binary) << text;
}

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
        setup.title = "Test";
        setup.first = Ramp(1000, 1.0, "first");
        setup.choices = {{"Length", {"1000", "4000", "slow", "fails", "10"}}, {"Window", {"A", "B"}, 0, 0}};
        setup.compute = [this](const std::vector<int> &c, GraphProgress &p, std::string &error) -> GraphTracePtr {
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
            const int n = c[0] == 0 ? 1000 : c[0] == 4 ? 10 : 4000;
            return Ramp(n, c[1] + 1.0, "view " + std::to_string(c[0]));
        };
        setup.writeCsv = [this](const GraphTrace &t, int64_t first, int64_t last, const std::string &path,
                               GraphProgress &) {
            csvCount = t.count;
            csvFirst = first;
            csvLast = last;
            csvPath = path;
            return std::string();
        };
        dlg = std::make_unique<kui::GraphDialog>(nullptr, "Test", kui::MakeGraphData(setup.first), &setup);
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

    GraphPopupSetup setup;
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
    bool barShown = false, barEarly = false;   // not for what ends within a moment
    while (dlg->busy() && t.elapsed() < 5000) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        barShown = barShown || (bar->isVisible() && t.elapsed() >= 150);
        barEarly = barEarly || (bar->isVisible() && t.elapsed() < 120);
    }
    EXPECT_TRUE(barShown);
    EXPECT_FALSE(barEarly);
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
    EXPECT_EQ(picture.width(), dlg->view()->width());
    EXPECT_GT(picture.height(), dlg->view()->height());   // the settings above the graph
    // A folder that is not there: an error, no file.
    EXPECT_TRUE(dlg->savePng(dir.filePath("none/g.png")).startsWith("The picture could not be written"));
}

TEST_F(GraphDialogTest, AZoomNarrowerThanOnePointOfTheNewViewKeepsTheTwoNearestItsMiddle)
{
    dlg->view()->zoomTo(500, 502);
    Ring("Length")->setCurrentIndex(4);   // 10 points: the zoom spans a fiftieth of one
    WaitIdle();
    ASSERT_EQ(dlg->view()->data().pyr.size(), 10);
    EXPECT_EQ(dlg->view()->first(), 4);
    EXPECT_EQ(dlg->view()->last(), 6);
    dlg->view()->zoomOut();
    EXPECT_EQ(dlg->view()->last(), 10);
}

// While a new view is computed the graph still shows the old one: neither
// export may write it as if it were the new one.
TEST_F(GraphDialogTest, BothExportsAreDimmedWhileAViewIsComputed)
{
    Ring("Length")->setCurrentIndex(2);
    EXPECT_FALSE(Button("Export &PNG...")->isEnabled());
    EXPECT_FALSE(Button("Export CS&V...")->isEnabled());
    WaitIdle();
    EXPECT_TRUE(Button("Export &PNG...")->isEnabled());
    EXPECT_TRUE(Button("Export CS&V...")->isEnabled());
}

// The picture carries the choices and the note above the graph; a plain
// graph (no choices) is the graph alone.
TEST_F(GraphDialogTest, ThePictureShowsTheSettingsAboveTheGraph)
{
    const QImage picture = dlg->picture();
    const QImage graph = dlg->view()->grab().toImage();
    ASSERT_EQ(picture.width(), graph.width());
    const int header = picture.height() - graph.height();
    ASSERT_GT(header, 10);
    int dark = 0;
    for (int y = 0; y < header; ++y)
        for (int x = 0; x < picture.width(); ++x)
            dark += qGray(picture.pixel(x, y)) < 128;
    EXPECT_GT(dark, 50);   // text, not an empty strip
    EXPECT_EQ(picture.copy(0, header, graph.width(), graph.height()), graph.convertToFormat(picture.format()));

    auto plain = std::make_unique<kui::GraphDialog>(nullptr, "Plain", kui::MakeGraphData(setup.first), nullptr);
    plain->show();
    EXPECT_EQ(plain->picture().size(), plain->view()->grab().size());
}

// A disk too full for the picture: an existing file stays byte for byte, a
// new name is not created, no temporary file is left, and the person is told
// why.
TEST_F(GraphDialogTest, APictureThatDoesNotFitOnTheDiskLeavesEverythingAsItWas)
{
    QTemporaryDir tmp;
    const fs::path disk = fs::path(tmp.path().toStdString()) / "disk";
    fs::create_directories(disk);
    const std::string r = OnSmallDisk(disk, [&]() -> std::string {
        const std::string old(3000, 'o');
        Put(disk / "graph.png", old);
        {   // the rest of the disk, to the last byte
            std::ofstream fill(disk / "fill", std::ios::binary);
            const std::string block(4096, 'x');
            while (fill.write(block.data(), block.size()))
                fill.flush();
        }
        std::string fails;
        for (const char *name : {"graph.png", "new.png"}) {
            ui_test::ClearPopups();
            ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, (disk / name).string());
            Button("Export &PNG...")->click();
            const std::string said = Messages();
            if (said.find("could not be written") == std::string::npos ||
                said.find(std::strerror(ENOSPC)) == std::string::npos)
                fails += std::string(name) + ": no message that says why: \"" + said + "\"\n";
        }
        if (FileText(disk / "graph.png") != old)
            fails += "the old picture changed\n";
        if (fs::exists(disk / "new.png"))
            fails += "a new file was created\n";
        if (std::distance(fs::directory_iterator(disk), fs::directory_iterator()) != 2)
            fails += "a temporary file was left\n";
        return fails;
    });
    if (r.rfind("skip: ", 0) == 0)
        GTEST_SKIP() << r.substr(6);
    EXPECT_EQ(r, "");
}

// A file the user may not write, in a folder the user may: the picture is
// refused as opening the file would be, and the file stays as it was.
TEST_F(GraphDialogTest, APictureIsNeverWrittenOverAFileTheUserMayNotWrite)
{
    QTemporaryDir tmp;
    const fs::path dir = fs::path(tmp.path().toStdString());
    fs::permissions(dir, fs::perms::all);
    Put(dir / "kept.png", "old");
    fs::permissions(dir / "kept.png", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_UNPRIVILEGED(AsUnprivileged([&]() -> std::string {
        ui_test::ClearPopups();
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, (dir / "kept.png").string());
        Button("Export &PNG...")->click();
        std::string fails;
        if (Messages().find(std::strerror(EACCES)) == std::string::npos)
            fails += "no message that says why: \"" + Messages() + "\"\n";
        if (FileText(dir / "kept.png") != "old")
            fails += "the file changed\n";
        if (std::distance(fs::directory_iterator(dir), fs::directory_iterator()) != 1)
            fails += "a temporary file was left\n";
        return fails;
    }));
}

// Without a first trace the pop-up opens at once, says it is computing (the
// text alone: there is no fraction for a bar) and shows the view when it
// comes.
class FirstViewTest : public GraphDialogTest {
protected:
    void SetUp() override
    {
        GraphDialogTest::SetUp();
        dlg.reset();
        setup.first = nullptr;
        setup.compute = [this](const std::vector<int> &c, GraphProgress &, std::string &error) -> GraphTracePtr {
            ++computed;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            if (failFirst) {
                error = "Not enough memory for the spectrum.";
                return nullptr;
            }
            return Ramp(1000, c[1] + 1.0, "computed");
        };
    }
    void Open()
    {
        dlg = std::make_unique<kui::GraphDialog>(nullptr, "Test", std::make_shared<kui::GraphData>(nullptr, 0, false, kui::GraphAxes()), &setup);
        dlg->show();
    }
    bool failFirst = false;
};

TEST_F(FirstViewTest, ThePopupOpensAtOnceAndComputesItsFirstView)
{
    Open();
    EXPECT_TRUE(dlg->busy());
    QTest::qWait(60);
    ASSERT_NE(Label("Computing..."), nullptr);
    EXPECT_TRUE(Label("Computing...")->isVisible());
    QProgressBar *bar = dlg->findChild<QProgressBar *>();
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(Button("Export &PNG...")->isEnabled());
    EXPECT_EQ(dlg->view()->data().pyr.size(), 0);
    WaitIdle();
    EXPECT_EQ(dlg->view()->data().pyr.size(), 1000);
    EXPECT_NE(Label("computed"), nullptr);
    EXPECT_FALSE(Label("Computing...")->isVisible());
    EXPECT_TRUE(Button("Export &PNG...")->isEnabled());
    EXPECT_EQ(computed, 1);
    EXPECT_FALSE(dlg->firstViewFailed());
}

TEST_F(FirstViewTest, AFirstViewThatFailsSaysWhyAndClosesThePopup)
{
    failFirst = true;
    Open();
    WaitIdle();
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].text, "Not enough memory for the spectrum.");
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_TRUE(dlg->firstViewFailed());
}

// Scripted (as in the program's tests) the first view is computed on the
// caller's thread and recorded; a failure is a message and no graph.
TEST_F(FirstViewTest, AScriptedPopupRecordsTheComputedFirstView)
{
    ui_test::ClearPopups();
    EXPECT_EQ(GraphPopup(setup), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].kind, "graph");
    ASSERT_EQ(ui_test::Popups()[0].values.size(), 1000u);
    EXPECT_EQ(ui_test::Popups()[0].values[7], 7.0);
    failFirst = true;
    ui_test::ClearPopups();
    EXPECT_LT(GraphPopup(setup), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].kind, "message");
}

}  // namespace
