// The pop-ups as a person sees them: modal dialogs, driven here from a timer
// that runs inside their own event loop.
#include "graphview.h"
#include "userint.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ui_test::SetScripted(false);
        // Should a step fail, the dialog still closes and the test ends.
        watchdog.setInterval(5000);
        QObject::connect(&watchdog, &QTimer::timeout, [] {
            if (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        watchdog.start();
    }
    void TearDown() override { ui_test::SetScripted(true); }
    QTimer watchdog;
};

TEST_F(Dialogs, MessageBoxIsModalAndReturnsWhenClosed)
{
    bool seen = false;
    ui_test::Post([&] {
        QWidget *w = QApplication::activeModalWidget();
        ASSERT_NE(w, nullptr);
        seen = w->windowTitle() == "Error";
        w->close();
    }, 20);
    EXPECT_EQ(MessagePopup("Error", "File Load Error."), 0);
    EXPECT_TRUE(seen);
}

TEST_F(Dialogs, FileDialogAnswersExistingOrNewFileWithTheAskedButton)
{
    QTemporaryDir tmp;
    const QString existing = tmp.filePath("a.cfg");
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    char path[MAX_PATHNAME_LEN];
    QString button;
    auto answer = [&](const QString &file) {
        ui_test::Post([&, file] {
            auto *dlg = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            button = dlg->labelText(QFileDialog::Accept);
            // Typed as a person would: the name field has the focus.
            dlg->setDirectory(QFileInfo(file).absolutePath());
            dlg->findChild<QLineEdit *>("fileNameEdit")->setText(QFileInfo(file).fileName());
            static_cast<QDialog *>(dlg)->accept();
        }, 20);
    };
    answer(existing);
    EXPECT_EQ(FileSelectPopup(tmp.path().toUtf8().constData(), "*.cfg", "*.cfg", "Load Configuration",
                              VAL_LOAD_BUTTON, 0, 1, 1, 1, path),
              VAL_EXISTING_FILE_SELECTED);
    EXPECT_EQ(QString(path), existing);
    EXPECT_EQ(button, "&Load");
    answer(tmp.filePath("new.cfg"));
    EXPECT_EQ(FileSelectPopup(tmp.path().toUtf8().constData(), "*.cfg", "*.cfg", "Save Configuration",
                              VAL_SAVE_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_EQ(QString(path), tmp.filePath("new.cfg"));
    EXPECT_EQ(button, "&Save");

    ui_test::Post([] { QApplication::activeModalWidget()->close(); }, 20);
    path[0] = 'x';
    EXPECT_EQ(FileSelectPopup("", "*.i", "*.i", "Select File", VAL_SELECT_BUTTON, 0, 0, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "");
}

TEST_F(Dialogs, GraphZoomsByDragAndOutByRightClick)
{
    const int n = 2000000;
    std::vector<float> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = std::sin(i * 1e-4f);
    int64_t zFirst = -1, zLast = -1, oFirst = -1, oLast = -1;
    ui_test::Post([&] {
        QWidget *dlg = QApplication::activeModalWidget();
        ASSERT_NE(dlg, nullptr);
        auto *view = dlg->findChild<kui::GraphView *>();
        ASSERT_NE(view, nullptr);
        view->repaint();
        const int y = view->height() / 2;
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(200, y));
        QMouseEvent move(QEvent::MouseMove, QPointF(400, y), view->mapToGlobal(QPointF(400, y)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(view, &move);
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(400, y));
        view->repaint();
        zFirst = view->first();
        zLast = view->last();
        QTest::mousePress(view, Qt::RightButton, {}, QPoint(300, y));
        oFirst = view->first();
        oLast = view->last();
        dlg->close();
    }, 50);
    EXPECT_EQ(YGraphPopup("Yeah", v.data(), n, VAL_FLOAT), 0);
    EXPECT_GT(zFirst, 0);
    EXPECT_LT(zLast, n);
    EXPECT_GT(zLast - zFirst, 1000);
    EXPECT_EQ(oFirst, 0);
    EXPECT_EQ(oLast, n);
}

}  // namespace

namespace {

bool NoteShown(const QString &title)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title && w->isVisible())
            return true;
    return false;
}

// A termination signal's quit: pop-ups opened one from another, and a note
// beside them, all close as if cancelled, innermost first; until the
// program ends, no new one waits for a person (or is shown at all).
TEST_F(Dialogs, QuitRequestClosesEveryPopupAndRefusesNewOnes)
{
    NotePopup("TCP Server", "A client has gone.");
    ASSERT_TRUE(NoteShown("TCP Server"));
    const double values[3] = {1.0, 2.0, 3.0};
    std::vector<std::string> returned;
    ui_test::Post([&] {
        ui_test::Post([&] {
            ui_test::Post(RequestQuit);
            MessagePopup("Error", "inner");
            returned.push_back("message");
        });
        YGraphPopup("Yeah", values, 3, VAL_DOUBLE);
        returned.push_back("graph");
    });
    char path[MAX_PATHNAME_LEN] = "stale";
    EXPECT_EQ(FileSelectPopup("", "*.cfg", "*.cfg", "Save Configuration", VAL_SAVE_BUTTON, 0, 1, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    returned.push_back("file");
    EXPECT_EQ(returned, (std::vector<std::string>{"message", "graph", "file"}));
    EXPECT_STREQ(path, "");
    QCoreApplication::processEvents();
    EXPECT_FALSE(NoteShown("TCP Server"));

    EXPECT_EQ(QuitRequested(), 1);
    const size_t shown = ui_test::Popups().size();
    EXPECT_EQ(MessagePopup("Error", "after the quit"), 0);
    EXPECT_EQ(NotePopup("TCP Server", "after the quit"), 0);
    EXPECT_EQ(FileSelectPopup("", "*.cfg", "*.cfg", "Load Configuration", VAL_LOAD_BUTTON, 0, 1, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_EQ(YGraphPopup("Yeah", values, 3, VAL_DOUBLE), 0);
    EXPECT_EQ(ui_test::Popups().size(), shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(NoteShown("TCP Server"));

    // The request also ended the event loop: the next one returns at once.
    EXPECT_EQ(RunUserInterface(), 0);
    ui_test::ClearQuitRequest();
    EXPECT_EQ(QuitRequested(), 0);
}

}  // namespace
