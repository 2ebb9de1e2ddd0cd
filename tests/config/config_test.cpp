#include "common/loopback.h"
#include "common/panels_fixture.h"
#include "common/test_files.h"
#include "files/formats.h"
#include "files/loadpanel.h"
#include "files/savepanel.h"
#include "instrument/settings.h"
#include "instrument/settingsvars.h"
#include "instrument/tracepanel.h"
#include "remote/tcpserver.h"
#include "shell/config.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class Config : public PanelsTest {
protected:
    fs::path dir;
    std::string file;

    void SetUp() override
    {
        ASSERT_EQ(BuildPanels(), 0);
        DisplayPanel(hRun);
        ui_test::ClearPopups();
        dir = FreshTestDir("kalmira-cfg");
        file = (dir / "test.cfg").string();
        TrcFlg = 0;
        DVal = 0;
    }

    void TearDown() override
    {
        for (int p : {hRun, hSta, hDat})
            DiscardPanel(p);
        fs::remove_all(dir);
        FreeIqRec(&s);
    }

    // A state with every field away from its default, texts with blanks and
    // an empty data type among them.
    void SetDistinctState()
    {
        SetPanelPos(hRun, 120, 345);
        a = {};
        a.Typ = DEV_JASPER;
        a.Pad = 17;
        a.Ift = IFT_LAN;
        std::snprintf(a.Ipa, sizeof a.Ipa, "10.1.2.3");
        win = 5;
        s.Typ = 13;
        d.Typ = 22;
        DatTyp[0] = '\0';
        std::snprintf(FltTyp, sizeof FltTyp, "NORM");
        Rbw = 3000000.0f;
        SRat = 32000000.0f;
        std::snprintf(TrgMod, sizeof TrgMod, "EXT");
        std::snprintf(TrgSlp, sizeof TrgSlp, "NEG");
        TrgOfs = -1.5f;
        PreTrg = 100;
        RecLen = 2.5f;
        s.Len = 4096;
        TcpPrt = 5555;
        std::snprintf(SrcDir, sizeof SrcDir, "/data/My Traces/in %%20/");
        std::snprintf(DstDir, sizeof DstDir, "/data/out/");
        IqInp = 1;
        Bal = 1;
        Imp = 0;
        Dith = 1;
        LPas = 1;
    }
};

TEST_F(Config, FileHasItsEightLinesInTheirFormats)
{
    SetDistinctState();
    ASSERT_EQ(SaveCfgFile(file.c_str(), a), 0);
    EXPECT_EQ(FileText(file),
              "345 120\n"
              "4 17 1 5 13 22\n"
              "%00 NORM 3000000.0 32000000.0 EXT NEG -1.500 100 2.5000\n"
              "4096 0 5555\n"
              "10.1.2.3\n"
              "/data/My%20Traces/in%20%2520/\n"
              "/data/out/\n"
              "1 1 0 1 1\n");
}

TEST_F(Config, SaveThenLoadRestoresEverything)
{
    SetDistinctState();
    ASSERT_EQ(SaveCfgFile(file.c_str(), a), 0);
    const DevRec saved = a;
    const std::string src = SrcDir;

    // Change everything, then load.
    a = {};
    a.Typ = DEV_BERYL;
    std::snprintf(DatTyp, sizeof DatTyp, "IQ");
    SrcDir[0] = DstDir[0] = '\0';
    win = 0;
    s.Typ = 0;
    d.Typ = 0;
    SRat = 1;
    TcpPrt = 1;
    IqInp = Bal = Dith = LPas = 0;
    SetPanelPos(hRun, 10, 10);
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);

    EXPECT_EQ(a.Typ, saved.Typ);
    EXPECT_EQ(a.Pad, saved.Pad);
    EXPECT_EQ(a.Ift, saved.Ift);
    EXPECT_STREQ(a.Ipa, saved.Ipa);
    EXPECT_STREQ(DatTyp, "") << "an empty text comes back empty";
    EXPECT_STREQ(FltTyp, "NORM");
    EXPECT_STREQ(TrgSlp, "NEG");
    EXPECT_FLOAT_EQ(TrgOfs, -1.5f);
    EXPECT_EQ(PreTrg, 100);
    EXPECT_EQ(SrcDir, src) << "blanks and '%' survive";
    EXPECT_STREQ(DstDir, "/data/out/");
    EXPECT_EQ(IqInp + Bal + Imp + Dith + LPas, 4);

    int top = 0, left = 0, v = -1;
    GetPanelAttribute(hRun, ATTR_TOP, &top);
    GetPanelAttribute(hRun, ATTR_LEFT, &left);
    EXPECT_EQ(top, 120);
    EXPECT_EQ(left, 345);
    GetCtrlVal(hTrc, TR_TYP, &v);
    EXPECT_EQ(v, DEV_JASPER);
    GetCtrlVal(hTrc, TR_PAD, &v);
    EXPECT_EQ(v, 17);
    GetCtrlVal(hTrc, TR_IFT, &v);
    EXPECT_EQ(v, 1);
    GetCtrlVal(hTrc, TR_WIN, &v);
    EXPECT_EQ(v, 5);
    char ipa[64] = "";
    GetCtrlVal(hTrc, TR_IPA, ipa);
    EXPECT_STREQ(ipa, "10.1.2.3");
    GetCtrlVal(hLod, LO_TYP, &v);
    EXPECT_EQ(v, 13);
    GetCtrlVal(hSav, SA_TYP, &v);
    EXPECT_EQ(v, 22);
    GetCtrlVal(hRun, RN_PORT, &v);
    EXPECT_EQ(v, 5555);
    float rate = 0;
    GetCtrlVal(hLod, LO_FRQ, &rate);
    EXPECT_FLOAT_EQ(rate, 32000000.0f);

    // One-file formats dim the Q controls; names are blank; data not valid.
    int dim = -1;
    GetCtrlAttribute(hLod, LO_Q, ATTR_DIMMED, &dim);
    EXPECT_EQ(dim, 1);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(IFlg + QFlg, 0);
    EXPECT_STREQ(s.INam, "");
}

TEST_F(Config, MissingFileCopiesThePanelsAndReportsIt)
{
    SetCtrlVal(hLod, LO_CNT, 77);
    s.Len = 5;
    SetCtrlVal(hLod, LO_TYP, 2);  // one file
    SetCtrlVal(hSav, SA_TYP, 1);  // two files
    SetCtrlAttribute(hLod, LO_Q, ATTR_DIMMED, 0);
    SetCtrlAttribute(hSav, SA_Q, ATTR_DIMMED, 1);
    EXPECT_EQ(LoadCfgFile((dir / "none.cfg").string().c_str(), &a, t), -1);
    EXPECT_EQ(s.Len, 77);
    EXPECT_EQ(Dimmed(hLod, LO_Q), 1);
    EXPECT_EQ(Dimmed(hLod, LO_DQ), 1);
    EXPECT_EQ(Dimmed(hSav, SA_Q), 0);
    EXPECT_EQ(Dimmed(hSav, SA_DQ), 0);
}

TEST_F(Config, ShortOrForeignFilesKeepWhatTheyCannotSay)
{
    a = {};
    a.Typ = DEV_CORAL;
    a.Pad = 20;
    s.Typ = 2;
    d.Typ = 0;
    TcpPrt = 4000;
    win = 2;
    std::snprintf(SrcDir, sizeof SrcDir, "/keep/");

    // Out-of-range model, formats without a ring item, a negative port.
    std::ofstream(file) << "10 20\n9 40 7 99 30 17\nRAW NORM x 1e6\n-1 3 -5\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(a.Typ, DEV_CORAL);
    EXPECT_EQ(a.Pad, 20);
    EXPECT_EQ(win, 2);
    EXPECT_EQ(s.Typ, 2);
    EXPECT_EQ(d.Typ, 0);
    EXPECT_EQ(TcpPrt, 4000);
    EXPECT_STREQ(SrcDir, "/keep/");
    EXPECT_STREQ(DatTyp, "RAW");
    int v = -1;
    GetCtrlVal(hTrc, TR_TYP, &v);
    EXPECT_EQ(v, DEV_CORAL);

    // SigMF, the newest format, is restored on both panels; an index past it is not.
    std::ofstream(file) << "10 20\n3 20 0 2 24 24\nRAW NORM x 1e6\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(s.Typ, 24);
    EXPECT_EQ(d.Typ, 24);
    GetCtrlVal(hSav, SA_TYP, &v);
    EXPECT_EQ(v, 24);
    std::ofstream(file) << "10 20\n3 20 0 2 25 25\nRAW NORM x 1e6\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(s.Typ, 24);
    EXPECT_EQ(d.Typ, 24);

    // Binary junk and an empty file change nothing and crash nothing.
    std::ofstream(file, std::ios::binary) << std::string("\x00\xff\x01garbage\n\n\x7f", 14);
    EXPECT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    std::ofstream(file, std::ios::trunc).close();
    EXPECT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(a.Typ, DEV_CORAL);
    EXPECT_STREQ(SrcDir, "/keep/");
}

TEST_F(Config, FilesOfEarlierVersionsLoad)
{
    std::ofstream(file) << "16 30\r\n2 20 0 2 5 1\r\nRAW NORM 1000000.0 1000000.0 IMM POS 0.000 0 1.0000\r\n"
                           "0 0 0\r\n\r\nC:\\data\\\r\nC:\\out\\\r\n0 0 0 0 0\r\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_STREQ(a.Ipa, "") << "an empty line 5 is an empty address";
    EXPECT_STREQ(SrcDir, "C:\\data\\");
    EXPECT_STREQ(DstDir, "C:\\out\\");
    EXPECT_EQ(s.Typ, 5);
    EXPECT_STREQ(TrgMod, "IMM");
}

TEST_F(Config, AgateCountIsRecomputedInAnalyzerMode)
{
    std::ofstream(file) << "16 30\n1 20 0 0 2 0\nRAW NORM 8000000.0 1000000.0 IMM POS 0.000 0 2.5000\n"
                           "0 1 0\n127.0.0.1\n/\n/\n0 0 0 0 0\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(TrcFlg, 1);
    EXPECT_EQ(s.Len, 2500);
    // The Agate panel shows the restored settings at once.
    double khz = 0;
    GetCtrlVal(hAgt, AG_SRAT, &khz);
    EXPECT_DOUBLE_EQ(khz, 1000.0);
    int count = 0;
    GetCtrlVal(hAgt, AG_CNT, &count);
    EXPECT_EQ(count, 2500);
    int shown = 0;
    GetPanelAttribute(hAgt, ATTR_VISIBLE, &shown);
    EXPECT_EQ(shown, 1);
}

// A count the Count control cannot show (0, more than any model captures)
// becomes the one it shows when the panels are written: that is what the next
// capture asks for.
TEST_F(Config, ACountOutsideTheControlsRangeBecomesTheCountShown)
{
    std::ofstream(file) << "16 30\n2 20 0 0 2 0\nRAW NORM 8000000.0 1000000.0 IMM POS 0.000 0 2.5000\n"
                           "4096 1 0\n127.0.0.1\n/\n/\n0 0 0 0 0\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    ASSERT_EQ(a.Typ, DEV_BERYL);
    for (int count : {0, 99999999}) {
        s.Len = count;
        UpdPnl();
        int shown = -1;
        GetCtrlVal(hBer, BY_CNT, &shown);
        EXPECT_EQ(s.Len, shown) << count;
        EXPECT_EQ(PanelCount(DEV_BERYL), s.Len) << count;
    }
}

TEST_F(Config, AgateRecordLengthsBeyondReasonGiveABoundedCount)
{
    std::ofstream(file) << "16 30\n1 20 0 0 2 0\nRAW NORM 8000000.0 1000000000.0 IMM POS 0.000 0 1e30\n"
                           "0 1 0\n127.0.0.1\n/\n/\n0 0 0 0 0\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(s.Len, kAgateMaxCount);
    EXPECT_EQ(AgateSamples(1e9f, 1e30f), INT_MAX);
    EXPECT_EQ(AgateSamples(1e6f, -3.0f), 0);
}

TEST_F(Config, UnwritableDestinationKeepsTheOldFile)
{
    std::ofstream(file) << "old\n";
    std::string missing = (dir / "no" / "such.cfg").string();
    EXPECT_EQ(SaveCfgFile(missing.c_str(), a), -1);
    EXPECT_EQ(FileText(file), "old\n");
    for (const auto &e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename(), "test.cfg") << "left behind: " << e.path();
}

TEST_F(Config, MenuSavesAndLoadsTheChosenFile)
{
    SetDistinctState();
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, file);
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_SAVE), 0);
    ASSERT_TRUE(fs::exists(file));
    a.Pad = 3;
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
    EXPECT_EQ(a.Pad, 17);
    ui_test::QueueFileSelect(VAL_NO_FILE_SELECTED, "");
    a.Pad = 3;
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
    EXPECT_EQ(a.Pad, 3) << "a cancelled dialog loads nothing";
}

// An earlier version wrote an empty text of line 3 as nothing between two
// blanks.  The line is read within itself: the other fields of line 3 and
// every later line keep their places.
TEST_F(Config, AnEmptyTextInLineThreeMovesNothing)
{
    std::ofstream(file) << "16 30\n2 20 1 0 22 22\n NORM 300000.0 1000000.0 IMM POS 0.000 7 1.0000\n"
                           "0 1 5050\n10.0.0.7\n/src/\n/dst/\n1 0 1 0 1\n";
    std::snprintf(DatTyp, sizeof DatTyp, "RAW");
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_STREQ(DatTyp, "");
    EXPECT_STREQ(FltTyp, "NORM");
    EXPECT_FLOAT_EQ(Rbw, 300000.0f);
    EXPECT_FLOAT_EQ(SRat, 1000000.0f);
    EXPECT_STREQ(TrgMod, "IMM");
    EXPECT_STREQ(TrgSlp, "POS");
    EXPECT_EQ(PreTrg, 7);
    EXPECT_FLOAT_EQ(RecLen, 1.0f);
    EXPECT_EQ(TrcFlg, 1);
    EXPECT_EQ(TcpPrt, 5050);
    EXPECT_STREQ(a.Ipa, "10.0.0.7");
    EXPECT_STREQ(SrcDir, "/src/");
    EXPECT_STREQ(DstDir, "/dst/");
    EXPECT_EQ(IqInp + Imp + LPas, 3);
    EXPECT_EQ(Bal + Dith, 0);

    // An empty text in the middle of the line, and a line with too few words.
    std::ofstream(file) << "16 30\n2 20 1 0 22 22\nRAW NORM 300000.0 2000000.0  NEG 0.000 0 1.0000\n"
                           "0 0 6060\n\n/a/\n/b/\n0 0 0 0 0\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_STREQ(TrgMod, "");
    EXPECT_STREQ(TrgSlp, "NEG");
    EXPECT_FLOAT_EQ(SRat, 2000000.0f);
    EXPECT_EQ(TcpPrt, 6060);
    EXPECT_STREQ(SrcDir, "/a/");
    std::ofstream(file) << "16 30\n2 20 1 0 22 22\nIQ\n0 0 7070\n\n/c/\n/d/\n0 0 0 0 0\n";
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_STREQ(DatTyp, "IQ");
    EXPECT_STREQ(TrgSlp, "NEG") << "a field the line does not have keeps its value";
    EXPECT_EQ(TcpPrt, 7070);
    EXPECT_STREQ(DstDir, "/d/");
}

// After a configuration load in the mode the program is in, nothing of the
// panels still speaks of the data or the files of before.
TEST_F(Config, AConfigurationLoadLeavesNoPanelShowingOldData)
{
    const std::string wi = (dir / "w.i").string(), wq = (dir / "w.q").string();
    std::ofstream(wi) << "1\n2\n3\n";
    std::ofstream(wq) << "4\n5\n6\n";
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 20), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, wi);
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    ASSERT_EQ(DVal, 1);
    ASSERT_EQ(ui_test::UserSetVal(hSav, SA_TYP, 22), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, wi);
    ASSERT_EQ(ui_test::UserClick(hSav, SA_I), 0);
    ASSERT_EQ(Dimmed(hSav, SA_APP), 0);
    ASSERT_EQ(Dimmed(hLod, LO_TRA), 0);

    std::ofstream(file) << "16 30\n2 20 0 0 20 22\nRAW NORM 300000.0 1000000.0 IMM POS 0.000 0 1.0000\n"
                           "3 0 0\n\n/\n/\n0 0 0 0 0\n";
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(HeldSamples(), 0) << "a client would get the old file's samples under the file's count";
    EXPECT_EQ(IntVal(hRun, RN_DVAL), 0);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 1);
    EXPECT_EQ(Dimmed(hLod, LO_CNT), 1);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    EXPECT_EQ(Dimmed(hSav, SA_APP), 1);
    EXPECT_LT(ui_test::UserClick(hSav, SA_APP), 0);
    EXPECT_EQ(Text(hLod, LO_DI), "");
    EXPECT_EQ(Text(hSav, SA_DI), "");

    // Analyzer mode, and a configuration of the same mode on LAN, then GPIB.
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    ASSERT_EQ(Dimmed(hTrc, TR_IPA), 1);
    for (int ift : {IFT_LAN, IFT_GPIB}) {
        SCOPED_TRACE(ift);
        std::ofstream(file) << "16 30\n2 20 " << ift << " 0 20 22\n"
                               "RAW NORM 300000.0 1000000.0 IMM POS 0.000 0 1.0000\n"
                               "0 1 0\n10.1.1.1\n/\n/\n0 0 0 0 0\n";
        ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, file);
        ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
        EXPECT_EQ(Dimmed(hTrc, TR_IPA), ift == IFT_GPIB);
        EXPECT_EQ(Dimmed(hTrc, TR_PAD), ift == IFT_LAN);
        EXPECT_EQ(ui_test::UserSetVal(hTrc, TR_IPA, "10.1.1.2") == 0, ift == IFT_LAN);
    }
}

// A configuration that names another instrument leaves no session that
// reaches the old one: Trace IQ waits for a new device test.  One that names
// the instrument already connected keeps the session.
TEST_F(Config, AnotherInstrumentInTheFileNeedsANewDeviceTest)
{
    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_MODE, 1), 0);
    const auto write = [&](int ift, int pad, const char *ipa) {
        std::ofstream(file) << "16 30\n2 " << pad << " " << ift << " 0 20 22\n"
                               "RAW NORM 300000.0 1000000.0 IMM POS 0.000 0 1.0000\n"
                               "0 1 0\n" << ipa << "\n/\n/\n0 0 0 0 0\n";
    };
    const auto connected = [&] {
        a.Vi = 7;  // as a device test leaves it
        SetCtrlVal(hTrc, TR_MSG, "Kalmira-Sim,Beryl");
        SetCtrlAttribute(hTrc, TR_TRC, ATTR_DIMMED, 0);
    };
    write(IFT_LAN, 20, "127.0.0.1:5025");
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    connected();
    ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
    EXPECT_EQ(a.Vi, 7u) << "the same instrument";
    EXPECT_EQ(Dimmed(hTrc, TR_TRC), 0);

    struct Other {
        int ift, pad;
        const char *ipa;
    };
    for (const Other &o : {Other{IFT_GPIB, 20, "127.0.0.1:5025"}, Other{IFT_LAN, 20, "10.1.2.3"}}) {
        SCOPED_TRACE(o.ipa);
        write(IFT_LAN, 20, "127.0.0.1:5025");
        ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
        connected();
        write(o.ift, o.pad, o.ipa);
        ASSERT_EQ(LoadCfgFile(file.c_str(), &a, t), 0);
        EXPECT_EQ(a.Vi, 0u);
        EXPECT_EQ(Dimmed(hTrc, TR_TRC), 1);
        EXPECT_EQ(Text(hTrc, TR_MSG), "");
    }
}

}  // namespace

// The port the main panel shows after a configuration load is the one the
// server listens on, and a later edit of the field moves it from there.
TEST_F(Config, TheServerFollowsThePortOfALoadedConfiguration)
{
    const int before = FreePort(), loaded = FreePort(), edited = FreePort();
    ASSERT_GT(before, 0);
    ASSERT_GT(loaded, 0);
    ASSERT_GT(edited, 0);
    TcpPrt = before;
    ASSERT_EQ(RegisterTCPServer(static_cast<unsigned>(before), cbTCPServer, nullptr), 0);
    const auto listening = [](int port) {
        const int fd = ConnectLoopback(port);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0;
    };
    std::ofstream(file) << "16 30\n2 20 0 0 20 22\nRAW NORM 300000.0 1000000.0 IMM POS 0.000 0 1.0000\n"
                           "3 0 " << loaded << "\n\n/\n/\n0 0 0 0 0\n";
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, file);
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_FILE_LOAD), 0);
    EXPECT_EQ(IntVal(hRun, RN_PORT), loaded);
    EXPECT_TRUE(listening(loaded));
    EXPECT_FALSE(listening(before));

    ASSERT_EQ(ui_test::UserSetVal(hRun, RN_PORT, edited), 0);
    EXPECT_TRUE(listening(edited));
    EXPECT_FALSE(listening(loaded));
    UnregisterTCPServer(static_cast<unsigned>(edited));
}

