// The application object and the event loop.
#include "uistate.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <clocale>
#include <vector>

namespace {

std::vector<QEventLoop *> &Loops()
{
    static std::vector<QEventLoop *> loops;
    return loops;
}

// A quit asked for while no loop runs ends the next one at once, so that a
// Quit path taken before the loop starts is not lost.
bool pendingQuit = false;
int pendingResult = 0;

}  // namespace

void InitUserInterface(int &argc, char **argv)
{
    if (kui::IsInitialised())
        return;
    auto *app = new QApplication(argc, argv);
    app->setQuitOnLastWindowClosed(false);
    // Qt takes over the desktop's locale; files, instrument commands and
    // replies must keep the decimal point whatever the user's language is.
    std::setlocale(LC_NUMERIC, "C");
    kui::ApplyPanelStyle();
}

int RunUserInterface()
{
    if (!kui::IsInitialised())
        return UIEInvalidPanel;
    if (pendingQuit) {
        pendingQuit = false;
        return pendingResult;
    }
    kui::StartTestActions();
    QEventLoop loop;
    Loops().push_back(&loop);
    const int result = loop.exec();
    Loops().pop_back();
    return result;
}

int QuitUserInterface(int result)
{
    if (Loops().empty()) {
        pendingQuit = true;
        pendingResult = result;
        return 0;
    }
    Loops().back()->exit(result);
    return 0;
}

int ProcessDrawEvents()
{
    if (!kui::IsInitialised())
        return 0;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    kui::KeepStopping();
    return 0;
}

int ProcessSystemEvents()
{
    if (!kui::IsInitialised())
        return 0;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    kui::KeepStopping();
    return 0;
}

namespace ui_test {

void Post(std::function<void()> fn, int delayMs)
{
    QTimer::singleShot(delayMs, QCoreApplication::instance(), std::move(fn));
}

}  // namespace ui_test
