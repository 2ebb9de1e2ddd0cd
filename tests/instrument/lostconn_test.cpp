// An instrument connection lost between two captures (the simulator ended
// and started again on the same port), on the LAN and through the GPIB
// gateway: every failure leaves the Status window hidden and the panel in a
// state whose offered buttons work; and what the Status window and the rate
// field show of a capture.
#include "tracefixture.h"

#include <algorithm>
#include <functional>
#include <memory>

namespace {

constexpr int kCount = 4096;

class LostConnection : public TraceTest, public ::testing::WithParamInterface<bool> {
protected:
    bool Gateway() const { return GetParam(); }

    int Port() const { return Gateway() ? sim->gatewayPort() : sim->analyzerPort(); }

    // The simulator ends and a new one listens on the same port, logging to
    // the same file: to the program, the instrument was switched off and on.
    void RestartSim()
    {
        const std::string port = std::to_string(Port());
        ASSERT_TRUE(sim->stop());
        sim.reset();
        const Lines args = Gateway() ? Lines{"--gateway", port, "--at", "20=beryl", "--log", log}
                                     : Lines{"--analyzer", "beryl", "--port", port, "--log", log};
        sim = std::make_unique<SimProcess>(args);
        ASSERT_TRUE(sim->started());
        Truncate();
    }

    static double DataRate()
    {
        double rate = -1;
        GetCtrlVal(hTrc, TR_DRAT, &rate);
        return rate;
    }

    // Trace IQ usable and Stop Meas dimmed, or the other way round.
    static void ExpectState(bool stuck)
    {
        EXPECT_EQ(ui_test::PanelVisible(hSta), 0);
        EXPECT_EQ(Dimmed(hTrc, TR_TRC), stuck ? 1 : 0);
        EXPECT_EQ(Dimmed(hTrc, TR_BRK), stuck ? 0 : 1);
        EXPECT_EQ(Dimmed(hTrc, TR_TST), 0);
    }
};

}  // namespace

TEST_P(LostConnection, EveryFailureHidesTheStatusWindowAndOffersWhatWorks)
{
    StartAndChoose(DEV_BERYL, "beryl", Gateway());
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, kCount), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(DVal, 1);
    EXPECT_GT(DataRate(), 0.0);
    RestartSim();

    // The session still points at the instrument that went away.
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(Messages(), std::string("[Error] ") + kVisaErrText + "\n");
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(s.I, nullptr);
    // Nothing came of this capture: the figure of the one before is no rate of it.
    EXPECT_EQ(DataRate(), 0.0);
    ExpectState(true);

    // The stop cannot reach the instrument either, and says so.
    ui_test::ClearPopups();
    ASSERT_EQ(Click(TR_BRK), 0);
    EXPECT_EQ(Messages(), std::string("[Error] ") + kVisaErrText + "\n");
    ExpectState(true);

    // A new device test, then the stop, as the panel offers them.
    ui_test::ClearPopups();
    ASSERT_EQ(Click(TR_TST), 0);
    ASSERT_GT(a.Vi, 0u) << Messages();
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);
    Truncate();
    ASSERT_EQ(Click(TR_BRK), 0);
    EXPECT_EQ(Messages(), "");
    ExpectState(false);
    const Lines got = Log(StopLines());
    ASSERT_GE(got.size(), StopLines().size());
    EXPECT_EQ(Lines(got.begin(), got.begin() + 3), StopLines());

    ExpectTraceWorks(kCount);
    ExpectState(false);
}

INSTANTIATE_TEST_SUITE_P(LanAndGateway, LostConnection, ::testing::Bool(),
                         [](const auto &info) { return info.param ? "Gateway" : "Lan"; });

// A long Jasper trace, sent slowly: the percentage in the Status window
// follows the samples that came, not only the pairs of blocks finished.
TEST_F(TraceTest, ProgressFollowsTheSamplesRead)
{
    StartAnalyzer("jasper", {"--rate", "16"});
    UseLan(DEV_JASPER);
    Connect();
    const int count = 2 * kJasperChunk;
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, count), 0);

    struct Seen {
        bool done = false;
        std::vector<int> pcts;
    };
    auto seen = std::make_shared<Seen>();
    auto watch = std::make_shared<std::function<void()>>();
    *watch = [seen, watch] {
        if (seen->done)
            return;
        int pct = -1;
        if (std::sscanf(Text(hSta, ST_MSG).c_str(), "Reading IQ values %d%%", &pct) == 1 &&
            (seen->pcts.empty() || seen->pcts.back() != pct))
            seen->pcts.push_back(pct);
        ui_test::Post(*watch, 1);
    };
    ui_test::Post(*watch, 1);
    ASSERT_EQ(Click(TR_TRC), 0);
    seen->done = true;
    ASSERT_EQ(DVal, 1);
    ASSERT_EQ(s.Len, count);

    const std::vector<int> &p = seen->pcts;
    ASSERT_FALSE(p.empty());
    EXPECT_TRUE(std::is_sorted(p.begin(), p.end())) << ::testing::PrintToString(p);
    // 8 MiB at 16 MB/s: about half a second, watched every millisecond.
    // Within the first block of I (a quarter of the bytes) the figure moves.
    EXPECT_TRUE(std::any_of(p.begin(), p.end(), [](int v) { return v > 0 && v < 25; }))
        << ::testing::PrintToString(p);
    EXPECT_GE(p.size(), size_t(10)) << ::testing::PrintToString(p);
    EXPECT_LE(p.back(), 100);
    EXPECT_GE(p.back(), 90);
}
