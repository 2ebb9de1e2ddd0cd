#include "panelfixture.h"

#include "remote/topaz.h"
#include "shell/mainpanel.h"
#include "state/statuspanel.h"

#include <fstream>

namespace {

void Touch(const std::string &path)
{
    std::ofstream(path) << "1\n";
}

using LoadPanel = PanelTest;

TEST_F(LoadPanel, TypeRingSetsTheFileControlsAndInvalidatesTheData)
{
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 0), 0);
    EXPECT_EQ(s.Typ, 0);
    EXPECT_EQ(Dimmed(hLod, LO_Q), 1);
    EXPECT_EQ(Dimmed(hLod, LO_DQ), 1);
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 5), 0);
    EXPECT_EQ(Dimmed(hLod, LO_Q), 0);
    EXPECT_EQ(Dimmed(hLod, LO_DQ), 0);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(NewState, 1);
    EXPECT_EQ(Text(hLod, LO_DI), "");
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 1);
}

TEST_F(LoadPanel, QFileIsDerivedFromAnIFile)
{
    Touch(Path("sig.I"));
    Touch(Path("sig.q"));
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 5), 0);
    ui_test::QueueFileSelect(1, Path("sig.I"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    EXPECT_EQ(std::string(s.QNam), Path("sig.q"));
    EXPECT_EQ(Text(hLod, LO_DQ), Path("sig.q"));
    EXPECT_EQ(QFlg, 1);
    EXPECT_EQ(std::string(SrcDir), dir.string() + "/");
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 0) << "both files are known";

    // The derived file does not exist: the user must pick it.
    Touch(Path("lone.i"));
    ui_test::QueueFileSelect(1, Path("lone.i"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    EXPECT_EQ(std::string(s.QNam), "");
    EXPECT_EQ(QFlg, 0);
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 1);
    ui_test::QueueFileSelect(1, Path("sig.q"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_Q), 0);
    EXPECT_EQ(QFlg, 1);
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 0);
}

TEST_F(LoadPanel, NoDerivationForSpwAdsSingleOrTwoDots)
{
    Touch(Path("a.i"));
    Touch(Path("a.q"));
    for (int typ : {11, 14}) {
        SCOPED_TRACE(typ);
        ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, typ), 0);
        std::snprintf(s.QNam, sizeof s.QNam, "%s", Path("other.ascsig").c_str());
        ui_test::QueueFileSelect(1, Path("a.i"));
        ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
        // Not derived; the name it had names no file, so it is emptied.
        EXPECT_EQ(std::string(s.QNam), "");
        EXPECT_EQ(QFlg, 0);
    }
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 5), 0);
    std::snprintf(s.QNam, sizeof s.QNam, "kept");
    ui_test::QueueFileSelect(1, Path("x.old.i"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    EXPECT_EQ(std::string(s.QNam), "kept");
    EXPECT_EQ(QFlg, 0);
}

TEST_F(LoadPanel, CancelledDialogChangesNothing)
{
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 0), 0);
    ui_test::QueueFileSelect(0, "");
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    EXPECT_EQ(IFlg, 0);
    EXPECT_EQ(Dimmed(hLod, LO_LOAD), 1);
}

TEST_F(LoadPanel, LoadShowsCountRateAndLamp)
{
    ASSERT_EQ(Write(0, Path("a.ibn"), "", Ramp(300), 2.5e6f), 0);
    ASSERT_EQ(Write(22, Path("b.kal"), "", Ramp(200)), 0);
    SetCtrlVal(hLod, LO_FRQ, 1000.0);

    // KAL stores no rate: the typed one stays while nothing set one.
    LoadThroughPanel(22, Path("b.kal"), "");
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 200);
    EXPECT_FLOAT_EQ(SRat, 1000.0f);
    int count = 0, lamp = 0;
    GetCtrlVal(hLod, LO_CNT, &count);
    GetCtrlVal(hRun, RN_DVAL, &lamp);
    EXPECT_EQ(count, 200);
    EXPECT_EQ(lamp, 1);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 0);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1) << "only UInt16 data goes to the generator";

    LoadThroughPanel(0, Path("a.ibn"), "");
    EXPECT_FLOAT_EQ(SRat, 2.5e6f);
    float shown = 0;
    GetCtrlVal(hLod, LO_FRQ, &shown);
    EXPECT_FLOAT_EQ(shown, 2.5e6f);

    // A format change invalidates the data everywhere.
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 22), 0);
    GetCtrlVal(hLod, LO_CNT, &count);
    GetCtrlVal(hRun, RN_DVAL, &lamp);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(lamp, 0);
    EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
    EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    EXPECT_FALSE(ui_test::PanelVisible(hSta));
}

TEST_F(LoadPanel, Version73MatFilesLoadInTheRunningProgram)
{
    // v7.3 files are read by a child process of the program, here one with
    // Qt's threads running; a file that crashes the HDF5 library ends as a
    // load error and the program goes on.
    LoadThroughPanel(4, KALMIRA_TEST_DATA "/mat_v73.mat", "");
    EXPECT_EQ(DVal, 1);
    ASSERT_EQ(s.Len, 300);
    EXPECT_EQ(s.I[299], 149.5f);
    EXPECT_EQ(s.Q[299], -299.0f);

    LoadThroughPanel(4, KALMIRA_TEST_DATA "/mat_v73_bad_attribute.mat", "");
    EXPECT_EQ(DVal, 0);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back().substr(0, 24), "Error: File Load Error.\n");

    LoadThroughPanel(4, KALMIRA_TEST_DATA "/mat_v73.mat", "");
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 300);
}

TEST_F(LoadPanel, TopazTransferIsOfferedAfterAGoodUInt16Load)
{
    std::ofstream(Path("w.i")) << "1\n2\n65535\n";
    std::ofstream(Path("w.q")) << "4\n5\n0\n";
    LoadThroughPanel(20, Path("w.i"), Path("w.q"));
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 3);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 0);
    EXPECT_EQ(Dimmed(hLod, LO_ADR), 0);

    // A failed load withdraws the offer and says so.
    fs::remove(Path("w.q"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(),
              "Error: File Load Error.\nThe second file cannot be opened: No such file or directory.");
}

TEST_F(LoadPanel, AbortStopsARunningLoadAndBlocksOtherCommits)
{
    ASSERT_EQ(Write(22, Path("big.kal"), "", Ramp(200000)), 0);
    ChooseLoad(22, Path("big.kal"), "");
    bool typeIgnored = false;
    ui_test::Post([&] {
        // Mid-load: a format change must not touch the record being filled.
        ui_test::UserSetVal(hLod, LO_TYP, 0);
        typeIgnored = s.Typ == 22;
        ui_test::UserClick(hSta, ST_ABO);
    });
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    EXPECT_TRUE(typeIgnored);
    EXPECT_EQ(DVal, 0);
    EXPECT_EQ(s.I, nullptr);
    EXPECT_EQ(EscFlg, 0);
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "Error: File Load Error.\nAborted.");
}

// After a good load the person opens a file dialog and changes their mind
// (or picks a path too long to keep): what the panel shows is still what the
// next load reads.
TEST_F(LoadPanel, ADialogThatChoosesNothingKeepsTheChosenFiles)
{
    ASSERT_EQ(Write(22, Path("a.kal"), "", Ramp(120)), 0);
    LoadThroughPanel(22, Path("a.kal"), "");
    ASSERT_EQ(DVal, 1);

    ui_test::QueueFileSelect(VAL_NO_FILE_SELECTED, "");
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, "/" + std::string(300, 'x'));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    ASSERT_FALSE(MessageTexts().empty()) << "the long path is refused with a message";
    EXPECT_EQ(std::string(s.INam), Path("a.kal"));
    EXPECT_EQ(Text(hLod, LO_DI), Path("a.kal"));
    EXPECT_EQ(DVal, 1) << "nothing was chosen, nothing changed";
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    EXPECT_TRUE(MessageTexts().empty());
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 120);

    // The second file of a pair, the same.
    const Samples x = Ramp(40);
    ASSERT_EQ(Write(5, Path("p.i"), Path("p.q"), x), 0);
    LoadThroughPanel(5, Path("p.i"), Path("p.q"));
    ui_test::QueueFileSelect(VAL_NO_FILE_SELECTED, "");
    ASSERT_EQ(ui_test::UserClick(hLod, LO_Q), 0);
    EXPECT_EQ(std::string(s.QNam), Path("p.q"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_LOAD), 0);
    EXPECT_EQ(DVal, 1);
    EXPECT_EQ(s.Len, 40);
}

// A file without a stored rate keeps the "Frequency" typed for it, also
// after a file that had one: the typed rate goes into the next save.
TEST_F(LoadPanel, AFileWithoutARateKeepsTheTypedFrequency)
{
    ASSERT_EQ(Write(0, Path("a.ibn"), "", Ramp(300), 2.5e6f), 0);
    ASSERT_EQ(Write(22, Path("b.kal"), "", Ramp(200)), 0);
    LoadThroughPanel(0, Path("a.ibn"), "");
    ASSERT_FLOAT_EQ(SRat, 2.5e6f);

    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_FRQ, 7e6), 0);
    LoadThroughPanel(22, Path("b.kal"), "");
    float shown = 0;
    GetCtrlVal(hLod, LO_FRQ, &shown);
    EXPECT_FLOAT_EQ(shown, 7e6f);
    EXPECT_FLOAT_EQ(SRat, 7e6f);

    ChooseSave(0, Path("out.ibn"), "");
    ASSERT_EQ(ui_test::UserClick(hSav, SA_SAV), 0);
    IqRec back{};
    std::snprintf(back.INam, sizeof back.INam, "%s", Path("out.ibn").c_str());
    ASSERT_EQ(LoadDatFile(&back), 0);
    EXPECT_FLOAT_EQ(back.Rat, 7e6f);
    FreeIqRec(&back);
}

// The reason of a failed load under the message's first line: a missing
// file, a file of another format.
TEST_F(LoadPanel, ALoadErrorSaysWhyOnItsSecondLine)
{
    LoadThroughPanel(22, Path("gone.kal"), "");
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(),
              "Error: File Load Error.\nThe file cannot be opened: No such file or directory.");

    std::ofstream(Path("text.sig")) << "this is no SPW file\n";
    LoadThroughPanel(13, Path("text.sig"), "");
    EXPECT_EQ(MessageTexts().back(), "Error: File Load Error.\nNot a file of this format.");
    EXPECT_EQ(DVal, 0);

    // Plain numbers have no header: a file of no numbers reads as nothing,
    // which is no data a panel may call valid, even after a good load.
    std::ofstream(Path("good.asc")) << "1 2\n3 4\n";
    LoadThroughPanel(2, Path("good.asc"), "");
    ASSERT_EQ(DVal, 1);
    for (int typ : {2, 10, 23}) {
        SCOPED_TRACE(typ);
        std::ofstream(Path("zeros.bin"), std::ios::binary) << std::string(64, '\0');
        LoadThroughPanel(typ, Path("zeros.bin"), "");
        EXPECT_EQ(MessageTexts().back(), "Error: File Load Error.\nThe file holds no samples of this format.");
        EXPECT_EQ(DVal, 0);
        EXPECT_EQ(HeldSamples(), 0);
        EXPECT_EQ(Dimmed(hRun, RN_SPEC), 1);
        EXPECT_EQ(Dimmed(hSav, SA_SAV), 1);
    }
}

// A SigMF recording is picked by one of its two files: the message names
// the one that is missing, and the panel's Q name stays as it was.
TEST_F(LoadPanel, AMissingFileOfARecordingIsNamed)
{
    std::ofstream(Path("r.sigmf-meta")) << R"({"global": {"core:datatype": "cf32_le"}, "captures": []})";
    LoadThroughPanel(24, Path("r.sigmf-meta"), "");
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_EQ(MessageTexts().back(), "Error: File Load Error.\n" + Path("r.sigmf-data") +
                                         ": the file cannot be opened: No such file or directory.");
    EXPECT_STREQ(s.QNam, "");
    LoadThroughPanel(24, Path("q.sigmf-data"), "");
    EXPECT_EQ(MessageTexts().back(), "Error: File Load Error.\n" + Path("q.sigmf-meta") +
                                         ": the file cannot be opened: No such file or directory.");
    EXPECT_EQ(DVal, 0);
}

// "Topaz Transm." is there only while the generator could take what is
// held: valid UInt16 words, at least one.  Every change that invalidates the
// data withdraws it, and the transfer refuses anything else on its own.
TEST_F(LoadPanel, TheTopazTransferFollowsWhatIsHeld)
{
    std::ofstream(Path("w.i")) << "1\n2\n3\n";
    std::ofstream(Path("w.q")) << "4\n5\n6\n";
    LoadThroughPanel(20, Path("w.i"), Path("w.q"));
    ASSERT_EQ(Dimmed(hLod, LO_TRA), 0);
    ASSERT_EQ(ui_test::UserSetVal(hLod, LO_TYP, 5), 0);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1) << "after a format change";
    EXPECT_EQ(Dimmed(hLod, LO_ADR), 1);

    LoadThroughPanel(20, Path("w.i"), Path("w.q"));
    ASSERT_EQ(Dimmed(hLod, LO_TRA), 0);
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, Path("w.i"));
    ASSERT_EQ(ui_test::UserClick(hLod, LO_I), 0);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1) << "after a new file was chosen";

    std::ofstream(Path("e.i")).close();
    std::ofstream(Path("e.q")).close();
    LoadThroughPanel(20, Path("e.i"), Path("e.q"));
    ASSERT_EQ(DVal, 0) << "empty files hold no valid data";
    ASSERT_EQ(s.Len, 0);
    EXPECT_EQ(Dimmed(hLod, LO_TRA), 1) << "no samples, no waveform";

    // Should the button be reached anyway, nothing goes out.
    SetCtrlAttribute(hLod, LO_TRA, ATTR_DIMMED, 0);
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserClick(hLod, LO_TRA), 0);
    ASSERT_EQ(MessageTexts().size(), 1u);
    EXPECT_EQ(MessageTexts()[0], "Error: No 16-bit word data (UInt16) are loaded.\nNothing was sent.");
    EXPECT_EQ(TransmitUInt16(6), TOPAZ_ERR_NODATA);
}

// The transfer blocks the window, so its Status text is drawn before it
// starts (here it then fails: no generator is reachable).
TEST_F(LoadPanel, TheTopazStatusTextIsOnTheScreenDuringTheTransfer)
{
    DisplayPanel(hRun);
    std::ofstream(Path("w.i")) << "1\n";
    std::ofstream(Path("w.q")) << "2\n";
    LoadThroughPanel(20, Path("w.i"), Path("w.q"));
    ProcessDrawEvents();
    const int before = ui_test::PaintCount(hSta);
    ASSERT_EQ(ui_test::UserClick(hLod, LO_TRA), 0);
    EXPECT_GT(ui_test::PaintCount(hSta), before);
    EXPECT_FALSE(ui_test::PanelVisible(hSta));
    ASSERT_FALSE(MessageTexts().empty());
    EXPECT_NE(MessageTexts().back().find("Please check Topaz address or GPIB cables."), std::string::npos);
}

}  // namespace
