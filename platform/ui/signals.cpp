// Termination signals end the event loop through a self-pipe, so that the
// program's shutdown (closing the instrument, saving the settings) runs as
// after Quit.  The handler only writes one byte; the loop does the rest.
#include "userint.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = write(g_pipe[1], &byte, 1);
}

}  // namespace

int QuitOnTerminationSignals()
{
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
        QuitUserInterface(0);
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
    return 0;
}
