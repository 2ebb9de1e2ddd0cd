// Where the program finds its manual and keeps its settings: beside itself
// when built (or copied into a folder of its own), in the GNU layout and the
// user's configuration folder when installed, also as root.
#include "shell/config.h"
#include "shell/mainpanel.h"
#include "shell/menu.h"
#include "shell/places.h"
#include "shell/startup.h"
#include "state/globals.h"
#include "userint.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

class Places : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() / ("kalmira-places-" + std::to_string(getpid()));
        fs::create_directories(root / "config");
        std::memcpy(keepDir, WrkDir, sizeof keepDir);
        const char *old = std::getenv("XDG_CONFIG_HOME");
        keepXdg = old ? old : "";
        hadXdg = old != nullptr;
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        std::snprintf(AppNam, sizeof AppNam, "Kalmira");
    }
    void TearDown() override
    {
        std::memcpy(WrkDir, keepDir, sizeof keepDir);
        if (hadXdg)
            setenv("XDG_CONFIG_HOME", keepXdg.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(root);
    }
    // A program folder, with the manual at `manual` below `top` (none when empty).
    void Program(const fs::path &bin, const fs::path &manual)
    {
        fs::create_directories(bin);
        if (!manual.empty()) {
            fs::create_directories(manual.parent_path());
            std::ofstream(manual) << "<html></html>\n";
        }
        std::snprintf(WrkDir, sizeof WrkDir, "%s", bin.c_str());
    }
    static std::string Cfg()
    {
        char path[MAX_PATHNAME_LEN] = "";
        CfgPath(path);
        return path;
    }
    fs::path root;
    char keepDir[sizeof WrkDir];
    std::string keepXdg;
    bool hadXdg = false;
};

TEST_F(Places, ABuiltProgramHasItsManualAndSettingsBesideItself)
{
    Program(root / "build" / "bin", root / "build" / "bin" / "doc" / "manual.html");
    EXPECT_FALSE(ProgramInstalled());
    EXPECT_EQ(ManualPath(), (root / "build" / "bin" / "doc" / "manual.html").string());
    EXPECT_EQ(Cfg(), (root / "build" / "bin" / "Kalmira.cfg").string());
}

// The installed program writes nothing into its own folder, although the
// tests run as root, who could.
TEST_F(Places, AnInstalledProgramFindsItsManualAndKeepsItsSettingsInTheUsersFolder)
{
    const fs::path manual = root / "usr" / "share" / "kalmira" / "manual.html";
    Program(root / "usr" / "bin", manual);
    EXPECT_TRUE(ProgramInstalled());
    EXPECT_EQ(ManualPath(), manual.string());
    const std::string cfg = Cfg();
    EXPECT_EQ(cfg.rfind((root / "config").string(), 0), 0u) << cfg;
    EXPECT_EQ(fs::path(cfg).filename(), "Kalmira.cfg");
    EXPECT_EQ(cfg.find("/usr/bin"), std::string::npos) << cfg;
}

// The program's data folder alone decides: an installation whose
// documentation was left out (as minimal systems do) is still one, and a
// copy of the program in a bin folder beside other packages' documentation
// is not.
TEST_F(Places, TheDataFolderTellsAnInstallation)
{
    Program(root / "usr" / "bin", "");
    fs::create_directories(root / "usr" / "share" / "kalmira");
    EXPECT_TRUE(ProgramInstalled());
    EXPECT_EQ(ManualPath(), "");
    EXPECT_EQ(Cfg().rfind((root / "config").string(), 0), 0u) << Cfg();

    Program(root / "opt" / "bin", root / "opt" / "share" / "doc" / "kalmira" / "manual.html");
    EXPECT_FALSE(ProgramInstalled());
    EXPECT_EQ(ManualPath(), "");
    EXPECT_EQ(Cfg(), (root / "opt" / "bin" / "Kalmira.cfg").string());
}

// Help, Contents without a manual says so instead of doing nothing.
TEST_F(Places, AMissingManualIsSaid)
{
    Program(root / "lonely", "");
    EXPECT_EQ(ManualPath(), "");
    EXPECT_FALSE(ProgramInstalled());
    ASSERT_EQ(BuildPanels(), 0);
    ui_test::ClearPopups();
    ASSERT_EQ(ui_test::UserMenu(hMen, MN_HELP_HELP), 0);
    ASSERT_EQ(ui_test::Popups().size(), 1u);
    EXPECT_EQ(ui_test::Popups()[0].title, "Manual");
    EXPECT_NE(ui_test::Popups()[0].text.find("manual was not found"), std::string::npos);
    for (int p : {hRun, hSta, hDat})
        DiscardPanel(p);
}

}  // namespace
