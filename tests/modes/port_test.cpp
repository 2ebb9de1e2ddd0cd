// Changing "TCP/IP Port" moves the server: clients reach the new port, the
// old one refuses, a connected client is let go and the lamp goes off.
#include "modesfixture.h"

#include "common/loopback.h"

#include "remote/tcpserver.h"

#include <unistd.h>

#include <chrono>

namespace {

template <typename Pred>
bool RunUntil(Pred done, int ms = 3000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end)
        ProcessSystemEvents();
    return done();
}

class PortTest : public ModesTest {
protected:
    void TearDown() override
    {
        UnregisterTCPServer(static_cast<unsigned>(TcpPrt));
        ModesTest::TearDown();
    }
};

TEST_F(PortTest, PortChangeMovesTheServerAndLetsTheClientGo)
{
    const int oldPort = FreePort();
    TcpPrt = oldPort;
    SetCtrlVal(hRun, RN_PORT, oldPort);
    ASSERT_EQ(RegisterTCPServer(oldPort, cbTCPServer, nullptr), 0);

    int client = ConnectLoopback(oldPort);
    ASSERT_GE(client, 0);
    ASSERT_TRUE(RunUntil([] { return Hdl != 0 && IntVal(hRun, RN_CONN) == 1; }));

    const int newPort = FreePort();
    ASSERT_NE(newPort, oldPort);
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_PORT, newPort), 0);
    EXPECT_EQ(TcpPrt, newPort);
    EXPECT_EQ(IntVal(hRun, RN_CONN), 0);

    // The old client hears the end of its connection.
    char byte;
    ASSERT_TRUE(RunUntil([&] {
        timeval tv{0, 10000};
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return recv(client, &byte, 1, 0) == 0;
    }));
    close(client);

    EXPECT_EQ(ConnectLoopback(oldPort), -1);
    int fresh = ConnectLoopback(newPort);
    EXPECT_GE(fresh, 0);
    if (fresh >= 0)
        close(fresh);
}

TEST_F(PortTest, UnusablePortLeavesNoServerUntilTheNextChange)
{
    const int oldPort = FreePort();
    TcpPrt = oldPort;
    ASSERT_EQ(RegisterTCPServer(oldPort, cbTCPServer, nullptr), 0);

    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_PORT, 70000), 0);
    EXPECT_EQ(TcpPrt, 70000);
    EXPECT_EQ(ConnectLoopback(oldPort), -1);

    const int next = FreePort();
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_PORT, next), 0);
    int fd = ConnectLoopback(next);
    EXPECT_GE(fd, 0);
    if (fd >= 0)
        close(fd);
}

}  // namespace
