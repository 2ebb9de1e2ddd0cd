// Every change of the data state reaches the client that connected last as a
// state message: a load, a capture, the mode switch, each analyzer settings
// panel, a configuration load.  Each is done as a person does it, with a
// client connected.
#include "remote_fixture.h"

#include "common/sim_process.h"
#include "common/test_files.h"
#include "files/loadpanel.h"
#include "instrument/settings.h"
#include "instrument/tracepanel.h"
#include "shell/menu.h"

#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

class Notify : public RemoteTest {
protected:
    fs::path dir;
    std::unique_ptr<Client> client;

    void SetUp() override
    {
        RemoteTest::SetUp();
        dir = FreshTestDir("kalmira-notify");
        client = std::make_unique<Client>(port, 5000);
        ASSERT_TRUE(Talk<StateMsg>([&] { return ReadState(*client); }).complete);
    }

    void TearDown() override
    {
        client.reset();
        fs::remove_all(dir);
        RemoteTest::TearDown();
    }

    // The state message the last action sent; none gives kind 0.
    StateMsg Told() { return Talk<StateMsg>([&] { return ReadState(*client); }); }
    // Takes whatever earlier actions sent.
    void Forget() { Talk<size_t>([&] { return client->Quiet(200); }); }
};

TEST_F(Notify, ALoadTheSourceSwitchAndAConfigurationLoadAreAnnounced)
{
    IqRec r{};
    const std::string kal = (dir / "a.kal").string();
    std::snprintf(r.INam, sizeof r.INam, "%s", kal.c_str());
    float i[3] = {1, 2, 3}, q[3] = {4, 5, 6};
    r.Len = 3;
    r.I = i;
    r.Q = q;
    ASSERT_EQ(SaveKAL(r), 0);
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 22), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, kal);
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    Forget();
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    StateMsg st = Told();
    EXPECT_EQ(st.kind, 3) << "load";
    EXPECT_EQ(st.newState, 1);
    EXPECT_EQ(st.count, 3);

    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    st = Told();
    EXPECT_EQ(st.kind, 3) << "mode switch";
    EXPECT_EQ(st.count, 3) << "the samples held; Len is now the count of the next capture";
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 0), 0);
    Forget();

    // A configuration of the mode the program is in: no mode switch follows.
    const std::string cfg = (dir / "c.cfg").string();
    std::ofstream(cfg) << "16 30\n2 20 0 0 22 22\nRAW NORM 300000.0 1234567.0 IMM POS 0.000 0 1.0000\n"
                          "4321 0 0\n\n/\n/\n0 0 0 0 0\n";
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, cfg);
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
    st = Told();
    EXPECT_EQ(st.kind, 3) << "configuration load";
    EXPECT_EQ(st.count, 4321);
    EXPECT_EQ(st.rate, 1234567.0);
}

TEST_F(Notify, EachAnalyzerSettingsPanelAnnouncesItsChanges)
{
    struct Case {
        const char *model;
        const int &panel;
        const int &ctrl;
        double value;
    };
    const Case cases[] = {{"Agate", hAgt, AG_RECLEN, 2.0},
                          {"Beryl", hBer, BY_CNT, 1111},
                          {"Coral", hCor, CL_CNT, 2222},
                          {"Jasper", hJas, JA_CNT, 3333},
                          {"Onyx", hOnx, OX_CNT, 4444}};
    SRat = 1e6f;   // the Agate's count is its record length at this rate
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model);
        ASSERT_EQ(ui_test::UserSetVal(c.panel, c.ctrl, c.value), 0);
        StateMsg st = Told();
        EXPECT_EQ(st.kind, 3);
        EXPECT_EQ(st.count, s.Len);
        EXPECT_GT(st.count, 0);
    }
}

TEST_F(Notify, ACaptureIsAnnounced)
{
#ifndef KALMIRA_SIM_PATH
    GTEST_SKIP() << "kalmira-sim is not built";
#endif
    SimProcess sim({"--analyzer", "beryl", "--port", "0", "--log", (dir / "log").string()});
    ASSERT_TRUE(sim.started());
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_TYP, DEV_BERYL), 0);
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IFT, IFT_LAN), 0);
    const std::string addr = "127.0.0.1:" + std::to_string(sim.analyzerPort());
    ASSERT_EQ(ui_test::UserSetVal(hTrc, TR_IPA, addr.c_str()), 0);
    ASSERT_EQ(ui_test::UserSetVal(hBer, BY_CNT, 5000), 0);
    ASSERT_EQ(ui_test::UserClick(hTrc, TR_TST), 0);
    ASSERT_NE(a.Vi, 0u) << "the device test failed";
    Forget();

    ASSERT_EQ(ui_test::UserClick(hTrc, TR_TRC), 0);
    ASSERT_EQ(DVal, 1) << "the capture failed";
    StateMsg st = Told();
    EXPECT_EQ(st.kind, 3);
    EXPECT_EQ(st.newState, 1);
    EXPECT_EQ(st.count, 5000);
}

}  // namespace
