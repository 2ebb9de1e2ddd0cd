// The GPIB path: sessions through the simulator's "++" gateway.
#include "visa_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {

std::string gatewayEnv(const CheckedSim &sim) { return "127.0.0.1:" + std::to_string(sim.gatewayPort()); }

TEST(VisaGateway, AcquisitionThroughTheGatewayMatchesTheLanPath) {
    std::string dir = tempDir();
    CheckedSim sim({"--gateway", "0", "--at", "20=jasper", "--rlev", "0", "--log", dir + "/jasper.log", "--log-bus"});
    ASSERT_TRUE(sim.started());
    ::setenv("KALMIRA_GPIB_GATEWAY", gatewayEnv(sim).c_str(), 1);
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, "GPIB::20::INSTR", vi), VI_SUCCESS);
    ViUInt16 intf = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_INTF_TYPE, &intf), VI_SUCCESS);
    EXPECT_EQ(intf, VI_INTF_GPIB);
    char idn[101] = {}, opt[256] = {};
    ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "Kalmira-Sim,Jasper,100001/001,1.0");
    ASSERT_EQ(viQueryf(vi, "*OPT?\n", "%s", opt), VI_SUCCESS);
    EXPECT_STREQ(opt, "M34");
    ASSERT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL), VI_SUCCESS);

    ASSERT_EQ(viPrintf(vi, "TRAC:IQ ON\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "TRAC:IQ:SET NORM,%dHz,%dHz,%s,%s,%d,%d;*WAI\n", 50000000, 81600000, "IMM", "POS", 0, 1048586),
              VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 30000), VI_SUCCESS);
    Block b = readIqBlock(vi);
    ASSERT_GE(b.status, VI_SUCCESS);
    EXPECT_EQ(b.header, "#78388688");
    ASSERT_EQ(b.raw.size(), 2u * 1048586);
    std::vector<float> I, Q;
    splitLayout(b.raw, true, I, Q);
    EXPECT_LT(toneError(I, Q, fullScaleOf(0)), 0.02);
    ASSERT_EQ(viPrintf(vi, "TRAC:IQ OFF\n"), VI_SUCCESS);
    viClose(rm);
    ASSERT_TRUE(sim.stop());  // it logs what reached it before it ends
    EXPECT_EQ(readLines(dir + "/jasper.log"),
              (std::vector<std::string>{"*IDN?", "*OPT?", "<GTL>", "TRAC:IQ ON",
                                        "TRAC:IQ:SET NORM,50000000Hz,81600000Hz,IMM,POS,0,1048586;*WAI", "TRAC:IQ:DATA?",
                                        "TRAC:IQ OFF"}));
}

// The gateway gives up on its own read after 3 s; the session asks again
// until its VISA time-out runs out, so a block that waits 5 s for its trigger
// arrives within a 10 s time-out, and a 2.5 s time-out ends at 2.5 s.
TEST(VisaGateway, AReadWaitsForASlowTriggerAsLongAsTheVisaTimeOutSays) {
    CheckedSim sim({"--gateway", "0", "--at", "20=beryl", "--trigger-delay", "5"});
    ASSERT_TRUE(sim.started());
    ::setenv("KALMIRA_GPIB_GATEWAY", gatewayEnv(sim).c_str(), 1);
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, "GPIB::20::INSTR", vi), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "TRAC:IQ ON;TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,4096\n"), VI_SUCCESS);

    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2500), VI_SUCCESS);
    auto t0 = std::chrono::steady_clock::now();
    Block b = readIqBlock(vi);
    const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(b.status, VI_ERROR_TMO);
    EXPECT_GE(waited, 2.4);
    EXPECT_LT(waited, 5.0);
    ASSERT_EQ(viClear(vi), VI_SUCCESS);

    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 10000), VI_SUCCESS);
    b = readIqBlock(vi);
    ASSERT_GE(b.status, VI_SUCCESS);
    EXPECT_EQ(b.header, "#532768");
    ASSERT_EQ(b.raw.size(), 2u * 4096);
    char idn[101] = {};
    ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "Kalmira-Sim,Beryl,100001/001,1.0");
    viClose(rm);
}

// Binary bytes that are the gateway's own control characters must reach
// the generator unchanged; two sessions share the one gateway.
TEST(VisaGateway, WaveformBlockPassesEscapedToTheGenerator) {
    std::string dir = tempDir();
    CheckedSim sim({"--gateway", "0", "--at", "20=beryl", "--at", "28=topaz", "--log", dir + "/topaz.log",
                    "--waveform-out", dir + "/wave.bin"});
    ASSERT_TRUE(sim.started());
    ::setenv("KALMIRA_GPIB_GATEWAY", gatewayEnv(sim).c_str(), 1);
    ViSession rm, ana, gen;
    ASSERT_EQ(openLikeProgram(rm, "GPIB::20::INSTR", ana), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "GPIB::28", VI_NULL, VI_NULL, &gen), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(gen, VI_ATTR_SEND_END_EN, 1), VI_SUCCESS);
    ASSERT_EQ(viPrintf(gen, ":OUTP:DIG ON\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(gen, ":SOUR:CLOC %lf\n", 1000000.0), VI_SUCCESS);

    std::string body = "{TYPE: WV,0}{WAVEFORM-1027: 0,#";
    for (int i = 0; i < 1024; ++i) body += char(i % 256);  // CR, LF, ESC and '+' among them
    body += "\n\r\x1b+}";
    std::string msg = ":MEM:DATA RAM,#" + std::to_string(std::to_string(body.size()).size()) + std::to_string(body.size()) + body;
    ViUInt32 done = 0;
    ASSERT_EQ(viWrite(gen, reinterpret_cast<ViConstBuf>(msg.data()), ViUInt32(msg.size()), &done), VI_SUCCESS);
    EXPECT_EQ(done, msg.size());
    char idn[101] = {};
    ASSERT_EQ(viQueryf(ana, "*IDN?\n", "%100c", idn), VI_SUCCESS);  // the analyzer in between
    EXPECT_STREQ(idn, "Kalmira-Sim,Beryl,100001/001,1.0");
    ASSERT_EQ(viPrintf(gen, ":TRIG;*WAI\n"), VI_SUCCESS);
    char err[64] = {};
    ASSERT_EQ(viQueryf(gen, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "0,\"No error\"");
    viClose(gen);
    viClose(rm);

    std::ifstream f(dir + "/wave.bin", std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, body);
    EXPECT_EQ(readLines(dir + "/topaz.log"),
              (std::vector<std::string>{":OUTP:DIG ON", ":SOUR:CLOC 1000000.000000",
                                        ":MEM:DATA RAM,#41060<block of 1060 bytes>", ":TRIG;*WAI", "SYST:ERR?"}));
}

}  // namespace
