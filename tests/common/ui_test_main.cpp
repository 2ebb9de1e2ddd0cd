// Tests of the program drive the real panels offscreen, with scripted pop-ups.
#include "userint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A private temporary folder keeps the instance check away from a Kalmira
    // that a person has open on this machine.
    char tmp[] = "/tmp/kalmira-shell-XXXXXX";
    const bool own = mkdtemp(tmp) != nullptr;
    if (own)
        setenv("TMPDIR", tmp, 1);
    ::testing::InitGoogleTest(&argc, argv);
    InitUserInterface(argc, argv);
    ui_test::SetScripted(true);
    // The program's folder as start-up sees it: private too, so that no test
    // reads or writes the configuration beside the built program.
    if (own) {
        const std::string program = std::string(tmp) + "/program";
        mkdir(program.c_str(), 0700);
        ui_test::SetModuleDir(program);
    }
    const int rc = RUN_ALL_TESTS();
    if (own) {
        std::error_code ignored;
        std::filesystem::remove_all(tmp, ignored);
    }
    return rc;
}
