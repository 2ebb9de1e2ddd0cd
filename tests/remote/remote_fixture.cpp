#include "remote_fixture.h"

#include "common/loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

namespace {

std::vector<WriteSeen> writes;
size_t breakAt = 0;

}  // namespace

std::vector<WriteSeen> &Writes() { return writes; }
void BreakAtWrite(size_t ordinal) { breakAt = ordinal; }

// The test program is linked with --wrap for the toolkit's write, so every
// write of the server and of the support library passes through here on its
// way to the real one.
extern "C" int __real__Z14ServerTCPWritejPKvmj(unsigned handle, const void *buffer, size_t size,
                                                unsigned timeoutMs);
extern "C" int __wrap__Z14ServerTCPWritejPKvmj(unsigned handle, const void *buffer, size_t size,
                                                unsigned timeoutMs)
{
    if (breakAt != 0 && writes.size() + 1 == breakAt)
        DisconnectTCPClient(handle);
    int progress = -1;
    GetCtrlVal(hDat, DT_TRANSF, &progress);
    const int rc = __real__Z14ServerTCPWritejPKvmj(handle, buffer, size, timeoutMs);
    writes.push_back({size, rc, progress});
    return rc;
}

bool PumpUntil(const std::function<bool()> &done, int limitMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        ProcessSystemEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

Client::Client(unsigned port, int recvTimeoutMs, int recvBuf)
{
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0)
        return;
    if (recvBuf > 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &recvBuf, sizeof recvBuf);
    timeval tv{recvTimeoutMs / 1000, (recvTimeoutMs % 1000) * 1000};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        Close();
}

Client::~Client() { Close(); }

void Client::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void Client::Reset()
{
    if (fd_ < 0)
        return;
    linger hard{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    Close();
}

bool Client::Send(const std::string &text)
{
    return fd_ >= 0 && ::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::vector<uint8_t> Client::Read(size_t n)
{
    std::vector<uint8_t> out(n);
    out.resize(Drain(n, &out));
    return out;
}

size_t Client::Drain(size_t n, std::vector<uint8_t> *keep)
{
    std::vector<uint8_t> scratch;
    if (!keep)
        scratch.resize(1 << 20);
    size_t got = 0;
    while (fd_ >= 0 && got < n) {
        uint8_t *to = keep ? keep->data() + got : scratch.data();
        const size_t room = keep ? n - got : std::min(n - got, scratch.size());
        const ssize_t k = ::recv(fd_, to, room, 0);
        if (k <= 0)
            break;
        got += static_cast<size_t>(k);
    }
    return got;
}

size_t Client::Quiet(int ms)
{
    size_t got = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uint8_t buf[4096];
    while (fd_ >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t k = ::recv(fd_, buf, sizeof buf, 0);
        if (k <= 0)
            break;
        got += static_cast<size_t>(k);
    }
    return got;
}

int32_t Le32(const uint8_t *p)
{
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

StateMsg ReadState(Client &c)
{
    StateMsg m;
    std::vector<uint8_t> b = c.Read(20);
    if (b.size() != 20)
        return m;
    m.kind = Le32(b.data());
    m.newState = Le32(b.data() + 4);
    m.count = Le32(b.data() + 8);
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | b[12 + i];
    std::memcpy(&m.rate, &bits, sizeof m.rate);
    m.complete = true;
    return m;
}

void RemoteTest::SetUp()
{
    FreeIqRec(&s);
    std::memset(&s, 0, sizeof s);
    std::memset(&a, 0, sizeof a);
    Hdl = NewState = DVal = TrcFlg = IoBusy = 0;
    SRat = RecLen = 0;
    ASSERT_EQ(BuildPanels(), 0);
    ui_test::ClearPopups();
    writes.clear();
    breakAt = 0;
    for (int tries = 0; tries < 5 && port == 0; ++tries) {
        const int p = FreePort();
        if (p > 0 && RegisterTCPServer(unsigned(p), cbTCPServer, nullptr) == 0)
            port = unsigned(p);
    }
    ASSERT_NE(port, 0u);
}

void RemoteTest::TearDown()
{
    UnregisterTCPServer(port);
    PumpUntil([] { return false; }, 20);
    for (int p : {hRun, hLod, hSav, hSta, hDat})
        DiscardPanel(p);
    FreeIqRec(&s);
    std::free(RepMem);
    RepMem = nullptr;
    IoBusy = 0;
}

void RemoteTest::SetData(int n, float rate)
{
    FreeIqRec(&s);
    s.I = static_cast<float *>(std::calloc(n ? n : 1, sizeof(float)));
    s.Q = static_cast<float *>(std::calloc(n ? n : 1, sizeof(float)));
    for (int k = 0; k < n; ++k) {
        s.I[k] = static_cast<float>(k);
        s.Q[k] = -0.5f - static_cast<float>(k % 4096);
    }
    s.Len = n;
    HeldLen = n;
    SRat = rate;
    DVal = 1;
    NewState = 1;
}

int RemoteTest::Lamp()
{
    int v = -1;
    GetCtrlVal(hRun, RN_CONN, &v);
    return v;
}

int RemoteTest::Progress()
{
    int v = -1;
    GetCtrlVal(hDat, DT_TRANSF, &v);
    return v;
}
