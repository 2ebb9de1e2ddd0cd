#include "panelfixture.h"
#include "state/statuspanel.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

Samples Seq(std::initializer_list<float> v)
{
    return {std::vector<float>(v), std::vector<float>(v)};
}

std::string Bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

using SavePanel = PanelTest;

TEST_F(SavePanel, SaveIsUsableOnceDataAndDestinationAreThere)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    LoadThroughPanel(22, Path("in.kal"), "");
    // The file chosen on the Load panel is no destination.
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);

    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, 5), 0);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    EXPECT_EQ(Dimmed(hSav, SA_Q), 0);
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, Path("out.i"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    // A derived ".q" name counts as chosen even before it exists.
    EXPECT_EQ(std::string(d.QNam), Path("out.q"));
    EXPECT_EQ(Text(hSav, SA_DQ), Path("out.q"));
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 0);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "nothing to append to yet";

    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    Samples back = Read(5, Path("out.i"), Path("out.q"));
    EXPECT_EQ(back.i, std::vector<float>({1, 2, 3}));

    // The save made both files: appending to them is possible at once.
    EXPECT_EQ(Dimmed(hSav, SA_APP), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(Read(5, Path("out.i"), Path("out.q")).q, std::vector<float>({1, 2, 3, 1, 2, 3}));
}

// SigMF joins both Type rings at their end (configuration files keep the
// indices before it); a recording is chosen by either of its two files.
TEST_F(SavePanel, SigMFJoinsTheTypeRingsAtTheirEnd)
{
    int n = 0, value = -1;
    char label[300] = "";
    ASSERT_EQ(GetNumListItems(hLod, LO_TYP, &n), 0);
    EXPECT_EQ(n, 25);
    GetLabelFromIndex(hLod, LO_TYP, 24, label);
    GetValueFromIndex(hLod, LO_TYP, 24, &value);
    EXPECT_STREQ(label, "SigMF (*.sigmf-meta)");
    EXPECT_EQ(value, 24);
    ASSERT_EQ(GetNumListItems(hSav, SA_TYP, &n), 0);
    EXPECT_EQ(n, 21);
    const int kal = 19, sigmf = 20;
    GetValueFromIndex(hSav, SA_TYP, kal, &value);
    EXPECT_EQ(value, 22);
    GetLabelFromIndex(hSav, SA_TYP, sigmf, label);
    GetValueFromIndex(hSav, SA_TYP, sigmf, &value);
    EXPECT_STREQ(label, "SigMF (*.sigmf-meta)");
    EXPECT_EQ(value, 24);

    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_FRQ, 2.5e6), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(24, Path("rec.sigmf-data"), "");
    EXPECT_EQ(Dimmed(hSav, SA_Q), 1);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(Bytes(Path("rec.sigmf-data")), Bytes(Path("in.kal")));

    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_FRQ, 1.0), 0);
    LoadThroughPanel(24, Path("rec.sigmf-meta"), "");
    EXPECT_EQ(s.Len, 3);
    double rate = 0;
    GetCtrlVal(hLod, LO_FRQ, &rate);
    EXPECT_EQ(rate, 2.5e6) << "the recording's rate";
}

TEST_F(SavePanel, GuardSamplesPrecedeTheData)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3, 4, 5})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(22, Path("out.kal"), "");
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_CNT, 3), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    Samples back = Read(22, Path("out.kal"), "");
    EXPECT_EQ(back.i, std::vector<float>({3, 4, 5, 1, 2, 3, 4, 5}));
    EXPECT_EQ(back.q, back.i);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(d.I, nullptr) << "the destination arrays live only during the save";
}

TEST_F(SavePanel, AppendAddsGuardAndDataAfterTheOldSamples)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    ASSERT_EQ(Write(22, Path("old.kal"), "", Seq({9, 8, 7, 6})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(22, Path("old.kal"), "");
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_CNT, 2), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    Samples back = Read(22, Path("old.kal"), "");
    EXPECT_EQ(back.i, std::vector<float>({9, 8, 7, 6, 2, 3, 1, 2, 3}));
}

TEST_F(SavePanel, FailedAppendWritesNothing)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    std::ofstream(Path("old.sig")) << "this is no SPW file\n";
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(13, Path("old.sig"), "");
    std::string before = Bytes(Path("old.sig"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(Bytes(Path("old.sig")), before);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "Error: Array not created.\nNot a file of this format.");
}

TEST_F(SavePanel, MoreGuardSamplesThanDataIsRefused)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(22, Path("out.kal"), "");
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_CNT, 4), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_FALSE(fs::exists(Path("out.kal")));
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_NE(MessageTexts().back().find("guard samples (4)"), std::string::npos)
        << MessageTexts().back();
}

TEST_F(SavePanel, FailedWriteIsReportedAndKeepsTheOldFile)
{
    std::vector<float> many(100000, 0.25f);
    ASSERT_EQ(Write(22, Path("in.kal"), "", {many, many}), 0);
    ASSERT_EQ(Write(22, Path("old.kal"), "", Seq({9, 8})), 0);
    std::string before = Bytes(Path("old.kal"));
    LoadThroughPanel(22, Path("in.kal"), "");

    // A destination folder that does not exist.
    ChooseSave(22, Path("missing/out.kal"), "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_EQ(MessageTexts().back(),
              "Error: File Save Error.\nThe file cannot be written: No such file or directory.");

    // A disk that fills up in the middle of the write (a file size limit
    // binds root as well).
    ChooseSave(22, Path("old.kal"), "");
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    ui_test::UserClick(hSav, SA_SAV);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(MessageTexts().back(), "Error: File Save Error.\nThe file cannot be written: File too large.");
    EXPECT_EQ(Bytes(Path("old.kal")), before);
    for (const auto &entry : fs::directory_iterator(dir))
        EXPECT_TRUE(entry.path().filename() == "in.kal" || entry.path().filename() == "old.kal")
            << "left behind: " << entry.path();
}

// Abort during a long save: the box says the save was aborted (not that
// the system failed), and the old file is kept.
TEST_F(SavePanel, AbortedSaveSaysSoAndKeepsTheOldFile)
{
    std::vector<float> many(2000000, 0.25f);
    ASSERT_EQ(Write(22, Path("in.kal"), "", {many, many}), 0);
    std::ofstream(Path("old.asc")) << "1 2\n";
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(2, Path("old.asc"), "");
    ui_test::Post([] { ui_test::UserClick(hSta, ST_ABO); });
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "Error: File Save Error.\nAborted.");
    EXPECT_EQ(Bytes(Path("old.asc")), "1 2\n");
}

TEST_F(SavePanel, ZeroSamplesGiveAValidEmptyFile)
{
    s.Len = 0;
    DVal = 1;
    IFlg = 1;
    for (int typ : {0, 1, 4, 8, 13, 16, 19, 22}) {
        SCOPED_TRACE(typ);
        std::string i = Path("empty" + std::to_string(typ) + "_i"), q = Path("empty" + std::to_string(typ) + "_q");
        ChooseSave(typ, i, q);
        ASSERT_EQ(SaveDatFile(), 0);
        int status = -99;
        Samples back = Read(typ, i, q, &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(back.i.empty());
    }
}

// The destination's dialogs changed their minds: the panel still shows the
// destination and the next save goes there.
TEST_F(SavePanel, ADialogThatChoosesNothingKeepsTheDestination)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(5, Path("keep.i"), Path("keep.q"));
    ASSERT_EQ(std::string(d.QNam), Path("keep.q"));
    ui_test::QueueFileSelect(VAL_NO_FILE_SELECTED, "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    ui_test::QueueFileSelect(VAL_NO_FILE_SELECTED, "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_Q), 0);
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, "/" + std::string(300, 'y'));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_Q), 0);
    EXPECT_EQ(Text(hSav, SA_DI), Path("keep.i"));
    EXPECT_EQ(Text(hSav, SA_DQ), Path("keep.q"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_EQ(Read(5, Path("keep.i"), Path("keep.q")).q, std::vector<float>({1, 2, 3}));
}

// A new Save Type forgets the destination: nothing can be saved or appended
// to a file the panel no longer shows, whatever the Load panel does next.
TEST_F(SavePanel, ANewSaveTypeForgetsTheDestination)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    ChooseSave(6, Path("keep.dat"), "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    const std::string saved = Bytes(Path("keep.dat"));
    ASSERT_FALSE(saved.empty());

    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, 10), 0);
    EXPECT_EQ(Text(hSav, SA_DI), "");
    LoadThroughPanel(22, Path("in.kal"), "");
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1);
    EXPECT_LT(ui_test::UserClick(hSav, SA_SAV), 0);
    EXPECT_LT(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(Bytes(Path("keep.dat")), saved);
    EXPECT_STREQ(d.INam, "");
}

// Appending reads every file of the destination: a pair needs both shown
// and existing, and data to append.
TEST_F(SavePanel, AppendIsOfferedOnlyForAWholeExistingDestination)
{
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    ASSERT_EQ(Write(1, Path("old_i.dat"), Path("old_q.dat"), Seq({9, 8})), 0);
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, 1), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, Path("old_i.dat"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "no data yet";
    LoadThroughPanel(22, Path("in.kal"), "");
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "the Q file is not chosen";
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);

    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, Path("new_q.dat"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_Q), 0);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 0);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "the Q file does not exist";
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, Path("old_i.dat"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "an existing I file says nothing of the Q file";

    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, Path("old_q.dat"));
    ASSERT_EQ(ui_test::UserClick(hSav, SA_Q), 0);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(Read(1, Path("old_i.dat"), Path("old_q.dat")).q, std::vector<float>({9, 8, 1, 2, 3}));

    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 22), 0);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1) << "no valid data to append";
}

// A folder the user may not write to: the second line says so.  Root may
// write anywhere, so as root the test runs itself again as "nobody".
TEST_F(SavePanel, ADestinationTheUserMayNotWriteSaysSo)
{
    if (geteuid() == 0) {
        const std::string self = fs::canonical("/proc/self/exe").string();
        const std::string cmd = "setpriv --reuid=nobody --regid=nogroup --clear-groups " + self +
                                " --gtest_filter=SavePanel.ADestinationTheUserMayNotWriteSaysSo 2>&1";
        FILE *p = ::popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        const int st = ::pclose(p);
        if (WIFEXITED(st) && WEXITSTATUS(st) == 127)
            GTEST_SKIP() << "setpriv cannot run the test as another user: " << out;
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << out;
        return;
    }
    ASSERT_EQ(Write(22, Path("in.kal"), "", Seq({1, 2, 3})), 0);
    LoadThroughPanel(22, Path("in.kal"), "");
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    ChooseSave(22, Path("locked/out.kal"), "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "Error: File Save Error.\nThe file cannot be written: Permission denied.");
    EXPECT_FALSE(fs::exists(Path("locked/out.kal")));
}

}  // namespace
