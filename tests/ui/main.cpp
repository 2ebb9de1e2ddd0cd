// The toolkit needs its application object before any test runs; tests run
// offscreen so that no display is needed.
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
