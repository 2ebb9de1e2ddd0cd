// The values a capture holds, bit for bit: each float the simulator sent,
// divided by the scale, in its place in I or Q, on lengths that end inside a
// block and inside a piece of the transfer; again when the arrays of the
// trace before are written over, and after an Abort, where what did not come
// is zero and not what the trace before left there.
#include "common/loopback.h"
#include "tracefixture.h"

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace {

// Jasper: two block pairs and a rest; Beryl: one channel is a piece of the
// transfer and a part of the next.
constexpr int kJasperCount = 2 * kJasperChunk + 12345;
constexpr int kBerylCount = 100003;

// The floats of the block the analyzer on port sends for count samples, as
// they come, read by a plain socket.
std::vector<float> RawBlock(int port, int count)
{
    std::vector<float> data;
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return data;
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const std::string ask = "TRAC:IQ ON\nTRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0," + std::to_string(count) +
                            "\nTRAC:IQ:DATA?\n";
    ::send(fd, ask.data(), ask.size(), MSG_NOSIGNAL);
    char head[12] = {};
    if (::recv(fd, head, 2, MSG_WAITALL) == 2 && ::recv(fd, head + 2, head[1] - '0', MSG_WAITALL) == head[1] - '0') {
        data.resize(size_t(std::atoll(head + 2)) / sizeof(float));
        const size_t bytes = data.size() * sizeof(float);
        if (::recv(fd, data.data(), bytes, MSG_WAITALL) != ssize_t(bytes))
            data.clear();
    }
    ::close(fd);
    return data;
}

// Sample k of channel c in the block's order of floats: all I then all Q,
// or (chunked) pairs of I and Q blocks, then the rest of I and of Q.
size_t WireIndex(int c, size_t k, size_t count, bool chunked)
{
    const size_t chunk = kJasperChunk;
    if (!chunked)
        return c * count + k;
    const size_t full = count / chunk, rest = count % chunk;
    if (k < full * chunk)
        return (k / chunk) * 2 * chunk + c * chunk + k % chunk;
    return 2 * full * chunk + c * rest + (k - full * chunk);
}

bool SameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class ExactTest : public TraceTest {
protected:
    // Where channel c of s first differs from the raw block divided by fkt
    // (the count when nowhere); from there on it must hold zeros only, and
    // *zeros tells whether it does.
    // The first sample of channel c among n that is not the wire's value
    // divided by fkt; *zeros: whether all after it are zero.
    static size_t FirstDifference(const std::vector<float> &raw, int c, bool chunked, bool *zeros, size_t n)
    {
        const float *got = c ? s.Q : s.I;
        size_t k = 0;
        while (k < n && SameBits(got[k], raw[WireIndex(c, k, n, chunked)] / fkt))
            ++k;
        *zeros = true;
        for (size_t j = k; j < n; ++j)
            *zeros = *zeros && SameBits(got[j], 0.0f);
        return k;
    }

    static void ExpectExact(const std::vector<float> &raw, int count, bool chunked)
    {
        ASSERT_EQ(HeldSamples(), count);
        ASSERT_EQ(raw.size(), size_t(count) * 2);
        bool zeros = false;
        EXPECT_EQ(FirstDifference(raw, 0, chunked, &zeros, size_t(count)), size_t(count)) << "I";
        EXPECT_EQ(FirstDifference(raw, 1, chunked, &zeros, size_t(count)), size_t(count)) << "Q";
    }

    void TraceJasper(int count)
    {
        ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, count), 0);
        ASSERT_EQ(Click(TR_TRC), 0);
        ASSERT_EQ(Messages(), "");
    }
};

}  // namespace

TEST_F(ExactTest, AJasperTraceIsTheSimulatorsFloatsDividedByTheScaleAlsoWhenItsArraysAreReused)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    Connect();
    TraceJasper(kJasperCount);
    const float *arrays[2] = {s.I, s.Q};
    const std::vector<float> raw = RawBlock(sim->analyzerPort(), kJasperCount);
    ExpectExact(raw, kJasperCount, true);

    TraceJasper(kJasperCount);
    EXPECT_EQ(s.I, arrays[0]) << "the second trace of the same length was to write over the first";
    EXPECT_EQ(s.Q, arrays[1]);
    ExpectExact(raw, kJasperCount, true);
}

TEST_F(ExactTest, AJasperTraceThroughTheGatewayIsTheSameFloats)
{
    SimProcess lan({"--analyzer", "jasper", "--port", "0"});
    ASSERT_TRUE(lan.started());
    StartAndChoose(DEV_JASPER, "jasper", true);
    Connect();
    TraceJasper(kJasperCount);
    ExpectExact(RawBlock(lan.analyzerPort(), kJasperCount), kJasperCount, true);
}

TEST_F(ExactTest, ABerylTraceIsTheSimulatorsFloatsDividedByTheScale)
{
    StartAnalyzer("beryl");
    UseLan(DEV_BERYL);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, kBerylCount), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(Messages(), "");
    ExpectExact(RawBlock(sim->analyzerPort(), kBerylCount), kBerylCount, false);
}

// At 10 MB/s the block takes close to a second; Abort comes a fifth of a
// second after the progress text appears.  The trace before left its values
// in the same arrays: after the Abort they must be gone.
TEST_F(ExactTest, AfterAnAbortWhatDidNotComeIsZeroAlsoInArraysThatHeldATrace)
{
    StartAnalyzer("jasper", {"--rate", "10"});
    UseLan(DEV_JASPER);
    Connect();
    TraceJasper(kJasperCount);
    const float *arrays[2] = {s.I, s.Q};

    auto done = std::make_shared<bool>(false);
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [done, watch] {
        if (*done)
            return;
        if (Text(hSta, ST_MSG).rfind("Reading IQ values", 0) != 0)
            return ui_test::Post(*watch, 1);
        ui_test::Post([] { ui_test::UserClick(hSta, ST_ABO); }, 200);
    };
    ui_test::Post(*watch, 1);
    TraceJasper(kJasperCount);
    *done = true;
    ASSERT_EQ(s.I, arrays[0]) << "the arrays were to be written over";
    // What is held: the samples whose I and Q both came.
    const size_t held = size_t(HeldSamples());
    EXPECT_GT(held, 0u) << "nothing came before Abort";
    EXPECT_LT(held, size_t(kJasperCount)) << "Abort did not stop the transfer";

    const std::vector<float> raw = RawBlock(sim->analyzerPort(), kJasperCount);
    ASSERT_EQ(raw.size(), size_t(kJasperCount) * 2);
    bool zeros[2] = {};
    const size_t n = size_t(kJasperCount);
    EXPECT_EQ(FirstDifference(raw, 0, true, &zeros[0], n), held);
    EXPECT_EQ(FirstDifference(raw, 1, true, &zeros[1], n), held);
    EXPECT_TRUE(zeros[0]) << "I after sample " << held << " still holds values";
    EXPECT_TRUE(zeros[1]) << "Q after sample " << held << " still holds values";
}
