// The TCP server: QTcpServer underneath, events to the program's callback on
// the UI thread.  Events are queued and handed over one at a time, never
// while a callback or a read/write of this layer is still running, so a
// callback that waits for bytes or lets the panels draw is not re-entered.
// Writes go to the socket straight from the caller's memory: a data reply of
// 134 MB is not copied into Qt's write buffer on its way.
#include "uistate.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <cerrno>
#include <climits>
#include <deque>
#include <map>
#include <poll.h>
#include <sys/socket.h>

namespace {

// A time-out of 0 still ends: a peer that never reads must not freeze the UI.
constexpr unsigned kDefaultTimeoutMs = 5000;
constexpr int kSliceMs = 20;

struct Server {
    QPointer<QTcpServer> srv;
    tcpFuncPtr cb = nullptr;
    void *data = nullptr;
};

struct Conn {
    unsigned port = 0;
    QPointer<QTcpSocket> sock;
    bool gone = false;        // the peer left, the server dropped it, or a write broke it
};

struct Event {
    unsigned handle;
    int type;
};

std::map<unsigned, Server> servers;
std::map<unsigned, Conn> conns;
std::deque<Event> pending;
unsigned nextHandle = 1;
int busy = 0;                 // callbacks and blocking calls in progress

void Deliver();

void ScheduleDelivery()
{
    if (!pending.empty())
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] { Deliver(); }, Qt::QueuedConnection);
}

bool Queued(unsigned h, int type)
{
    for (const Event &e : pending)
        if (e.handle == h && e.type == type)
            return true;
    return false;
}

void Enqueue(unsigned h, int type)
{
    if (type == TCP_DATAREADY && Queued(h, type))
        return;
    pending.push_back({h, type});
    ScheduleDelivery();
}

// Forget the socket once the program has heard of its end.
void ReleaseSocket(Conn &c)
{
    if (c.sock) {
        c.sock->disconnect();
        c.sock->abort();
        c.sock->deleteLater();
    }
    c.sock = nullptr;
    c.gone = true;
}

void DeliverOne(const Event &e)
{
    auto ci = conns.find(e.handle);
    if (ci == conns.end())
        return;
    auto si = servers.find(ci->second.port);
    if (si == servers.end() || !si->second.cb)
        return;
    const qint64 before = ci->second.sock ? ci->second.sock->bytesAvailable() : 0;
    ++busy;
    si->second.cb(e.handle, e.type, 0, si->second.data);
    --busy;
    ci = conns.find(e.handle);
    if (ci == conns.end())
        return;
    Conn &c = ci->second;
    if (e.type == TCP_DISCONNECT) {
        ReleaseSocket(c);
    } else if (e.type == TCP_DATAREADY && c.sock && !c.gone) {
        // Bytes left after a read that took some: tell the program again.
        const qint64 after = c.sock->bytesAvailable();
        if (after > 0 && after < before)
            Enqueue(e.handle, TCP_DATAREADY);
    }
}

void Deliver()
{
    if (busy > 0)
        return;   // rescheduled when the running callback or call ends
    while (!pending.empty() && busy == 0) {
        const Event e = pending.front();
        pending.pop_front();
        DeliverOne(e);
    }
}

void Leave()
{
    if (--busy == 0)
        ScheduleDelivery();
}

void Accept(unsigned port, QTcpServer *srv)
{
    while (QTcpSocket *s = srv->nextPendingConnection()) {
        const unsigned h = nextHandle++;
        Conn c;
        c.port = port;
        c.sock = s;
        conns[h] = c;
        QObject::connect(s, &QTcpSocket::readyRead, s, [h] { Enqueue(h, TCP_DATAREADY); });
        QObject::connect(s, &QTcpSocket::disconnected, s, [h] {
            auto it = conns.find(h);
            if (it == conns.end() || it->second.gone)
                return;
            it->second.gone = true;
            Enqueue(h, TCP_DISCONNECT);
        });
        Enqueue(h, TCP_CONNECT);
    }
}

Conn *Find(unsigned h)
{
    auto it = conns.find(h);
    return it == conns.end() ? nullptr : &it->second;
}

// Lets the panels redraw while a call waits, without handing the program
// any input or network event in the middle of its own call.
void DrawWhileWaiting()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

// Part of the bytes may have gone out: the stream can no longer be trusted,
// so the connection ends here instead of later writes delivering a
// corrupted reply.
void GiveUp(unsigned handle, Conn &c)
{
    c.gone = true;
    if (c.sock)
        c.sock->abort();
    Enqueue(handle, TCP_DISCONNECT);
}

// Sends size bytes on the connection's socket, as much at a time as the
// system takes.  While it takes none, the call waits for room and the panels
// draw every kSliceMs (the room of a fast reader comes back within
// microseconds, far more often than a window can show anything).  All of
// them within limitMs, or TCPETimeOut and the connection is given up.
int SendAll(unsigned handle, const char *p, size_t size, unsigned limitMs)
{
    QElapsedTimer t;
    t.start();
    qint64 drawnAt = 0;
    for (size_t done = 0; done < size;) {
        Conn *c = Find(handle);
        if (!c || !c->sock || c->gone || c->sock->state() != QAbstractSocket::ConnectedState)
            return TCPEWriteFailed;
        const int fd = static_cast<int>(c->sock->socketDescriptor());
        const ssize_t n = ::send(fd, p + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            GiveUp(handle, *c);
            return TCPEWriteFailed;
        }
        if (t.elapsed() >= qint64(limitMs)) {
            GiveUp(handle, *c);
            return TCPETimeOut;
        }
        // The program is to end: a slow client must not hold up its shutdown.
        if (kui::QuitPending()) {
            GiveUp(handle, *c);
            return TCPEWriteFailed;
        }
        pollfd room{fd, POLLOUT, 0};
        ::poll(&room, 1, static_cast<int>(std::min<qint64>(kSliceMs, qint64(limitMs) - t.elapsed())));
        if (t.elapsed() - drawnAt >= kSliceMs) {
            DrawWhileWaiting();
            drawnAt = t.elapsed();
        }
    }
    return static_cast<int>(size);
}

}  // namespace

int RegisterTCPServer(unsigned port, tcpFuncPtr cb, void *callbackData)
{
    if (!kui::IsInitialised() || port == 0 || port > 65535 || servers.count(port))
        return UIETCPFailed;
    auto *srv = new QTcpServer(QCoreApplication::instance());
    if (!srv->listen(QHostAddress::Any, static_cast<quint16>(port))) {
        delete srv;
        return UIETCPFailed;
    }
    QObject::connect(srv, &QTcpServer::newConnection, srv, [port, srv] { Accept(port, srv); });
    servers[port] = Server{srv, cb, callbackData};
    return 0;
}

int UnregisterTCPServer(unsigned port)
{
    auto it = servers.find(port);
    if (it == servers.end())
        return UIETCPFailed;
    if (it->second.srv) {
        it->second.srv->close();
        it->second.srv->deleteLater();
    }
    servers.erase(it);
    // Its clients go with it; events still queued for them reach nobody,
    // not even a server registered on the same port later.
    for (auto &[h, c] : conns) {
        if (c.port != port)
            continue;
        ReleaseSocket(c);
        c.port = 0;
    }
    return 0;
}

int ServerTCPRead(unsigned handle, void *buffer, size_t size, unsigned timeoutMs)
{
    Conn *c = Find(handle);
    if (!c)
        return TCPEInvalidHandle;
    if (!buffer || size == 0)
        return UIEInvalidValue;
    if (!c->sock)
        return TCPEReadFailed;
    const qint64 want = static_cast<qint64>(std::min<size_t>(size, INT_MAX));
    ++busy;
    QElapsedTimer t;
    t.start();
    const qint64 limit = timeoutMs ? timeoutMs : kDefaultTimeoutMs;
    while (c->sock && c->sock->bytesAvailable() == 0 && c->sock->state() == QAbstractSocket::ConnectedState &&
           t.elapsed() < limit) {
        c->sock->waitForReadyRead(static_cast<int>(std::min<qint64>(kSliceMs, limit - t.elapsed())));
        DrawWhileWaiting();
        c = Find(handle);
    }
    int rc;
    if (c && c->sock && c->sock->bytesAvailable() > 0)
        rc = static_cast<int>(c->sock->read(static_cast<char *>(buffer), want));
    else if (!c || !c->sock || c->sock->state() != QAbstractSocket::ConnectedState)
        rc = TCPEReadFailed;
    else
        rc = TCPETimeOut;
    Leave();
    return rc;
}

int ServerTCPWrite(unsigned handle, const void *buffer, size_t size, unsigned timeoutMs)
{
    Conn *c = Find(handle);
    if (!c)
        return TCPEInvalidHandle;
    if ((!buffer && size > 0) || size > static_cast<size_t>(INT_MAX))
        return UIEInvalidValue;
    if (!c->sock || c->gone || c->sock->state() != QAbstractSocket::ConnectedState)
        return TCPEWriteFailed;
    if (size == 0)
        return 0;
    ++busy;
    const int rc = SendAll(handle, static_cast<const char *>(buffer), size, timeoutMs ? timeoutMs : kDefaultTimeoutMs);
    Leave();
    return rc;
}

int DisconnectTCPClient(unsigned handle)
{
    Conn *c = Find(handle);
    if (!c || !c->sock)
        return TCPEInvalidHandle;
    c->sock->flush();
    ReleaseSocket(*c);
    return 0;
}

bool TCPClientConnected(unsigned handle)
{
    Conn *c = Find(handle);
    return c && c->sock && !c->gone && c->sock->state() == QAbstractSocket::ConnectedState;
}
