#include "userint.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Seen {
    unsigned handle;
    int type;
    std::string data;
};

struct Log {
    std::vector<Seen> events;
    int depth = 0, maxDepth = 0;
    bool reply = true;
    int chunk = 1000;
};

int OnTcp(unsigned handle, int type, int, void *data)
{
    auto *log = static_cast<Log *>(data);
    log->maxDepth = std::max(log->maxDepth, ++log->depth);
    Seen s{handle, type, ""};
    if (type == TCP_DATAREADY) {
        char buf[1001];
        const int n = ServerTCPRead(handle, buf, log->chunk, 1000);
        if (n > 0) {
            s.data.assign(buf, n);
            // Lets the panels draw in the middle of a callback: no event
            // may be handed over from in here.
            ProcessDrawEvents();
            ProcessSystemEvents();
            if (log->reply) {
                const std::string answer = "re:" + s.data;
                ServerTCPWrite(handle, answer.data(), answer.size(), 1000);
            }
        }
    }
    log->events.push_back(s);
    --log->depth;
    return 0;
}

unsigned FreePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool PumpUntil(const std::function<bool()> &done, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        ProcessSystemEvents();
        usleep(1000);
    }
    return done();
}

int CountOf(const Log &log, int type)
{
    int n = 0;
    for (const Seen &s : log.events)
        n += s.type == type;
    return n;
}

class TcpServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreePort();
        ASSERT_EQ(RegisterTCPServer(port, OnTcp, &log), 0);
    }
    void TearDown() override { UnregisterTCPServer(port); }

    // A client with a small receive buffer that never reads: *fd its socket,
    // *h its handle on the server.
    void ConnectSlowReader(int *fd, unsigned *h)
    {
        *fd = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_GE(*fd, 0);
        const int small = 4096;
        setsockopt(*fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(connect(*fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 1; }));
        *h = log.events[0].handle;
    }

    unsigned port = 0;
    Log log;
};

TEST_F(TcpServer, ConnectDataAndDisconnectReachTheCallbackWithOneHandlePerClient)
{
    EXPECT_LT(RegisterTCPServer(port, OnTcp, &log), 0);   // the port is taken
    QTcpSocket a, b;
    a.connectToHost(QHostAddress::LocalHost, port);
    b.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(a.waitForConnected(2000) && b.waitForConnected(2000));
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 2; }));
    const unsigned ha = log.events[0].handle, hb = log.events[1].handle;
    EXPECT_NE(ha, 0u);
    EXPECT_NE(hb, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_TRUE(TCPClientConnected(ha));

    // Both arrive together: the second waits until the first callback,
    // which lets events be processed, has returned.
    a.write("GetServerID");
    b.write("GetNewState");
    a.flush();
    b.flush();
    ASSERT_TRUE(PumpUntil([&] { return a.bytesAvailable() >= 14 || (a.waitForReadyRead(5), false); }));
    ASSERT_TRUE(PumpUntil([&] { return b.bytesAvailable() >= 14 || (b.waitForReadyRead(5), false); }));
    EXPECT_EQ(a.readAll().toStdString(), "re:GetServerID");
    EXPECT_EQ(b.readAll().toStdString(), "re:GetNewState");
    ASSERT_EQ(CountOf(log, TCP_DATAREADY), 2);
    for (const Seen &s : log.events) {
        if (s.type == TCP_DATAREADY) {
            EXPECT_EQ(s.data, s.handle == ha ? "GetServerID" : "GetNewState");
        }
    }
    EXPECT_EQ(log.maxDepth, 1);   // never re-entered

    a.disconnectFromHost();
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_DISCONNECT) == 1; }));
    EXPECT_EQ(log.events.back().handle, ha);
    EXPECT_FALSE(TCPClientConnected(ha));
    char buf[8];
    EXPECT_LT(ServerTCPRead(ha, buf, sizeof buf, 10), 0);
    EXPECT_LT(ServerTCPWrite(ha, "x", 1, 10), 0);
    EXPECT_LT(DisconnectTCPClient(ha), 0);
    EXPECT_TRUE(TCPClientConnected(hb));

    // The server drops b itself: b sees the end, the handle is dead.
    ASSERT_EQ(DisconnectTCPClient(hb), 0);
    EXPECT_FALSE(TCPClientConnected(hb));
    EXPECT_TRUE(b.waitForDisconnected(2000) || b.state() == QAbstractSocket::UnconnectedState);
    EXPECT_LT(ServerTCPWrite(hb, "x", 1, 10), 0);
    EXPECT_LT(ServerTCPRead(12345678, buf, sizeof buf, 10), 0);

    // A new client gets a handle never used before.
    QTcpSocket c;
    c.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(c.waitForConnected(2000));
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 3; }));
    EXPECT_NE(log.events.back().handle, ha);
    EXPECT_NE(log.events.back().handle, hb);
}

TEST_F(TcpServer, BytesLeftAfterAReadAreAnnouncedAgain)
{
    log.reply = false;
    log.chunk = 5;
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(a.waitForConnected(2000));
    a.write("GetServerID");
    a.flush();
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_DATAREADY) == 3; }));
    std::string all;
    for (const Seen &s : log.events)
        all += s.data;
    EXPECT_EQ(all, "GetServerID");
    EXPECT_EQ(log.events.back().data, "D");
}

TEST_F(TcpServer, ReadWaitsForBytesUntilItsTimeOut)
{
    log.reply = false;
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(a.waitForConnected(2000));
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 1; }));
    const unsigned h = log.events[0].handle;
    char buf[16];
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(ServerTCPRead(h, buf, sizeof buf, 150), TCPETimeOut);
    EXPECT_GE(t.elapsed(), 140);
}

TEST_F(TcpServer, WritingToAVanishedClientFailsWithoutHarm)
{
    log.reply = false;
    {
        QTcpSocket a;
        a.connectToHost(QHostAddress::LocalHost, port);
        ASSERT_TRUE(a.waitForConnected(2000));
        ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 1; }));
        a.abort();   // gone without a word
    }
    const unsigned h = log.events[0].handle;
    const std::vector<char> block(64000, 'x');
    int rc = 0;
    for (int i = 0; i < 50 && rc >= 0; ++i)
        rc = ServerTCPWrite(h, block.data(), block.size(), 500);
    EXPECT_LT(rc, 0);
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_DISCONNECT) == 1; }));
    EXPECT_LT(ServerTCPWrite(h, block.data(), block.size(), 500), 0);
}

TEST_F(TcpServer, AClientThatStopsReadingMakesTheWriteGiveUpAfterItsTimeOut)
{
    log.reply = false;
    int fd = -1;
    unsigned h = 0;
    ASSERT_NO_FATAL_FAILURE(ConnectSlowReader(&fd, &h));

    const std::vector<char> block(64000, 'y');
    int rc = 0, writes = 0;
    QElapsedTimer t;
    for (; writes < 2000 && rc >= 0; ++writes) {
        t.start();
        rc = ServerTCPWrite(h, block.data(), block.size(), 200);
    }
    EXPECT_EQ(rc, TCPETimeOut);
    EXPECT_GE(t.elapsed(), 190);
    EXPECT_LT(writes, 2000);
    // A half-sent reply cannot be continued: the connection is over.
    EXPECT_FALSE(TCPClientConnected(h));
    EXPECT_LT(ServerTCPWrite(h, "z", 1, 100), 0);
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_DISCONNECT) == 1; }));
    close(fd);
}

// A termination signal while a client that stopped reading holds up a write:
// the write gives up at once instead of after its time-out, so the shutdown
// is not kept waiting.  (The only signal this test program raises: a second
// one would end it.)
TEST_F(TcpServer, ATerminationSignalEndsAWriteToAClientThatStoppedReading)
{
    log.reply = false;
    ASSERT_EQ(QuitOnTerminationSignals(+[] {}), 0);
    int fd = -1;
    unsigned h = 0;
    ASSERT_NO_FATAL_FAILURE(ConnectSlowReader(&fd, &h));

    const std::vector<char> block(size_t(64) << 20, 'y');
    ui_test::Post([] { ::raise(SIGTERM); }, 300);
    QElapsedTimer t;
    t.start();
    const int rc = ServerTCPWrite(h, block.data(), block.size(), 20000);
    const qint64 ms = t.elapsed();
    EXPECT_EQ(rc, TCPEWriteFailed);
    EXPECT_GE(ms, 250);
    EXPECT_LT(ms, 2000) << "the write waited for the client";
    EXPECT_FALSE(TCPClientConnected(h));
    // The signal became a quit request once the events went on.
    EXPECT_TRUE(PumpUntil([] { return QuitRequested() != 0; }));
    ui_test::ClearQuitRequest();
    EXPECT_EQ(RunUserInterface(), 0);
    close(fd);
}

TEST(TcpServerRegistration, RefusesAPortInUseAndUnregistersCleanly)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    Log log;
    EXPECT_LT(RegisterTCPServer(other.serverPort(), OnTcp, &log), 0);
    EXPECT_LT(RegisterTCPServer(0, OnTcp, &log), 0);
    EXPECT_LT(UnregisterTCPServer(other.serverPort()), 0);
    const unsigned port = FreePort();
    ASSERT_EQ(RegisterTCPServer(port, OnTcp, &log), 0);
    QTcpSocket a;
    a.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(a.waitForConnected(2000));
    ASSERT_TRUE(PumpUntil([&] { return CountOf(log, TCP_CONNECT) == 1; }));
    ASSERT_EQ(UnregisterTCPServer(port), 0);
    EXPECT_FALSE(TCPClientConnected(log.events[0].handle));
    // The port is free again, and the old client is nothing to the new server.
    Log fresh;
    ASSERT_EQ(RegisterTCPServer(port, OnTcp, &fresh), 0);
    a.write("GetServerID");
    a.flush();
    PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(fresh.events.empty());
    EXPECT_EQ(UnregisterTCPServer(port), 0);
}

}  // namespace
