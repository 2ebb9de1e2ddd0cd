// The remote server over loopback: state message on connect, identity, data
// replies in blocks with progress, exact commands, broken and stalled
// clients, many clients in a row.
#include "remote_fixture.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace {

constexpr int kLargest = 16776704;

struct Reply {
    StateMsg before;                // a state message before the reply, when one is expected
    std::vector<uint8_t> header;
    std::vector<uint8_t> body;
    size_t extra = 0;               // bytes after the reply
};

// Sends GetSymbols and reads the header and count samples, the count the
// client knows; with `announced`, a state message first.
Reply FetchSymbols(Client &c, size_t count, bool announced = false)
{
    Reply r;
    c.Send("GetSymbols");
    if (announced)
        r.before = ReadState(c);
    r.header = c.Read(4);
    r.body = c.Read(count * 8);
    r.extra = c.Quiet(200);
    return r;
}

float FloatAt(const std::vector<uint8_t> &b, size_t index)
{
    float v;
    std::memcpy(&v, b.data() + 4 * index, sizeof v);
    return v;
}

// The samples of SetData at [first, first + n) as received.
bool SamplesMatch(const std::vector<uint8_t> &body, size_t first, size_t n, size_t offset = 0)
{
    for (size_t k = first; k < first + n; ++k) {
        const size_t at = 2 * (k - offset);
        if (FloatAt(body, at) != static_cast<float>(k) ||
            FloatAt(body, at + 1) != -0.5f - static_cast<float>(k % 4096))
            return false;
    }
    return true;
}

std::vector<size_t> SizesFrom(size_t first)
{
    std::vector<size_t> out;
    for (size_t i = first; i < Writes().size(); ++i)
        out.push_back(Writes()[i].size);
    return out;
}

// The next client is served in full: state, identity, and a small reply.
std::string ServesNextClient(unsigned port, int count)
{
    Client c(port);
    StateMsg st = ReadState(c);
    if (st.kind != 3 || st.count != count)
        return "state message of the next client: kind " + std::to_string(st.kind) + " count " +
               std::to_string(st.count);
    c.Send("GetServerID");
    std::vector<uint8_t> id = c.Read(100);
    if (id.size() != 100 || Le32(id.data()) != 4 || std::strcmp(reinterpret_cast<char *>(id.data() + 4), "Kalmira"))
        return "identity of the next client";
    return "";
}

}  // namespace

TEST_F(RemoteTest, ConnectSendsOneStateMessageAndTheLampFollowsTheClient)
{
    SetData(1234, 3.5e6f);
    EXPECT_EQ(Lamp(), 0);
    auto c = std::make_unique<Client>(port);
    StateMsg st = Talk<StateMsg>([&] { return ReadState(*c); });
    size_t more = Talk<size_t>([&] { return c->Quiet(300); });
    ASSERT_TRUE(st.complete);
    EXPECT_EQ(st.kind, 3);
    EXPECT_EQ(st.newState, 1);
    EXPECT_EQ(st.count, 1234);
    EXPECT_EQ(st.rate, 3.5e6);
    EXPECT_EQ(more, 0u) << "one message only on connect";
    EXPECT_EQ(Lamp(), 1);
    EXPECT_NE(Hdl, 0);
    c.reset();
    EXPECT_TRUE(PumpUntil([] { return Lamp() == 0; }));
}

TEST_F(RemoteTest, IdentityIsExactlyOneHundredBytesAndOnlyTheExactCommandIsAnswered)
{
    Client c(port);
    struct Seen {
        size_t lower, newline, nul, longer;
        std::vector<uint8_t> id;
        size_t after;
    };
    Seen seen = Talk<Seen>([&] {
        Seen s{};
        ReadState(c);
        c.Send("getserverid");
        s.lower = c.Quiet(300);
        c.Send("GetServerID\n");
        s.newline = c.Quiet(300);
        c.Send(std::string("GetServerID\0", 12));
        s.nul = c.Quiet(300);
        c.Send("GetServerIDs");
        s.longer = c.Quiet(300);
        c.Send("GetServerID");
        s.id = c.Read(100);
        s.after = c.Quiet(300);
        return s;
    });
    EXPECT_EQ(seen.lower, 0u);
    EXPECT_EQ(seen.newline, 0u);
    EXPECT_EQ(seen.nul, 0u);
    EXPECT_EQ(seen.longer, 0u);
    ASSERT_EQ(seen.id.size(), 100u);
    std::vector<uint8_t> want(100, 0);
    want[0] = 4;
    std::memcpy(want.data() + 4, "Kalmira", 7);
    EXPECT_EQ(seen.id, want);
    EXPECT_EQ(seen.after, 0u);
}

TEST_F(RemoteTest, TwentyThousandSamplesGoInTwoFullBlocksAndARestWithProgressAtOneHundred)
{
    SetData(20000);
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    const size_t first = Writes().size();
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, 20000); });

    EXPECT_EQ(r.header, (std::vector<uint8_t>{2, 0, 0, 0}));
    ASSERT_EQ(r.body.size(), 160000u);
    EXPECT_TRUE(SamplesMatch(r.body, 0, 20000));
    EXPECT_EQ(r.extra, 0u);
    EXPECT_EQ(SizesFrom(first), (std::vector<size_t>{4, 64000, 64000, 32000}));
    ASSERT_EQ(Writes().size(), first + 4);
    EXPECT_EQ(Writes()[first + 2].progress, 0) << "no progress after the first block";
    EXPECT_EQ(Writes()[first + 3].progress, 100) << "100 after the second block";
    EXPECT_EQ(NewState, 0);
    EXPECT_EQ(ui_test::PanelVisible(hDat), 0);
    EXPECT_EQ(Lamp(), 1);
}

TEST_F(RemoteTest, FiveThousandSamplesGoInOneBlockAndTheProgressStaysAtZero)
{
    SetData(5000);
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    const size_t first = Writes().size();
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, 5000); });
    ASSERT_EQ(r.body.size(), 40000u);
    EXPECT_TRUE(SamplesMatch(r.body, 0, 5000));
    EXPECT_EQ(SizesFrom(first), (std::vector<size_t>{4, 40000}));
    EXPECT_EQ(Progress(), 0);
    for (size_t i = first; i < Writes().size(); ++i)
        EXPECT_EQ(Writes()[i].progress, 0);
}

// Every bit pattern a float can hold, NaNs with payloads (quiet and
// signalling), infinities, subnormals and -0 among them, arrives exactly as s
// holds it, on a length that ends inside both a block and a buffer fill.
TEST_F(RemoteTest, TheReplyCarriesTheSamplesBitForBitInBlocksOf8000)
{
    const int n = 2 * 8 * 8000 + 3 * 8000 + 4321;
    SetData(n);
    uint32_t x = 0x12345678u;
    const uint32_t special[] = {0x7FC00001u, 0x7F800001u, 0xFF800000u, 0x00000001u, 0x80000000u, 0x7F7FFFFFu};
    for (int k = 0; k < n; ++k) {
        x = x * 1664525u + 1013904223u;
        const uint32_t bits[2] = {k % 97 == 0 ? special[k % 6] : x, x ^ 0xA5A5A5A5u};
        std::memcpy(&s.I[k], &bits[0], 4);
        std::memcpy(&s.Q[k], &bits[1], 4);
    }
    std::vector<uint8_t> want(size_t(n) * 8);
    for (int k = 0; k < n; ++k) {
        std::memcpy(&want[size_t(k) * 8], &s.I[k], 4);
        std::memcpy(&want[size_t(k) * 8 + 4], &s.Q[k], 4);
    }
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    const size_t first = Writes().size();
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, size_t(n)); });
    EXPECT_EQ(r.header, (std::vector<uint8_t>{2, 0, 0, 0}));
    ASSERT_EQ(r.body.size(), want.size());
    EXPECT_TRUE(r.body == want) << "first difference at byte "
                                << std::mismatch(r.body.begin(), r.body.end(), want.begin()).first - r.body.begin();
    EXPECT_EQ(r.extra, 0u);
    std::vector<size_t> sizes{4};
    sizes.insert(sizes.end(), n / 8000, 64000);
    sizes.push_back(4321 * 8);
    EXPECT_EQ(SizesFrom(first), sizes);
    EXPECT_EQ(Writes().back().progress, 100);
}

TEST_F(RemoteTest, ACountWithoutArraysGoesOutAsZerosAndNoDataAsAnEmptyReply)
{
    s.Len = 3000;
    SRat = 1e6f;
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, 3000); });
    ASSERT_EQ(r.body.size(), 24000u);
    EXPECT_EQ(r.body, std::vector<uint8_t>(24000, 0));
    EXPECT_EQ(r.extra, 0u);
    EXPECT_NE(s.I, nullptr);
    EXPECT_NE(s.Q, nullptr);

    FreeIqRec(&s);
    c.Send("GetNewState");
    EXPECT_EQ(Talk<StateMsg>([&] { return ReadState(c); }).count, 0);
    r = Talk<Reply>([&] { return FetchSymbols(c, 0); });
    EXPECT_EQ(r.header, (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(r.extra, 0u);
}

TEST_F(RemoteTest, AnAgatesNextCountFollowsTheRecordLengthWhileTheClientGetsTheCaptureHeld)
{
    SetData(1000, 1e6f);
    TrcFlg = 1;
    a.Typ = 1;
    RecLen = 3.0f;   // ms: the next capture takes 3000 samples at 1 MHz, the one held has 1000
    Client c(port);
    StateMsg st = Talk<StateMsg>([&] { return ReadState(c); });
    EXPECT_EQ(st.count, 1000);
    EXPECT_EQ(s.Len, 3000);
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, 1000); });
    ASSERT_EQ(r.body.size(), 8000u);
    EXPECT_TRUE(SamplesMatch(r.body, 0, 1000));
    EXPECT_EQ(r.extra, 0u) << "nothing of the memory behind the arrays leaves the program";

    a.Typ = 2;   // the Beryl's Count says 2000 for the next capture
    s.Len = 2000;
    RecLen = 5.0f;
    c.Send("GetNewState");
    st = Talk<StateMsg>([&] { return ReadState(c); });
    EXPECT_EQ(st.count, 1000);
}

TEST_F(RemoteTest, GetNewStateAnswersWithTheCurrentStateAndAFinishedReplyClearsTheFlag)
{
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    SetData(777, 1e5f);
    c.Send("GetNewState");
    StateMsg st = Talk<StateMsg>([&] { return ReadState(c); });
    EXPECT_EQ(st.kind, 3);
    EXPECT_EQ(st.newState, 1);
    EXPECT_EQ(st.count, 777);
    EXPECT_EQ(st.rate, 1e5);
    Talk<Reply>([&] { return FetchSymbols(c, 777); });
    c.Send("GetNewState");
    st = Talk<StateMsg>([&] { return ReadState(c); });
    EXPECT_EQ(st.newState, 0);
    EXPECT_EQ(st.count, 777);
}

TEST_F(RemoteTest, WhileAFileOperationFillsTheDataTheReplyIsEmptyAndAnnouncedSo)
{
    SetData(20000);
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    IoBusy = 1;
    Reply r = Talk<Reply>([&] { return FetchSymbols(c, 0, true); });
    IoBusy = 0;
    EXPECT_EQ(r.before.kind, 3) << "the count the client knows is gone: it is told so";
    EXPECT_EQ(r.before.count, 0);
    EXPECT_EQ(r.header, (std::vector<uint8_t>{2, 0, 0, 0}));
    EXPECT_EQ(r.extra, 0u);
    EXPECT_EQ(NewState, 1) << "the data have not been delivered";
}

TEST_F(RemoteTest, AReadErrorSwitchesTheLampOffAndIsNotedWithoutWaitingForTheUser)
{
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    ASSERT_EQ(Lamp(), 1);
    ASSERT_EQ(DisconnectTCPClient(static_cast<unsigned>(Hdl)), 0);
    cbTCPServer(static_cast<unsigned>(Hdl), TCP_DATAREADY, 0, nullptr);
    EXPECT_EQ(Lamp(), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].kind, "note") << "a peer never gets a dialog that waits";
    EXPECT_EQ(ui_test::Popups()[0].title, "TCP Server");
    EXPECT_EQ(ui_test::Popups()[0].text, "TCP read error!");
}

// A hundred peers that ask for the data and reset their connection at once:
// whatever the server meets (a read that fails, a write into a reset
// connection), the operator gets no dialog to close and the next client is
// served as usual.
TEST_F(RemoteTest, PeersThatResetRightAfterGetSymbolsGetNoDialogOnTheScreen)
{
    SetData(20000);
    std::string fault = Talk<std::string>([&]() -> std::string {
        for (int i = 0; i < 100; ++i) {
            Client c(port);
            if (!c.ok() || !c.Send("GetSymbols"))
                return "client " + std::to_string(i) + " could not ask";
            c.Reset();
        }
        return "";
    });
    EXPECT_EQ(fault, "");
    EXPECT_EQ(Talk<std::string>([&] { return ServesNextClient(port, 20000); }), "");
    for (const ui_test::Popup &p : ui_test::Popups())
        EXPECT_EQ(p.kind, "note") << p.title << ": " << p.text;
}

// "GetNewState" is answered to the client that asked, whichever connected
// last and whether or not that one is still there.
TEST_F(RemoteTest, GetNewStateIsAnsweredOnTheConnectionThatAsked)
{
    SetData(777, 1e5f);
    Client first(port, 3000), last(port, 3000);
    Talk<StateMsg>([&] { return ReadState(first); });
    Talk<StateMsg>([&] { return ReadState(last); });
    ASSERT_TRUE(PumpUntil([&] { return Writes().size() == 2; }));
    first.Send("GetNewState");
    StateMsg st = Talk<StateMsg>([&] { return ReadState(first); });
    EXPECT_TRUE(st.complete);
    EXPECT_EQ(st.count, 777);
    EXPECT_EQ(Talk<size_t>([&] { return last.Quiet(300); }), 0u) << "nothing for the other client";

    last.Close();
    ASSERT_TRUE(PumpUntil([] { return Lamp() == 0; }));
    first.Send("GetNewState");
    st = Talk<StateMsg>([&] { return ReadState(first); });
    EXPECT_TRUE(st.complete) << "the last client has gone; the one asking is still here";
    EXPECT_EQ(st.rate, 1e5);
}

TEST_F(RemoteTest, AClientThatDropsInTheMiddleOfTheLargestReplyLeavesTheServerWorking)
{
    SetData(kLargest);
    {
        Client c(port);
        size_t got = Talk<size_t>([&] {
            ReadState(c);
            c.Send("GetSymbols");
            size_t n = c.Drain(4 + 3000000);
            c.Close();
            return n;
        });
        EXPECT_EQ(got, 4u + 3000000u);
    }
    EXPECT_TRUE(PumpUntil([] { return Lamp() == 0 && ui_test::PanelVisible(hDat) == 0; }));
    EXPECT_EQ(NewState, 1) << "an abandoned reply leaves the data new";
    EXPECT_EQ(IQMem, nullptr);
    EXPECT_TRUE(ui_test::Popups().empty());

    // The next client gets the whole of it.
    Client next(port);
    struct Whole {
        StateMsg st;
        std::vector<uint8_t> head, tail;
        size_t total, extra;
    };
    Whole w = Talk<Whole>([&] {
        Whole x{};
        x.st = ReadState(next);
        next.Send("GetSymbols");
        std::vector<uint8_t> hdr = next.Read(4);
        x.head = next.Read(80000);
        x.total = 4 + x.head.size() + next.Drain(size_t(kLargest) * 8 - 80000 - 80000);
        x.tail = next.Read(80000);
        x.total += x.tail.size();
        x.extra = next.Quiet(200);
        return x;
    });
    EXPECT_EQ(w.st.count, kLargest);
    EXPECT_EQ(w.total, 4 + size_t(kLargest) * 8);
    EXPECT_TRUE(SamplesMatch(w.head, 0, 10000));
    EXPECT_TRUE(SamplesMatch(w.tail, kLargest - 10000, 10000, kLargest - 10000));
    EXPECT_EQ(w.extra, 0u);
    EXPECT_EQ(NewState, 0);
    EXPECT_EQ(Lamp(), 1);
}

TEST_F(RemoteTest, AClientThatStopsReadingIsGivenUpAndTheWindowComesBack)
{
    SetData(kLargest);
    auto stalled = std::make_unique<Client>(port, 20000, 4096);
    Talk<bool>([&] {
        ReadState(*stalled);
        return stalled->Send("GetSymbols");
    });
    // The reply runs inside the event processing below until the time-out.
    EXPECT_TRUE(PumpUntil([] { return Lamp() == 0 && ui_test::PanelVisible(hDat) == 0; }, 60000));
    size_t got = Talk<size_t>([&] { return stalled->Drain(size_t(kLargest) * 8 + 100); });
    EXPECT_LT(got, size_t(kLargest) * 8) << "the reply was cut short";
    stalled.reset();
    EXPECT_EQ(Talk<std::string>([&] { return ServesNextClient(port, kLargest); }), "");
}

TEST_F(RemoteTest, AHundredClientsInARowSomeLeavingMidReplyLeaveTheServerAnswering)
{
    SetData(20000);
    std::string fault = Talk<std::string>([&]() -> std::string {
        for (int i = 0; i < 100; ++i) {
            Client c(port);
            StateMsg st = ReadState(c);
            if (st.kind != 3 || st.count != 20000)
                return "client " + std::to_string(i) + ": no state message";
            c.Send("GetServerID");
            if (c.Read(100).size() != 100)
                return "client " + std::to_string(i) + ": no identity";
            c.Send("GetSymbols");
            const size_t want = i % 3 == 0 ? 70000 : 4 + 160000;
            if (c.Drain(want) != want)
                return "client " + std::to_string(i) + ": short reply";
        }
        return "";
    });
    EXPECT_EQ(fault, "");
    EXPECT_EQ(Talk<std::string>([&] { return ServesNextClient(port, 20000); }), "");
    EXPECT_TRUE(ui_test::Popups().empty());
}

TEST_F(RemoteTest, AConnectionBrokenInTheMiddleIsAbandonedAndTheDataStayNew)
{
    SetData(40000);
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    BreakAtWrite(Writes().size() + 3);   // header, block 0, then block 1 breaks
    size_t got = Talk<size_t>([&] {
        c.Send("GetSymbols");
        return c.Drain(1000000);
    });
    EXPECT_EQ(got, 4u + 64000u);
    EXPECT_EQ(Writes().back().size, 64000u);
    EXPECT_LT(Writes().back().result, 0);
    EXPECT_EQ(Lamp(), 0);
    EXPECT_EQ(NewState, 1);
    EXPECT_EQ(ui_test::PanelVisible(hDat), 0);
    EXPECT_EQ(Talk<std::string>([&] { return ServesNextClient(port, 40000); }), "");
}

#if !defined(__SANITIZE_ADDRESS__)
namespace {

// Address space in use now, from /proc.
long long MappedBytes()
{
    std::ifstream f("/proc/self/statm");
    long long pages = 0;
    f >> pages;
    return pages * sysconf(_SC_PAGESIZE);
}

}  // namespace

TEST_F(RemoteTest, WithoutMemoryForTheSamplesNothingMoreIsSentAndTheUserIsTold)
{
    s.Len = 1 << 30;   // a count without arrays: 4 GiB of zeros per channel
    SRat = 1e6f;
    Client c(port);
    Talk<StateMsg>([&] { return ReadState(c); });
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(MappedBytes() + (1LL << 30));
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    size_t got = Talk<size_t>([&] {
        c.Send("GetSymbols");
        return c.Drain(1000);
    });
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(got, 4u) << "the header, then the connection ends";
    EXPECT_EQ(s.I == nullptr || s.Q == nullptr, true);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].kind, "note");
    EXPECT_EQ(ui_test::Popups()[0].title, "TCP Server");
    EXPECT_NE(ui_test::Popups()[0].text.find("memory"), std::string::npos);
    EXPECT_EQ(Lamp(), 0);
    EXPECT_EQ(ui_test::PanelVisible(hDat), 0);
    EXPECT_EQ(Talk<std::string>([&] { return ServesNextClient(port, 1 << 30); }), "");
}
#endif
