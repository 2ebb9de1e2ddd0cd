// Termination signals (a desktop logout, `systemctl stop`, Ctrl-C) end the
// program whatever it is doing, and still through its shutdown (closing the
// instrument, saving the settings).  The handler only writes one byte to a
// self-pipe; the event loop does the rest, including from inside a pop-up's
// own loop or a long operation that lets events through.
#include "immediateexit.h"
#include "popups.h"
#include "uistate.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
std::atomic<int> g_signals{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler counts without locks");

void (*g_stopRunning)() = nullptr;
// What must happen even when the process ends at once (removing half-written
// temporary files); async-signal-safe.
std::atomic<void (*)()> g_lastWords{nullptr};
static_assert(std::atomic<void (*)()>::is_always_lock_free, "the signal handler reads it without locks");
bool g_quitRequested = false;

void OnSignal(int sig)
{
    // The second signal comes from someone who will not wait for the
    // shutdown (Ctrl-C pressed again, a session manager's last word).
    if (g_signals.fetch_add(1) > 0) {
        if (void (*lastWords)() = g_lastWords.load())
            lastWords();
        _exit(128 + sig);
    }
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
}

}  // namespace

namespace kui {

// Called again after every pass of ProcessDrawEvents and ProcessSystemEvents:
// an operation that enters a new stage may clear its abort request (a chunked
// read releases the Abort button when it starts), so the request stands
// until the event loop has ended.
void KeepStopping()
{
    if (g_quitRequested && g_stopRunning)
        g_stopRunning();
}

bool QuitPending()
{
    return g_quitRequested || g_signals.load() > 0;
}

}  // namespace kui

void RequestQuit()
{
    g_quitRequested = true;
    kui::ClosePopups();
    kui::KeepStopping();
    QuitUserInterface(0);
}

int QuitRequested()
{
    return g_quitRequested ? 1 : 0;
}

void AtImmediateExit(void (*lastWords)())
{
    g_lastWords.store(lastWords);
}

int QuitOnTerminationSignals(void (*stopRunning)())
{
    g_stopRunning = stopRunning;
    if (g_pipe[0] >= 0)
        return 0;
    if (!QCoreApplication::instance() || pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    auto *notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read,
                                         QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char buf[16];
        while (read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        RequestQuit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    return 0;
}

namespace ui_test {

void ClearQuitRequest()
{
    g_quitRequested = false;
    g_signals = 0;
}

}  // namespace ui_test
