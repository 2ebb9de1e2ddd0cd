// What a capture asks for and what is held.  The capture asks for the count
// the model's settings panel shows; until the next trace arrives, saving, the
// spectrum and the remote client see the trace held, and a block a little
// longer than asked for is taken whole.
#include "common/loopback.h"
#include "remote/tcpserver.h"
#include "tracefixture.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <future>

namespace {

// Runs fn on a worker thread while the events go on (the server answers only
// then), and at least 50 ms, so that what the program sends meanwhile is out.
template <class F>
auto Pump(F fn)
{
    auto done = std::async(std::launch::async, fn);
    const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready ||
           std::chrono::steady_clock::now() < settle)
        ProcessSystemEvents();
    return done.get();
}

// The program's TCP server on a free port and one client of it.  The client
// reads on a worker thread while the test thread keeps the events going.
class RemoteClient {
public:
    RemoteClient()
    {
        for (int tries = 0; tries < 5 && port_ == 0; ++tries) {
            const int p = FreePort();
            if (p > 0 && RegisterTCPServer(unsigned(p), cbTCPServer, nullptr) == 0)
                port_ = unsigned(p);
        }
        fd_ = port_ ? ConnectLoopback(int(port_)) : -1;
        timeval tv{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (fd_ >= 0 && Hdl == 0 && std::chrono::steady_clock::now() < end)
            ProcessSystemEvents();
    }

    ~RemoteClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (port_)
            UnregisterTCPServer(port_);
        Hdl = 0;
    }

    bool ok() const { return fd_ >= 0 && Hdl != 0; }

    // The count of the last state message sent so far (-1: none came).
    int LastCount()
    {
        Pump([] { return 0; });
        int count = -1;
        uint8_t msg[20];
        while (::recv(fd_, msg, sizeof msg, MSG_DONTWAIT | MSG_WAITALL) == ssize_t(sizeof msg))
            count = Le32(msg + 8);
        return count;
    }

    // "GetSymbols": the sample bytes after the reply's header, when the
    // reply holds samples samples (anything beyond them counts too).
    size_t Symbols(int samples)
    {
        ::send(fd_, "GetSymbols", 10, MSG_NOSIGNAL);
        const size_t want = 4 + size_t(samples) * 8;
        size_t got = Pump([this, want] {
            std::vector<uint8_t> reply(want);
            size_t n = 0;
            for (ssize_t r; n < want && (r = ::recv(fd_, reply.data() + n, want - n, 0)) > 0;)
                n += size_t(r);
            return n;
        });
        uint8_t extra[64];
        for (ssize_t r; (r = ::recv(fd_, extra, sizeof extra, MSG_DONTWAIT)) > 0;)
            got += size_t(r);
        return got < 4 ? 0 : got - 4;
    }

private:
    static int Le32(const uint8_t *p) { return int(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }

    unsigned port_ = 0;
    int fd_ = -1;
};

struct CountCase {
    int typ;
    const char *name;
    int held, next;
};

class Counts : public TraceTest, public ::testing::WithParamInterface<CountCase> {
protected:
    static int CountCtrl(int typ) { return typ == DEV_JASPER ? JA_CNT : BY_CNT; }
    static int Panel(int typ) { return typ == DEV_JASPER ? hJas : hBer; }

    // The count the capture settings line asked for.
    std::string AskedFor() const
    {
        for (const auto &l : Log())
            if (l.rfind("TRAC:IQ:SET ", 0) == 0)
                return l.substr(l.rfind(',') + 1);
        return "";
    }
};

}  // namespace

TEST_P(Counts, TheCaptureAsksForWhatThePanelShowsAndTheHeldTraceIsWhatIsUsed)
{
    const CountCase c = GetParam();
    StartAnalyzer(c.name);
    UseLan(c.typ);
    Connect();
    RemoteClient client;
    ASSERT_TRUE(client.ok());
    ASSERT_EQ(ui_test::UserSetVal(Panel(c.typ), CountCtrl(c.typ), c.held), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(DVal, 1) << Messages();
    EXPECT_EQ(AskedFor(), std::to_string(c.held) + ";*WAI");
    EXPECT_EQ(client.LastCount(), c.held);

    // A new count, then any other commit of the trace panel.
    ASSERT_EQ(ui_test::UserSetVal(Panel(c.typ), CountCtrl(c.typ), c.next), 0);
    EXPECT_EQ(client.LastCount(), c.held) << "the client hears of the trace held";
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_WIN, 3), 0);
    EXPECT_EQ(s.Len, c.next);
    EXPECT_EQ(HeldSamples(), c.held);  // what saving and the spectrum take
    EXPECT_EQ(client.LastCount(), c.held);
    EXPECT_EQ(client.Symbols(c.held), size_t(c.held) * 8);

    Truncate();
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    EXPECT_EQ(AskedFor(), std::to_string(c.next) + ";*WAI");
    ASSERT_EQ(s.Len, c.next);
    EXPECT_EQ(HeldSamples(), c.next);
    EXPECT_EQ(client.LastCount(), c.next);
}

INSTANTIATE_TEST_SUITE_P(Models, Counts,
                         ::testing::Values(CountCase{DEV_BERYL, "beryl", 4096, 8192},
                                           CountCase{DEV_JASPER, "jasper", 65536, 1048586}),
                         [](const auto &info) { return std::string(info.param.name); });

// The instrument rounds the record up: the whole block is read, and the trace
// held is its length, not the count asked for.
TEST_F(TraceTest, ABlockRoundedUpByTheInstrumentIsReadWhole)
{
    StartAnalyzer("beryl", {"--round", "256"});
    UseLan(DEV_BERYL);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_WIN, 2), 0);  // Hanning, over the whole block
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 8000), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), "");
    ASSERT_EQ(DVal, 1);
    EXPECT_EQ(HeldSamples(), 8192);
    EXPECT_EQ(s.Len, 8000);  // the panel's count again, for the next capture
    EXPECT_LT(ToneError([](int k, int n) { return 0.5 - 0.5 * std::cos(2.0 * M_PI * k / n); }), kTol);
}

// A block longer than the model can capture cannot be true: it is refused,
// and its rest is gone before the next command.  Up to the maximum is taken.
TEST_F(TraceTest, ABlockBeyondTheModelsMaximumIsRefusedAndDiscarded)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    Connect();
    DevRec beryl = a;
    beryl.Typ = DEV_BERYL;
    fkt = 1.0f;
    for (int count : {130561, 130560}) {
        SCOPED_TRACE(count);
        ASSERT_EQ(viPrintf(a.Vi, "TRAC:IQ ON;TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,%d\n", count),
                  VI_SUCCESS);
        const int st = ReadIQ(beryl, s, 3);
        if (count > 130560) {
            EXPECT_EQ(st, -1);
            EXPECT_EQ(s.Len, 0);
            EXPECT_EQ(s.I, nullptr);
            EXPECT_EQ(s.Q, nullptr);
        } else {
            EXPECT_EQ(st, 0);
            EXPECT_EQ(s.Len, count);
        }
        // The next reply is the instrument's own, not the rest of the block.
        char idn[101] = {};
        ASSERT_EQ(viQueryf(a.Vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
        EXPECT_EQ(std::string(idn).substr(0, 12), "Kalmira-Sim,") << idn;
    }
}
