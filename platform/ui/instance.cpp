// Only one copy of the program per user: the first copy listens on a local
// socket named after the application and the user; a second copy finds it,
// asks it to come to the front, and is told that another copy runs.
#include "panelwidget.h"
#include "uistate.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <pwd.h>
#include <unistd.h>

using namespace kui;

namespace {

QString InstanceName()
{
    QString user;
    if (const passwd *pw = getpwuid(getuid()))
        user = QString::fromLocal8Bit(pw->pw_name);
    if (user.isEmpty())
        user = QString::number(getuid());
    QString name = QCoreApplication::applicationName() + "-" + user;
    name.replace('/', '_');
    return name;
}

}  // namespace

namespace kui {

// The main window is the first top-level panel that was created.
void RaiseMainWindow()
{
    for (auto &[h, p] : Panels()) {
        if (p->parent == 0 && p->w) {
            p->w->show();
            p->w->setWindowState(p->w->windowState() & ~Qt::WindowMinimized);
            BringToFront(p->w);
            return;
        }
    }
}

}  // namespace kui

int CheckForDuplicateAppInstance(int mode, int *otherInstanceRunning)
{
    if (!IsInitialised() || !otherInstanceRunning)
        return UIEInvalidValue;
    *otherInstanceRunning = 0;
    const QString name = InstanceName();
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000)) {
        *otherInstanceRunning = 1;
        if (mode == ACTIVATE_OTHER_INSTANCE) {
            probe.write("raise\n");
            probe.waitForBytesWritten(1000);
        }
        probe.disconnectFromServer();
        return 0;
    }
    static QLocalServer *server = nullptr;
    if (server)
        return 0;
    // A copy that crashed leaves its socket file behind; nobody answers on it.
    QLocalServer::removeServer(name);
    server = new QLocalServer(QCoreApplication::instance());
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(name))
        return -1;
    QObject::connect(server, &QLocalServer::newConnection, server, [] {
        while (QLocalSocket *s = server->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::readyRead, s, [s] {
                if (s->readAll().contains("raise"))
                    RaiseMainWindow();
            });
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return 0;
}
