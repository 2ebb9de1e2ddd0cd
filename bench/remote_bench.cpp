// Rate of the remote server's data reply for the largest trace (16,776,704
// samples, 134 MB): a loopback client asks "GetSymbols" and reads the header
// and every sample (the reply follows the command directly), while this thread runs the program's
// event loop with the server inside it.  Beside it, a plain loopback TCP copy
// of the same byte count in the same run: the gap between the two is what the
// server, the toolkit's socket layer and the Transfer panel cost.
#include "VmKalLib.h"
#include "remote/tcpserver.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <thread>
#include <vector>

namespace {

constexpr int kSamples = 16776704;
constexpr size_t kStateBytes = 20;
constexpr size_t kReplyBytes = 4 + size_t(kSamples) * 8;
constexpr size_t kBlock = 64000;

unsigned gPort = 0;

int Listener(unsigned *port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::listen(fd, 1);
    *port = ntohs(addr.sin_port);
    return fd;
}

int Connect(unsigned port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    // A reply shorter than expected ends the bench with an error, not a hang.
    timeval tv{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

size_t ReadAll(int fd, size_t n)
{
    std::vector<char> buf(1 << 20);
    size_t got = 0;
    while (got < n) {
        ssize_t k = ::recv(fd, buf.data(), std::min(buf.size(), n - got), 0);
        if (k <= 0)
            break;
        got += size_t(k);
    }
    return got;
}

// Runs the event loop until the client's part is done.
template <class R>
R WithEvents(std::future<R> done)
{
    while (done.wait_for(std::chrono::microseconds(200)) != std::future_status::ready)
        ProcessSystemEvents();
    return done.get();
}

void BM_GetSymbols(benchmark::State &state)
{
    const int fd = Connect(gPort);
    if (fd < 0) {
        state.SkipWithError("no server");
        return;
    }
    // The state message every client gets on connecting.
    WithEvents(std::async(std::launch::async, [fd] { return ReadAll(fd, kStateBytes); }));
    for (auto _ : state) {
        size_t got = WithEvents(std::async(std::launch::async, [fd] {
            ::send(fd, "GetSymbols", 10, MSG_NOSIGNAL);
            return ReadAll(fd, kReplyBytes);
        }));
        if (got != kReplyBytes) {
            state.SkipWithError("short reply");
            break;
        }
    }
    ::close(fd);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kReplyBytes));
}

// The same byte count from one thread to another over loopback, written in
// the server's block size and read as the client reads.
void BM_PlainLoopbackCopy(benchmark::State &state)
{
    unsigned port = 0;
    const int lfd = Listener(&port);
    std::vector<char> block(kBlock, 1);
    for (auto _ : state) {
        std::thread writer([&] {
            int fd = ::accept(lfd, nullptr, nullptr);
            size_t left = kReplyBytes;
            while (left > 0) {
                ssize_t k = ::send(fd, block.data(), std::min(left, block.size()), MSG_NOSIGNAL);
                if (k <= 0)
                    break;
                left -= size_t(k);
            }
            ::close(fd);
        });
        const int fd = Connect(port);
        const size_t got = ReadAll(fd, kReplyBytes);
        ::close(fd);
        writer.join();
        if (got != kReplyBytes) {
            state.SkipWithError("short copy");
            break;
        }
    }
    ::close(lfd);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kReplyBytes));
}

BENCHMARK(BM_GetSymbols)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PlainLoopbackCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The program's panels and its server on a free port, holding the largest trace.
bool StartServer()
{
    if (BuildPanels() != 0)
        return false;
    s.I = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
    s.Q = static_cast<float *>(std::calloc(kSamples, sizeof(float)));
    if (!s.I || !s.Q)
        return false;
    for (int k = 0; k < kSamples; ++k) {
        s.I[k] = float(k % 1000);
        s.Q[k] = -float(k % 777);
    }
    s.Len = kSamples;
    SRat = 1e6f;
    DVal = 1;
    for (int tries = 0; tries < 5; ++tries) {
        unsigned port = 0;
        ::close(Listener(&port));
        if (RegisterTCPServer(port, cbTCPServer, nullptr) == 0) {
            gPort = port;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    InitUserInterface(argc, argv);
    ui_test::SetScripted(true);
    if (!StartServer()) {
        std::fprintf(stderr, "remote_bench: the server could not be started\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
