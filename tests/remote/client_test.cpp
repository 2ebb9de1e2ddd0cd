// tools/kalmira_client.py as a real client of the program's server.
#include "remote_fixture.h"

#include "common/test_files.h"

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome Python(const std::string &args)
{
    Outcome r;
    const std::string cmd = std::string(KALMIRA_PYTHON) + " " + KALMIRA_CLIENT_PY + " " + args + " 2>&1";
    FILE *p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

class ClientTool : public RemoteTest {
protected:
    fs::path dir;

    void SetUp() override
    {
        RemoteTest::SetUp();
        dir = FreshTestDir("kalmira-remote");
    }
    void TearDown() override
    {
        fs::remove_all(dir);
        RemoteTest::TearDown();
    }
    Outcome RunClient(const std::string &args)
    {
        const std::string all = "--port " + std::to_string(port) + " " + args;
        return Talk<Outcome>([all] { return Python(all); });
    }
};

}  // namespace

TEST_F(ClientTool, IdentityAndStateAsAPersonReadsThem)
{
    SetData(20000, 2.5e6f);
    Outcome id = RunClient("id");
    EXPECT_EQ(id.status, 0) << id.out;
    EXPECT_EQ(id.out, "Kalmira\n");
    Outcome st = RunClient("state");
    EXPECT_EQ(st.status, 0) << st.out;
    EXPECT_EQ(st.out, "new data: yes\ncount: 20000\nrate: 2.5e+06 Hz\n");
}

TEST_F(ClientTool, FetchWritesAKalFileThatTheLibraryReadsBackSampleForSample)
{
    SetData(100003, 1e6f);
    const fs::path out = dir / "trace.kal";
    Outcome r = RunClient("fetch " + out.string());
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "100003 samples at 1e+06 Hz written to " + out.string() + "\n");
    ASSERT_EQ(fs::file_size(out), 100003u * 8);

    IqRec back{};
    std::snprintf(back.INam, sizeof back.INam, "%s", out.c_str());
    back.Typ = 22;
    ASSERT_EQ(LoadDatFile(&back), 0);
    ASSERT_EQ(back.Len, 100003);
    EXPECT_EQ(std::memcmp(back.I, s.I, 100003 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(back.Q, s.Q, 100003 * sizeof(float)), 0);
    FreeIqRec(&back);
    EXPECT_EQ(NewState, 0);
}

TEST_F(ClientTool, SummaryGivesCountRateAndRanges)
{
    SetData(5000, 4e6f);
    Outcome r = RunClient("summary");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("count: 5000\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rate: 4e+06 Hz"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("I: min 0  max 4999  mean 2499.5"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Q: min -4095.5  max -0.5"), std::string::npos) << r.out;
}

TEST_F(ClientTool, ABrokenFetchLeavesAnExistingFileAsItWasAndFails)
{
    SetData(40000);
    const fs::path out = dir / "keep.kal";
    std::ofstream(out, std::ios::binary) << "precious";
    BreakAtWrite(Writes().size() + 5);   // state on connect, state, header, block 0, then block 1
    Outcome r = RunClient("fetch " + out.string());
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("closed the connection"), std::string::npos) << r.out;
    EXPECT_EQ(FileText(out), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
        << "no partial file is left behind";
}

TEST_F(ClientTool, NoServerAndWrongUsageEndWithTheirStatus)
{
    UnregisterTCPServer(port);
    PumpUntil([] { return false; }, 50);
    Outcome r = RunClient("--timeout 2 id");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot talk to 127.0.0.1:" + std::to_string(port)), std::string::npos) << r.out;
    Outcome bad = Talk<Outcome>([] { return Python("id"); });
    EXPECT_EQ(bad.status, 2) << "the port is required";
    Outcome help = Talk<Outcome>([] { return Python("--help"); });
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("fetch"), std::string::npos);
}
