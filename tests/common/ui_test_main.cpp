// Tests of the program drive the real panels offscreen, with scripted pop-ups.
#include "userint.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // A private temporary folder keeps the instance check away from a Kalmira
    // that a person has open on this machine.
    char tmp[] = "/tmp/kalmira-shell-XXXXXX";
    if (mkdtemp(tmp))
        setenv("TMPDIR", tmp, 1);
    ::testing::InitGoogleTest(&argc, argv);
    InitUserInterface(argc, argv);
    ui_test::SetScripted(true);
    return RUN_ALL_TESTS();
}
