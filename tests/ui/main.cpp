// The toolkit needs its application object before any test runs; tests run
// offscreen so that no display is needed.
//
// "ui_tests --duplicate-probe NAME" is the second copy of the
// duplicate-instance test: it checks for a running copy under NAME and
// exits with 3 when it found one, 4 when it did not.
#include "userint.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// Under the leak checker: fontconfig keeps a cache for the life of the
// process, which is no leak of ours.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (argc == 3 && std::strcmp(argv[1], "--duplicate-probe") == 0) {
        InitUserInterface(argc, argv);
        QCoreApplication::setApplicationName(argv[2]);
        int other = 0;
        if (CheckForDuplicateAppInstance(ACTIVATE_OTHER_INSTANCE, &other) < 0)
            return 5;
        return other ? 3 : 4;
    }
    ::testing::InitGoogleTest(&argc, argv);
    InitUserInterface(argc, argv);
    ui_test::SetScripted(true);
    return RUN_ALL_TESTS();
}
