// The trace held keeps the sample rate it was captured at: after a capture
// the settings panel's rate is the next capture's, and only that capture
// changes what a client is told, what the spectrum's axis uses and what a
// saved recording says.
#include "tracefixture.h"

#include "common/loopback.h"
#include "common/test_files.h"
#include "files/savepanel.h"
#include "remote/tcpserver.h"
#include "shell/spectrumview.h"

#include <poll.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSigMF = 24;
constexpr int kCount = 4096;

struct StateSeen {
    int count = -1;
    double rate = -1;
};

class HeldRateTest : public TraceTest {
protected:
    int port = -1, client = -1;

    void TearDown() override
    {
        if (client >= 0)
            ::close(client);
        if (port > 0)
            UnregisterTCPServer(unsigned(port));
        Hdl = 0;
        TraceTest::TearDown();
    }

    // A client program connected to the program's server.
    void ConnectClient()
    {
        for (int i = 0; i < 5 && port <= 0; ++i) {
            const int p = FreePort();
            if (p > 0 && RegisterTCPServer(unsigned(p), cbTCPServer, nullptr) == 0)
                port = p;
        }
        ASSERT_GT(port, 0);
        client = ConnectLoopback(port);
        ASSERT_GE(client, 0);
        for (int i = 0; i < 2000 && Hdl == 0; ++i) {
            ProcessSystemEvents();
            ::usleep(1000);
        }
        ASSERT_NE(Hdl, 0);
    }

    // The last state message among those that came to the client.
    StateSeen LastState()
    {
        std::vector<uint8_t> bytes;
        pollfd p{client, POLLIN, 0};
        uint8_t buf[4096];
        while (::poll(&p, 1, 200) > 0) {
            const ssize_t n = ::read(client, buf, sizeof buf);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buf, buf + n);
        }
        StateSeen seen;
        for (size_t at = 0; at + 20 <= bytes.size(); at += 20) {
            int32_t kind = 0;
            std::memcpy(&kind, &bytes[at], 4);
            EXPECT_EQ(kind, 3) << "not a state message at byte " << at;
            std::memcpy(&seen.count, &bytes[at + 8], 4);
            std::memcpy(&seen.rate, &bytes[at + 12], 8);
        }
        return seen;
    }

    static double SavedRate(const std::string &meta)
    {
        const std::string text = FileText(meta);
        const auto at = text.find("\"core:sample_rate\": ");
        return at == std::string::npos ? -1 : std::atof(text.c_str() + at + 20);
    }

    void SaveSigMF(const std::string &path)
    {
        ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, kSigMF), 0);
        ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, path);
        ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
        ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
        ASSERT_EQ(Messages(), "");
    }
};

}  // namespace

TEST_F(HeldRateTest, ACaptureKeepsItsRateWhenThePanelsRateChanges)
{
    StartAnalyzer("jasper");
    UseLan(DEV_JASPER);
    Connect();
    ConnectClient();
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, kCount), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_SRAT, 10000.0), 0);
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(Messages(), "");
    ASSERT_EQ(HeldSamples(), kCount);
    StateSeen seen = LastState();
    EXPECT_EQ(seen.count, kCount);
    EXPECT_EQ(seen.rate, 1e7);

    // The next capture's rate and count.
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_SRAT, 20000.0), 0);
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, 2 * kCount), 0);
    EXPECT_EQ(SRat, 2e7f);
    seen = LastState();
    EXPECT_EQ(seen.count, kCount);
    EXPECT_EQ(seen.rate, 1e7);
    EXPECT_EQ(HeldSpectrum(nullptr).rate, 1e7);
    SaveSigMF(dir + "/first");
    EXPECT_EQ(SavedRate(dir + "/first.sigmf-meta"), 1e7) << FileText(dir + "/first.sigmf-meta");

    // That capture asks for them and brings them.
    Truncate();
    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(Messages(), "");
    const Lines got = Log();
    const auto set = std::find_if(got.begin(), got.end(), [](const std::string &l) {
        return l.rfind("TRAC:IQ:SET NORM,", 0) == 0 && l.find(",20000000Hz,IMM,POS,0,8192;*WAI") != std::string::npos;
    });
    EXPECT_NE(set, got.end());
    seen = LastState();
    EXPECT_EQ(seen.count, 2 * kCount);
    EXPECT_EQ(seen.rate, 2e7);
    EXPECT_EQ(HeldSpectrum(nullptr).rate, 2e7);
    SaveSigMF(dir + "/second");
    EXPECT_EQ(SavedRate(dir + "/second.sigmf-meta"), 2e7);
}

// With a destination chosen before the first capture, Save IQ becomes usable
// once a trace is held, and is dimmed again, with Spectrum, when a capture
// aborted before any sample came leaves nothing.
TEST_F(HeldRateTest, SaveAndSpectrumFollowWhatACaptureLeaves)
{
    StartAnalyzer("jasper", {"--trigger-delay", "1"});
    UseLan(DEV_JASPER);
    Connect();
    ASSERT_EQ(ui_test::UserSetVal(hJas, JA_CNT, kCount), 0);
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, kSigMF), 0);
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, dir + "/rec");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    ASSERT_EQ(Dimmed(hSav, SA_SAV), 1);

    ASSERT_EQ(Click(TR_TRC), 0);
    ASSERT_EQ(HeldSamples(), kCount);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 0);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 0);

    // Abort while the instrument waits for its trigger.
    int savDimmed = -1;
    ui_test::Post([&savDimmed] {
        savDimmed = Dimmed(hSav, SA_SAV);
        ui_test::UserClick(hSta, ST_ABO);
    }, 300);
    ASSERT_EQ(Click(TR_TRC), 0);
    EXPECT_EQ(savDimmed, 1) << "Save IQ was usable while the capture replaced the data";
    ASSERT_EQ(HeldSamples(), 0);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
}
