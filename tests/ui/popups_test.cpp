#include "userint.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Popups, ScriptedPopupsAreRecordedAndFileAnswersComeFromTheQueue)
{
    ui_test::ClearPopups();
    EXPECT_EQ(MessagePopup("About", "line one\nline two"), 0);
    CVI_Beep();
    char path[MAX_PATHNAME_LEN] = "stale";
    // Empty queue: nothing chosen and the path is emptied.
    EXPECT_EQ(FileSelectPopup("", "*.cfg", "*.cfg", "Load Configuration", VAL_LOAD_BUTTON, 0, 1, 1, 1, path),
              VAL_NO_FILE_SELECTED);
    EXPECT_STREQ(path, "");
    ui_test::QueueFileSelect(VAL_NEW_FILE_SELECTED, "/tmp/new.cfg");
    ui_test::QueueFileSelect(VAL_EXISTING_FILE_SELECTED, std::string(400, 'x'));
    EXPECT_EQ(FileSelectPopup("", "*.cfg", "*.cfg", "Save Configuration", VAL_SAVE_BUTTON, 0, 1, 1, 1, path),
              VAL_NEW_FILE_SELECTED);
    EXPECT_STREQ(path, "/tmp/new.cfg");
    // A path longer than the caller's buffer is an error, never a cut name.
    EXPECT_LT(FileSelectPopup("", "*.i", "*.i", "Select File", VAL_SELECT_BUTTON, 0, 0, 1, 1, path), 0);
    EXPECT_STREQ(path, "");

    const double values[3] = {1.5, -2.0, 4.25};
    const float fvalues[2] = {0.5f, 7.0f};
    EXPECT_EQ(YGraphPopup("Yeah", values, 3, VAL_DOUBLE), 0);
    EXPECT_EQ(YGraphPopup("Floats", fvalues, 2, VAL_FLOAT), 0);
    EXPECT_LT(YGraphPopup("Ints", values, 3, VAL_INTEGER), 0);
    EXPECT_LT(YGraphPopup("Null", nullptr, 3, VAL_DOUBLE), 0);

    const auto &rec = ui_test::Popups();
    ASSERT_EQ(rec.size(), 8u);
    EXPECT_EQ(rec[0].kind, "message");
    EXPECT_EQ(rec[0].title, "About");
    EXPECT_EQ(rec[0].text, "line one\nline two");
    EXPECT_EQ(rec[1].kind, "beep");
    EXPECT_EQ(rec[2].kind, "file");
    EXPECT_EQ(rec[2].title, "Load Configuration");
    EXPECT_EQ(rec[2].text, "*.cfg");
    EXPECT_EQ(rec[5].kind, "message");   // the too-long path was reported
    EXPECT_EQ(rec[6].kind, "graph");
    EXPECT_EQ(rec[6].title, "Yeah");
    EXPECT_EQ(rec[6].count, 3);
    EXPECT_EQ(rec[6].values, std::vector<double>({1.5, -2.0, 4.25}));
    EXPECT_EQ(rec[7].values, std::vector<double>({0.5, 7.0}));
    ui_test::ClearPopups();
    EXPECT_TRUE(ui_test::Popups().empty());
    EXPECT_EQ(SetSystemPopupsAttribute(ATTR_SYSTEM_POPUPS_LOOK, 1), 0);
}

int quitFrom = 0;

int QuitOnCommit(int, int control, int event, void *, int, int)
{
    if (event == EVENT_COMMIT) {
        quitFrom = control;
        QuitUserInterface(control * 10);
    }
    return 0;
}

TEST(EventLoop, RunsUntilQuitAndCanRunAgain)
{
    const int p = NewPanel(0, "Loop", 30, 16, 100, 200);
    const int quit = NewCtrl(p, CTRL_COMMAND_BUTTON, "__Quit", 20, 20);
    InstallCtrlCallback(p, quit, QuitOnCommit, nullptr);
    SetPanelAttribute(p, ATTR_CLOSE_CTRL, quit);
    DisplayPanel(p);

    ui_test::Post([&] { ui_test::UserClick(p, quit); }, 10);
    EXPECT_EQ(RunUserInterface(), quit * 10);
    quitFrom = 0;
    ui_test::Post([&] { ui_test::UserClosePanel(p); });
    EXPECT_EQ(RunUserInterface(), quit * 10);
    EXPECT_EQ(quitFrom, quit);

    // Events posted during a long callback wait for ProcessSystemEvents.
    int ran = 0;
    ui_test::Post([&] { ++ran; });
    ProcessSystemEvents();
    EXPECT_EQ(ran, 1);
    DiscardPanel(p);
}

}  // namespace
