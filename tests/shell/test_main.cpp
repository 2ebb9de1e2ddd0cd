// The shell tests drive the real panels offscreen, with scripted pop-ups.
#include "userint.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    InitUserInterface(argc, argv);
    ui_test::SetScripted(true);
    return RUN_ALL_TESTS();
}
