// The waveform transfer to the Topaz generator of kalmira-sim, at a GPIB
// address behind its gateway, from the Load panel's button as a person uses it.
#include "files/loadpanel.h"
#include "remote/topaz.h"
#include "remote_fixture.h"
#include "common/panels_fixture.h"
#include "common/sim_process.h"
#include "common/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int kTopazAdr = 28;

class TopazTest : public RemoteTest {
protected:
    fs::path dir;
    std::unique_ptr<SimProcess> sim;

    void SetUp() override
    {
#ifndef KALMIRA_SIM_PATH
        GTEST_SKIP() << "kalmira-sim is not built";
#endif
        RemoteTest::SetUp();
        dir = FreshTestDir("kalmira-topaz");
        sim = std::make_unique<SimProcess>(std::vector<std::string>{
            "--gateway", "0", "--at", std::to_string(kTopazAdr) + "=topaz", "--log", (dir / "log").string(),
            "--waveform-out", (dir / "wave").string()});
        ASSERT_TRUE(sim->started());
        setenv("KALMIRA_GPIB_GATEWAY", ("127.0.0.1:" + std::to_string(sim->gatewayPort())).c_str(), 1);
    }

    void TearDown() override
    {
        sim.reset();
        unsetenv("KALMIRA_GPIB_GATEWAY");
        fs::remove_all(dir);
        RemoteTest::TearDown();
    }

    // Loads two UInt16 word files through the Load panel, as the generator's
    // data come, at the given rate.
    void LoadWords(const std::string &i, const std::string &q, double rate)
    {
        std::ofstream(dir / "w.i") << i;
        std::ofstream(dir / "w.q") << q;
        ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 20), 0);
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, (dir / "w.i").string());
        ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, (dir / "w.q").string());
        ASSERT_EQ(ui_test::UserClick(hLod, LO_Q), 0);
        ASSERT_EQ(ui_test::UserSetVal(hLod, LO_FRQ, rate), 0);
        ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
        ASSERT_EQ(DVal, 1);
    }

    void Transmit(int adr)
    {
        ASSERT_EQ(ui_test::UserSetVal(hLod, LO_ADR, adr), 0);
        ASSERT_EQ(ui_test::UserClick(hLod, LO_TRA), 0);
    }

    std::string Log() const { return FileText(dir / "log"); }
    std::string Wave() const { return FileText(dir / "wave"); }
};

}  // namespace

TEST_F(TopazTest, OneSampleGoesAsA33ByteBlockWithTheClockAndTheTrigger)
{
    LoadWords("1\n", "2\n", 1e6);
    Transmit(kTopazAdr);
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);

    const std::string block = std::string("{TYPE: WV,0}{WAVEFORM-7: 0,#") + std::string("\x01\x00\x02\x00", 4) + "}";
    ASSERT_EQ(block.size(), 33u);
    EXPECT_EQ(Wave(), block);
    const std::string log = Log();
    const size_t out = log.find(":OUTP:DIG ON\n");
    const size_t clock = log.find(":SOUR:CLOC 1000000.000000\n");
    const size_t data = log.find(":MEM:DATA RAM,#233<block of 33 bytes>\n");
    const size_t trig = log.find(":TRIG");
    ASSERT_NE(out, std::string::npos) << log;
    ASSERT_NE(clock, std::string::npos) << log;
    ASSERT_NE(data, std::string::npos) << log;
    ASSERT_NE(trig, std::string::npos) << log;
    EXPECT_TRUE(out < clock && clock < data && data < trig) << log;
    EXPECT_NE(log.find("*OPC?\n", trig), std::string::npos) << "the generator confirms it runs";
}

TEST_F(TopazTest, AThousandSamplesGiveA4032ByteBlockAndBothEndsOfTheRangeAreFFFF)
{
    std::string i = "65535\n", q = "-1\n";
    for (int k = 1; k < 1000; ++k) {
        i += std::to_string(k) + "\n";
        q += std::to_string(-32768 + k) + "\n";
    }
    LoadWords(i, q, 2.5e6);
    ASSERT_EQ(s.Len, 1000);
    Transmit(kTopazAdr);
    EXPECT_TRUE(MessageTexts().empty()) << MessageTexts().front();
    EXPECT_NE(Log().find(":MEM:DATA RAM,#44032<block of 4032 bytes>\n"), std::string::npos) << Log();
    EXPECT_NE(Log().find(":SOUR:CLOC 2500000.000000\n"), std::string::npos);

    const std::string wave = Wave();
    ASSERT_EQ(wave.rfind("{TYPE: WV,0}{WAVEFORM-4003: 0,#", 0), 0u);
    const std::string words = wave.substr(31);
    ASSERT_EQ(words.size(), 4001u);
    EXPECT_EQ(words.substr(0, 4), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(words.substr(4, 4), std::string("\x01\x00\x01\x80", 4));       // 1 and -32767
    EXPECT_EQ(words.substr(3996, 4), std::string("\xE7\x03\xE7\x83", 4));    // 999 and -31769
    EXPECT_EQ(words.back(), '}');
}

TEST_F(TopazTest, AMissingGeneratorOrGatewayGivesTheAddressMessage)
{
    LoadWords("1\n2\n", "3\n4\n", 1e6);
    Transmit(5);   // nothing at GPIB address 5
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_EQ(MessageTexts()[0].rfind("Error: Please check Topaz address or GPIB cables.", 0), 0u) << MessageTexts()[0];
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);

    ui_test::ClearPopups();
    sim.reset();
    Transmit(kTopazAdr);
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_EQ(MessageTexts()[0].rfind("Error: Please check Topaz address or GPIB cables.", 0), 0u) << MessageTexts()[0];
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);
}

TEST_F(TopazTest, ASampleThatIsNoWordIsNamedAndNothingIsSent)
{
    LoadWords("1\n2\n3\n", "4\n70000\n6\n", 1e6);
    Transmit(kTopazAdr);
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_NE(MessageTexts()[0].find("Sample 1 "), std::string::npos) << MessageTexts()[0];
    EXPECT_EQ(Log(), "") << "the generator was not even addressed";
    EXPECT_FALSE(fs::exists(dir / "wave"));
    EXPECT_EQ(ui_test::PanelVisible(hSta), 0);

    // A fractional word is truncated, as the generator's data always were.
    ui_test::ClearPopups();
    LoadWords("1.9\n", "-0.5\n", 1e6);
    Transmit(kTopazAdr);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(Wave(), std::string("{TYPE: WV,0}{WAVEFORM-7: 0,#\x01\x00\x00\x00}", 33));
}
