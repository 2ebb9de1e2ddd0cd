#include "visa_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

std::string tempDir() {
    std::string tmpl = testing::TempDir() + "visa_XXXXXX";
    if (!::mkdtemp(tmpl.data())) return testing::TempDir();
    return tmpl;
}

std::string lanResource(int port) { return "VMIB::127.0.0.1:" + std::to_string(port) + "::INSTR"; }

ViStatus openLikeProgram(ViSession &rm, const std::string &rsrc, ViSession &vi) {
    ViStatus st = viOpenDefaultRM(&rm);
    if (st == VI_SUCCESS) st = viOpen(rm, rsrc.c_str(), VI_NULL, VI_NULL, &vi);
    if (st == VI_SUCCESS) st = viSetAttribute(vi, VI_ATTR_TMO_VALUE, 10000);
    if (st == VI_SUCCESS) st = viSetBuf(vi, VI_READ_BUF | VI_WRITE_BUF, 4000);
    if (st == VI_SUCCESS) st = viSetAttribute(vi, VI_ATTR_WR_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
    if (st == VI_SUCCESS) st = viSetAttribute(vi, VI_ATTR_RD_BUF_OPER_MODE, VI_FLUSH_ON_ACCESS);
    return st;
}

double fullScaleOf(double rlevDbm) { return std::sqrt(50.0 * std::pow(10.0, (rlevDbm - 30.0) / 10.0)); }

Block readIqBlock(ViSession vi) {
    Block b;
    b.status = viPrintf(vi, "TRAC:IQ:DATA?\n");
    if (b.status != VI_SUCCESS) return b;
    char head[16] = {};
    ViUInt32 got = 0;
    b.status = viRead(vi, reinterpret_cast<ViPBuf>(head), 2, &got);
    if (b.status < 0) return b;
    int digits = head[1] - '0';
    if (head[0] != '#' || digits < 1 || digits > 9) {
        b.header = std::string(head, got);
        return b;
    }
    b.status = viRead(vi, reinterpret_cast<ViPBuf>(head + 2), ViUInt32(digits), &got);
    b.header = head;
    if (b.status < 0) return b;
    long long bytes = std::atoll(head + 2);
    if (bytes > (256LL << 20)) return b;  // more than any test asks for
    b.raw.resize(size_t(bytes / 4));
    b.status = viRead(vi, reinterpret_cast<ViPBuf>(b.raw.data()), ViUInt32(b.raw.size() * 4), &got);
    b.raw.resize(got / 4);
    return b;
}

void splitLayout(const std::vector<float> &raw, bool chunked, std::vector<float> &I, std::vector<float> &Q) {
    const size_t n = raw.size() / 2, chunk = 524288;
    I.assign(n, 0.0f);
    Q.assign(n, 0.0f);
    size_t f = 0, done = 0;
    if (chunked) {
        for (; done + chunk <= n; done += chunk) {
            for (size_t j = 0; j < chunk; ++j) I[done + j] = raw[f++];
            for (size_t j = 0; j < chunk; ++j) Q[done + j] = raw[f++];
        }
    }
    for (size_t j = done; j < n; ++j) I[j] = raw[f++];
    for (size_t j = done; j < n; ++j) Q[j] = raw[f++];
}

double toneError(const std::vector<float> &I, const std::vector<float> &Q, double fkt) {
    double worst = 0;
    for (size_t n = 0; n < I.size(); ++n) {
        double ph = 2.0 * M_PI * double(n % 16) / 16.0;
        worst = std::max(worst, std::fabs(I[n] / fkt - 0.9 * std::cos(ph)));
        worst = std::max(worst, std::fabs(Q[n] / fkt - 0.9 * std::sin(ph)));
    }
    return worst;
}

int main(int argc, char **argv) {
    // The tests exercise the built-in transports, whatever VISA is installed.
    ::setenv("KALMIRA_VISA_LIBRARY", "builtin", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
