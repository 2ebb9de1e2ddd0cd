// The LAN path: raw SCPI socket sessions against kalmira-sim analyzers.
#include "visa_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sys/wait.h>

namespace {

TEST(VisaOpen, ResourcesThatCannotBeOpenedGiveVisaStatuses) {
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    EXPECT_STREQ(kalVisaBackend(), "builtin");
    EXPECT_EQ(viOpen(rm, "", 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm, "GPIB::31::INSTR", 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(viOpen(rm, "VMIB::127.0.0.1:99999::INSTR", 0, 0, &vi), VI_ERROR_INV_RSRC_NAME);
    EXPECT_EQ(vi, 0u);
    ::unsetenv("KALMIRA_GPIB_GATEWAY");
    EXPECT_EQ(viOpen(rm, "GPIB::20::INSTR", 0, 0, &vi), VI_ERROR_RSRC_NFOUND);
    // A port nobody listens on: the connection is refused at once.
    CheckedSim sim({"--analyzer", "beryl", "--port", "0"});
    int port = sim.analyzerPort();
    ASSERT_TRUE(sim.stop());
    EXPECT_EQ(viOpen(rm, lanResource(port).c_str(), 0, 0, &vi), VI_ERROR_RSRC_NFOUND);
    EXPECT_EQ(viClose(VI_NULL), VI_WARN_NULL_OBJECT);
    EXPECT_EQ(viClose(12345678), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viPrintf(12345678, "*IDN?\n"), VI_ERROR_INV_OBJECT);
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
}

TEST(VisaLan, DeviceTestQueriesAndAttributes) {
    CheckedSim sim({"--analyzer", "jasper", "--port", "0", "--options", "B4,M34X,K7", "--mode", "3", "--rlev", "-12.5",
                    "--freq", "1.5e9", "--att", "20", "--idn", "VM,Jasper,1234,4.37 SP1"});
    ASSERT_TRUE(sim.started());
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);

    char idn[101] = {};
    ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "VM,Jasper,1234,4.37 SP1");  // blanks kept, terminator not
    char opt[256] = {};
    ASSERT_EQ(viQueryf(vi, "*OPT?\n", "%s", opt), VI_SUCCESS);
    EXPECT_STREQ(opt, "B4,M34X,K7");
    float lev = 0, att = 0;
    ASSERT_EQ(viQueryf(vi, "DISP:TRAC:Y:RLEV?\n", "%f", &lev), VI_SUCCESS);
    EXPECT_FLOAT_EQ(lev, -12.5f);
    char frq[101] = {};
    ASSERT_EQ(viQueryf(vi, "FREQ:CENT?\n", "%s", frq), VI_SUCCESS);
    EXPECT_DOUBLE_EQ(std::atof(frq), 1.5e9);
    ASSERT_EQ(viQueryf(vi, "INP:ATT?\n", "%f", &att), VI_SUCCESS);
    EXPECT_FLOAT_EQ(att, 20.0f);
    int mode = 0;
    // The write format takes its own arguments before the read arguments.
    ASSERT_EQ(viQueryf(vi, "%s\n", "%d", "INST:NSEL?", &mode), VI_SUCCESS);
    EXPECT_EQ(mode, 3);
    double d = 0;
    EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%lf", &d), VI_ERROR_INV_FMT);  // a reply that is no number
    EXPECT_EQ(viPrintf(vi, "%b", 5), VI_ERROR_NSUP_FMT);

    ViUInt16 intf = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_INTF_TYPE, &intf), VI_SUCCESS);
    EXPECT_EQ(intf, VI_INTF_TCPIP);
    ViUInt32 tmo = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_TMO_VALUE, &tmo), VI_SUCCESS);
    EXPECT_EQ(tmo, 10000u);
    ViSession owner = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RM_SESSION, &owner), VI_SUCCESS);
    EXPECT_EQ(owner, rm);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_REMOTE, 0), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_LOCAL_AFTER_RESET, 1), VI_SUCCESS);
    EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL), VI_ERROR_NSUP_OPER);
    EXPECT_EQ(ibInstallCallback(int(vi), 0, nullptr, nullptr) & 0x8000, 0);
    // Closing the resource manager closes its sessions.
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    EXPECT_EQ(viPrintf(vi, "*CLS\n"), VI_ERROR_INV_OBJECT);
}

// The maker's LAN protocol attributes reach a "VMIB" instrument as its
// interface messages; a plain socket instrument is not bothered with them.
TEST(VisaLan, LocalAndRemoteReachTheInstrumentAsInterfaceMessages) {
    std::string dir = tempDir();
    CheckedSim sim({"--analyzer", "beryl", "--port", "0", "--log", dir + "/beryl.log", "--log-bus"});
    ASSERT_TRUE(sim.started());
    ViSession rm, vi, sock;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);
    const std::string socket = "TCPIP::127.0.0.1::" + std::to_string(sim.analyzerPort()) + "::SOCKET";
    ASSERT_EQ(viOpen(rm, socket.c_str(), VI_NULL, VI_NULL, &sock), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(sock, KAL_ATTR_LAN_REMOTE, 0), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_REMOTE, 1), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_REMOTE, 0), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_LOCAL_AFTER_RESET, 0), VI_SUCCESS);
    EXPECT_EQ(viSetAttribute(vi, KAL_ATTR_LAN_LOCAL_AFTER_RESET, 1), VI_SUCCESS);
    char err[64] = {};
    ASSERT_EQ(viQueryf(vi, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "0,\"No error\"");  // no SCPI
    viClose(rm);
    ASSERT_TRUE(sim.stop());
    EXPECT_EQ(readLines(dir + "/beryl.log"), (std::vector<std::string>{"<GTR>", "<GTL>", "<GTL>", "SYST:ERR?"}));
}

TEST(VisaLan, PrintfFormatsCommandsAsTheAcquisitionSendsThem) {
    std::string dir = tempDir();
    CheckedSim sim({"--analyzer", "beryl", "--port", "0", "--log", dir + "/beryl.log", "--analyzer", "agate", "--port",
                    "0", "--log", dir + "/agate.log"});
    ASSERT_TRUE(sim.started());
    ViSession rm, ber, agt;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort(0)), ber), VI_SUCCESS);
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort(1)), agt), VI_SUCCESS);
    float rbw = 10e6f, srat = 32e6f;
    int pre = 0, len = 65536;
    ASSERT_EQ(viPrintf(ber, "TRAC:IQ:SET NORM,%dHz,%dHz,%s,%s,%d,%d;*WAI\n", int(rbw), int(srat), "IMM", "POS", pre, len),
              VI_SUCCESS);
    ASSERT_EQ(viPrintf(ber, "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG';*WAI"), VI_SUCCESS);  // line feed added
    ASSERT_EQ(viPrintf(ber, "%-4s|%5.1f|%x|%c|%%|%lld", "ab", 2.25, 255u, 'Z', 1234567890123LL), VI_SUCCESS);
    ASSERT_EQ(viPrintf(agt, "TRAC:IQ:SET RAW,8MHz,%dHz,%s,%s,%0.2lfms,%0.4lfms;*WAI\n", int(srat), "IMM", "POS", 0.0, 1.0),
              VI_SUCCESS);
    char err[64] = {};
    ASSERT_EQ(viQueryf(ber, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "-113,\"Undefined header\"");  // the line of formats is no command
    ASSERT_EQ(viQueryf(agt, "TRAC:IQ:SET?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "RAW,8000000,32000000,IMM,POS,0,32000");
    viClose(rm);
    EXPECT_EQ(readLines(dir + "/beryl.log"),
              (std::vector<std::string>{"TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,65536;*WAI",
                                        "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG';*WAI", "ab  |  2.2|ff|Z|%|1234567890123",
                                        "SYST:ERR?"}));
    EXPECT_EQ(readLines(dir + "/agate.log"),
              (std::vector<std::string>{"TRAC:IQ:SET RAW,8MHz,32000000Hz,IMM,POS,0.00ms,1.0000ms;*WAI", "TRAC:IQ:SET?"}));
}

struct ModelCase {
    const char *model;
    int count;
    bool chunked;
    double scale;  // the Agate's values are a thousand times larger
};

void PrintTo(const ModelCase &c, std::ostream *os) { *os << c.model << " " << c.count; }

class VisaLanBlock : public testing::TestWithParam<ModelCase> {};

// A capture as the acquisition does it: settings, then the block by raw
// reads; the samples divided by fkt give the simulator's tone at 0.9 of
// full scale in the model's layout.
TEST_P(VisaLanBlock, CaptureArrivesInTheModelsLayoutAtFullScale) {
    const ModelCase &c = GetParam();
    CheckedSim sim({"--analyzer", c.model, "--port", "0", "--rlev", "30"});
    ASSERT_TRUE(sim.started());
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "TRAC:IQ ON\n"), VI_SUCCESS);
    if (std::string(c.model) == "agate")
        ASSERT_EQ(viPrintf(vi, "TRAC:IQ:SET RAW,8MHz,%dHz,IMM,POS,0.00ms,%0.4lfms;*WAI\n", 32000000, c.count / 32000.0), VI_SUCCESS);
    else
        ASSERT_EQ(viPrintf(vi, "TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,%d;*WAI\n", c.count), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 30000), VI_SUCCESS);
    Block b = readIqBlock(vi);
    ASSERT_GE(b.status, VI_SUCCESS);
    std::string len = std::to_string(int64_t(c.count) * 8);
    EXPECT_EQ(b.header, std::string("#") + std::to_string(len.size()) + len);
    ASSERT_EQ(b.raw.size(), size_t(c.count) * 2);
    std::vector<float> I, Q;
    splitLayout(b.raw, c.chunked, I, Q);
    EXPECT_LT(toneError(I, Q, fullScaleOf(30) * c.scale), 0.02);
    // The terminator after the block is left unread; the next reply is clean.
    char idn[101] = {};
    EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_NE(std::strstr(idn, "Sim"), nullptr);
    viClose(rm);
}

INSTANTIATE_TEST_SUITE_P(Models, VisaLanBlock,
                         testing::Values(ModelCase{"agate", 32000, false, 1000.0}, ModelCase{"beryl", 65536, false, 1.0},
                                         ModelCase{"coral", 523776, false, 1.0}, ModelCase{"onyx", 130560, false, 1.0},
                                         ModelCase{"jasper", 524288, false, 1.0},
                                         ModelCase{"jasper", 1048576 + 10, true, 1.0}),
                         [](const auto &info) { return std::string(info.param.model) + std::to_string(info.param.count); });

TEST(VisaLan, SimulatorKeepsStateAcrossTheStopSequence) {
    std::string dir = tempDir();
    CheckedSim sim({"--analyzer", "onyx", "--port", "0", "--rlev", "-20", "--log", dir + "/onyx.log"});
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);
    float lev = 0;
    char err[64] = {};
    ASSERT_EQ(viPrintf(vi, "MMEM:STOR:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG';*WAI\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "DISP:TRAC:Y:RLEV 5\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "*RST;*CLS\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "DISP:TRAC:Y:RLEV 7\n"), VI_SUCCESS);
    ASSERT_EQ(viPrintf(vi, "MMEM:LOAD:STAT 1,'D:\\USER\\DATA\\IQCFG.CFG'\n"), VI_SUCCESS);
    ASSERT_EQ(viQueryf(vi, "DISP:TRAC:Y:RLEV?\n", "%f", &lev), VI_SUCCESS);
    EXPECT_FLOAT_EQ(lev, -20.0f);
    ASSERT_EQ(viQueryf(vi, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "0,\"No error\"");
    // A setup that was never stored, and a data query while capture is off.
    ASSERT_EQ(viPrintf(vi, "MMEM:LOAD:STAT 1,'C:\\USER\\CONFIG\\IQCFG.CFG'\n"), VI_SUCCESS);
    ASSERT_EQ(viQueryf(vi, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "-256,\"File name not found\"");
    ASSERT_EQ(viPrintf(vi, "TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,130561;*WAI\n"), VI_SUCCESS);
    ASSERT_EQ(viQueryf(vi, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "-222,\"Data out of range\"");  // beyond the Onyx's record
    viClose(rm);
    auto log = readLines(dir + "/onyx.log");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[2], "*RST;*CLS");
}

TEST(VisaLan, JasperBasebandInputsNeedTheOption) {
    CheckedSim sim({"--analyzer", "jasper", "--port", "0", "--options", "B4", "--mode", "2", "--analyzer", "jasper",
                    "--port", "0"});
    ViSession rm, bare, m34;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort(0)), bare), VI_SUCCESS);
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort(1)), m34), VI_SUCCESS);
    char err[64] = {}, mode[16] = {};
    for (ViSession vi : {bare, m34}) ASSERT_EQ(viPrintf(vi, "INP:SEL %s\n", "AIQ"), VI_SUCCESS);
    ASSERT_EQ(viQueryf(bare, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "-241,\"Hardware missing\"");
    ASSERT_EQ(viQueryf(m34, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "0,\"No error\"");
    ASSERT_EQ(viQueryf(bare, "INST:NSEL?\n", "%15s", mode), VI_SUCCESS);
    EXPECT_STREQ(mode, "2");
    ASSERT_EQ(viPrintf(bare, "INST:NSEL 1\n"), VI_SUCCESS);
    ASSERT_EQ(viQueryf(bare, "INST:NSEL?\n", "%15s", mode), VI_SUCCESS);
    EXPECT_STREQ(mode, "1");
    viClose(rm);
}

// The simulator explains itself, and refuses what it does not understand.
TEST(SimCommandLine, HelpAndBadOptions) {
    FILE *p = ::popen(KALMIRA_SIM_PATH " --help", "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    for (const char *word : {"--analyzer", "--gateway", "--at", "--options", "--mode", "--rlev", "--freq", "--att", "--log",
                             "--waveform-out", "--fault", "stall", "drop", "short", "badheader", "KALMIRA_GPIB_GATEWAY"})
        EXPECT_NE(text.find(word), std::string::npos) << word;
    for (const char *bad : {" --analyzer quartz", " --analyzer beryl --fault melt", " --at 20=beryl", " --port 5025", ""}) {
        int status = std::system((std::string(KALMIRA_SIM_PATH) + bad + " 2>/dev/null").c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << bad;
    }
}

}  // namespace
