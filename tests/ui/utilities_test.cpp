#include "userint.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

TEST(Utilities, PathsFilesAndSizes)
{
    char dir[MAX_PATHNAME_LEN], path[MAX_PATHNAME_LEN];
    ASSERT_EQ(GetModuleDir(dir), 0);
    ASSERT_EQ(GetProgramPath(path), 0);
    EXPECT_EQ(std::string(path).rfind(std::string(dir) + "/", 0), 0u);
    EXPECT_EQ(std::string(path).substr(std::string(path).size() - 8), "ui_tests");

    char drive[8], d[MAX_PATHNAME_LEN], f[MAX_PATHNAME_LEN];
    ASSERT_EQ(SplitPath("/data/run/sig.old.i", drive, d, f), 0);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(d, "/data/run/");
    EXPECT_STREQ(f, "sig.old.i");
    ASSERT_EQ(SplitPath("plain", drive, d, f), 0);
    EXPECT_STREQ(d, "");
    EXPECT_STREQ(f, "plain");

    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const std::string file = tmp.filePath("x.cfg").toStdString();
    {
        QFile out(QString::fromStdString(file));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write("12345");
    }
    int ro = -1, sys = -1, hid = -1, arc = -1;
    EXPECT_EQ(GetFileAttrs(file.c_str(), &ro, &sys, &hid, &arc), 0);
    EXPECT_EQ(ro, 0);
    EXPECT_EQ(GetFileAttrs(tmp.path().toUtf8().constData(), &ro, &sys, &hid, &arc), 1);
    EXPECT_EQ(GetFileAttrs((file + ".missing").c_str(), &ro, &sys, &hid, &arc), -1);
    long size = 0;
    ASSERT_EQ(CVI_GetFileSize(file.c_str(), &size), 0);
    EXPECT_EQ(size, 5);
    EXPECT_LT(CVI_GetFileSize((file + ".missing").c_str(), &size), 0);

    const QString before = QDir::currentPath();
    ASSERT_EQ(SetDir(tmp.path().toUtf8().constData()), 0);
    EXPECT_EQ(QDir::currentPath(), QDir(tmp.path()).canonicalPath());
    EXPECT_LT(SetDir("/no/such/dir/here"), 0);
    SetDir(before.toUtf8().constData());

    // The launched program really runs: it leaves a file behind.
    const std::string mark = tmp.filePath("launched").toStdString();
    ASSERT_EQ(LaunchExecutable(("touch " + mark).c_str()), 0);
    for (int i = 0; i < 200 && !QFile::exists(QString::fromStdString(mark)); ++i)
        usleep(10000);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(mark)));
    EXPECT_LT(LaunchExecutable("/no/such/program"), 0);
    EXPECT_LT(OpenDocument((file + ".missing").c_str()), 0);
}

TEST(Utilities, StringsSearchAndClock)
{
    char text[] = "GetServerID Kalmira.CFG";
    StringLowerCase(text);
    EXPECT_STREQ(text, "getserverid kalmira.cfg");
    const char *buf = "abcXYZabcxyz";
    EXPECT_EQ(FindPattern(buf, 0, -1, "abc", 1, 0), 0);
    EXPECT_EQ(FindPattern(buf, 1, -1, "abc", 1, 0), 6);
    EXPECT_EQ(FindPattern(buf, 0, -1, "abc", 1, 1), 6);
    EXPECT_EQ(FindPattern(buf, 0, -1, "xyz", 1, 0), 9);
    EXPECT_EQ(FindPattern(buf, 0, -1, "xyz", 0, 0), 3);
    EXPECT_EQ(FindPattern(buf, 0, 6, "XYZ", 1, 0), 3);
    EXPECT_EQ(FindPattern(buf, 0, 5, "XYZ", 1, 0), -1);   // the match would run past the count
    EXPECT_EQ(FindPattern(buf, 0, -1, "nope", 0, 0), -1);
    EXPECT_EQ(FindPattern(buf, 40, -1, "a", 0, 0), -1);
    const double t0 = Timer();
    usleep(20000);
    EXPECT_GE(Timer() - t0, 0.019);
}

TEST(Utilities, SystemAndMonitorAttributes)
{
    int v = -1;
    ASSERT_EQ(GetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, &v), 0);
    EXPECT_EQ(v, 0);
    ASSERT_EQ(SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 100), 0);
    GetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, &v);
    EXPECT_EQ(v, 100);
    SetSystemAttribute(ATTR_RESOLUTION_ADJUSTMENT, 0);
    const int p = NewPanel(0, "Mon", 30, 16, 100, 100);
    int mon = 0, w = 0, h = 0;
    ASSERT_EQ(GetMonitorFromPanel(p, &mon), 0);
    ASSERT_EQ(GetMonitorAttribute(mon, ATTR_SYSTEM_MONITOR_WIDTH, &w), 0);
    ASSERT_EQ(GetMonitorAttribute(mon, ATTR_SYSTEM_MONITOR_HEIGHT, &h), 0);
    EXPECT_GT(w, 0);
    EXPECT_GT(h, 0);
    EXPECT_LT(GetMonitorAttribute(99, ATTR_SYSTEM_MONITOR_WIDTH, &w), 0);
    DiscardPanel(p);

    char dir[MAX_PATHNAME_LEN];
    ASSERT_EQ(GetUserConfigDir(dir), 0);
    EXPECT_TRUE(QDir(dir).exists());
}

TEST(DuplicateInstance, TheSecondCopyIsToldAndTheFirstComesToTheFront)
{
    const QString name = QString("ui_tests_dup_%1").arg(getpid());
    QCoreApplication::setApplicationName(name);
    const int main = NewPanel(0, "First", 30, 16, 100, 100);
    int other = -1;
    ASSERT_EQ(CheckForDuplicateAppInstance(ACTIVATE_OTHER_INSTANCE, &other), 0);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(ui_test::PanelVisible(main), 0);

    QProcess second;
    second.start(QCoreApplication::applicationFilePath(), {"--duplicate-probe", name});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    for (int i = 0; i < 200 && ui_test::PanelVisible(main) != 1; ++i) {
        ProcessSystemEvents();
        usleep(5000);
    }
    EXPECT_EQ(ui_test::PanelVisible(main), 1);

    // Under another name nobody answers.
    QProcess lone;
    lone.start(QCoreApplication::applicationFilePath(), {"--duplicate-probe", name + "_other"});
    ASSERT_TRUE(lone.waitForFinished(10000));
    EXPECT_EQ(lone.exitCode(), 4);
    DiscardPanel(main);
}

}  // namespace
