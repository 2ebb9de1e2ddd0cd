// Faults of the instrument end in VISA error statuses within the time-out,
// and the session (or a new one) is usable afterwards.
#include "visa_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

enum class Path { Lan, Gateway };

struct FaultCase {
    const char *fault;
    Path path;
};

std::vector<std::string> simArgs(const FaultCase &c) {
    if (c.path == Path::Lan) return {"--analyzer", "beryl", "--port", "0", "--fault", c.fault};
    return {"--gateway", "0", "--at", "20=beryl", "--fault", c.fault};
}

ViStatus openFor(const CheckedSim &sim, Path path, ViSession &rm, ViSession &vi) {
    if (path == Path::Lan) return openLikeProgram(rm, lanResource(sim.analyzerPort()), vi);
    ::setenv("KALMIRA_GPIB_GATEWAY", ("127.0.0.1:" + std::to_string(sim.gatewayPort())).c_str(), 1);
    return openLikeProgram(rm, "GPIB::20::INSTR", vi);
}

ViStatus startCapture(ViSession vi) {
    ViStatus st = viPrintf(vi, "TRAC:IQ ON\n");
    if (st == VI_SUCCESS) st = viPrintf(vi, "TRAC:IQ:SET NORM,10000000Hz,32000000Hz,IMM,POS,0,65536;*WAI\n");
    if (st == VI_SUCCESS) st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, 700);
    return st;
}

// The session still answers, and the second capture (undamaged) is whole.
void expectUsable(ViSession vi) {
    char idn[101] = {};
    EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
    EXPECT_STREQ(idn, "Kalmira-Sim,Beryl,100001/001,1.0");
    Block b = readIqBlock(vi);
    EXPECT_GE(b.status, VI_SUCCESS);
    EXPECT_EQ(b.header, "#6524288");
    EXPECT_EQ(b.raw.size(), 2u * 65536);
}

void PrintTo(const FaultCase &c, std::ostream *os) { *os << c.fault << (c.path == Path::Lan ? " LAN" : " gateway"); }

class VisaFault : public testing::TestWithParam<FaultCase> {};

TEST_P(VisaFault, EndsInAVisaErrorWithinTheTimeout) {
    const FaultCase &c = GetParam();
    CheckedSim sim(simArgs(c));
    ASSERT_TRUE(sim.started());
    ViSession rm, vi;
    ASSERT_EQ(openFor(sim, c.path, rm, vi), VI_SUCCESS);
    ASSERT_EQ(startCapture(vi), VI_SUCCESS);
    auto t0 = std::chrono::steady_clock::now();
    Block b = readIqBlock(vi);
    // It ends: never a hang.  The bound is generous; speed is not the point.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60));
    std::string f = c.fault;
    if (f == "stall") {
        EXPECT_EQ(b.status, VI_ERROR_TMO);
        expectUsable(vi);
    } else if (f == "short") {
        EXPECT_EQ(b.status, VI_ERROR_TMO);
        EXPECT_EQ(b.raw.size(), 65536u);  // half of the block came
        expectUsable(vi);
    } else if (f == "drop") {
        EXPECT_EQ(b.status, VI_ERROR_CONN_LOST);
        EXPECT_EQ(viPrintf(vi, "*IDN?\n"), VI_ERROR_CONN_LOST);
        viClose(rm);
        ASSERT_EQ(openFor(sim, c.path, rm, vi), VI_SUCCESS);  // a new device test works
        ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000), VI_SUCCESS);
        expectUsable(vi);
    } else if (f == "badheader") {
        EXPECT_EQ(b.header, "#X");
    } else if (f == "hugecount") {
        EXPECT_EQ(b.header, "#9999999999");  // the layer delivers it; judging it is the caller's part
    } else if (f == "oddcount") {
        EXPECT_EQ(b.header, "#6524285");
    }
    viClose(rm);
}

INSTANTIATE_TEST_SUITE_P(Faults, VisaFault,
                         testing::Values(FaultCase{"stall", Path::Lan}, FaultCase{"stall", Path::Gateway},
                                         FaultCase{"short", Path::Lan}, FaultCase{"short", Path::Gateway},
                                         FaultCase{"drop", Path::Lan}, FaultCase{"drop", Path::Gateway},
                                         FaultCase{"badheader", Path::Lan}, FaultCase{"hugecount", Path::Gateway},
                                         FaultCase{"oddcount", Path::Lan}),
                         [](const auto &info) {
                             return std::string(info.param.fault) + (info.param.path == Path::Lan ? "Lan" : "Gateway");
                         });

TEST(VisaFault, AMuteInstrumentTimesOutOnItsFirstQuery) {
    CheckedSim sim({"--analyzer", "coral", "--port", "0", "--fault", "mute"});
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    char idn[101] = {};
    EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_ERROR_TMO);
    EXPECT_STREQ(idn, "");
    viClose(rm);
}

TEST(VisaFault, ErrorReplyInsteadOfABlock) {
    CheckedSim sim({"--analyzer", "beryl", "--port", "0", "--fault", "error"});
    ViSession rm, vi;
    ASSERT_EQ(openLikeProgram(rm, lanResource(sim.analyzerPort()), vi), VI_SUCCESS);
    ASSERT_EQ(startCapture(vi), VI_SUCCESS);
    Block b = readIqBlock(vi);
    EXPECT_EQ(b.header, "-2");
    char err[64] = {};
    ASSERT_EQ(viQueryf(vi, "SYST:ERR?\n", "%t", err), VI_SUCCESS);
    EXPECT_STREQ(err, "-221,\"Settings conflict\"");
    viClose(rm);
}

// An acquisition abandoned after its first chunk: a device clear drops the
// rest, so the next exchange starts clean.
TEST(VisaFault, ClearAfterAnAbortedBlockRead) {
    for (Path path : {Path::Lan, Path::Gateway}) {
        SCOPED_TRACE(path == Path::Lan ? "LAN" : "gateway");
        std::vector<std::string> args = path == Path::Lan ? std::vector<std::string>{"--analyzer", "jasper", "--port", "0"}
                                                          : std::vector<std::string>{"--gateway", "0", "--at", "20=jasper"};
        CheckedSim sim(args);
        ViSession rm, vi;
        ASSERT_EQ(openFor(sim, path, rm, vi), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, "TRAC:IQ ON\n"), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, "TRAC:IQ:SET NORM,50000000Hz,81600000Hz,IMM,POS,0,%d;*WAI\n", 4194304), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, "TRAC:IQ:DATA?\n"), VI_SUCCESS);
        std::vector<char> chunk(2 + 8 + 2097152);
        ViUInt32 got = 0;
        ASSERT_GE(viRead(vi, reinterpret_cast<ViPBuf>(chunk.data()), ViUInt32(chunk.size()), &got), VI_SUCCESS);
        EXPECT_EQ(std::string(chunk.data(), 10), "#833554432");
        ASSERT_EQ(viClear(vi), VI_SUCCESS);
        char idn[101] = {};
        ASSERT_EQ(viQueryf(vi, "*IDN?\n", "%100c", idn), VI_SUCCESS);
        EXPECT_STREQ(idn, "Kalmira-Sim,Jasper,100001/001,1.0");
        viClose(rm);
    }
}

// A peer that accepted the connection in the kernel but never reads: the
// write runs out of room and ends with the time-out instead of blocking.
TEST(VisaFault, WriteToAPeerThatNeverReadsTimesOut) {
    int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(lfd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(lfd, 1), 0);
    ::getsockname(lfd, reinterpret_cast<sockaddr *>(&a), &len);
    std::string rsrc = "TCPIP0::127.0.0.1::" + std::to_string(ntohs(a.sin_port)) + "::SOCKET";
    ViSession rm, vi;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, rsrc.c_str(), 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
    std::vector<ViByte> big(size_t(64) << 20, 'x');
    ViUInt32 done = 0;
    EXPECT_EQ(viWrite(vi, big.data(), ViUInt32(big.size()), &done), VI_ERROR_TMO);
    EXPECT_LT(done, big.size());  // what the socket took before it filled
    ViByte b;
    EXPECT_EQ(viRead(vi, &b, 1, &done), VI_ERROR_TMO);
    viClose(rm);
    ::close(lfd);
}

}  // namespace
