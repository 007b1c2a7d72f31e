#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "window_test_support.h"

namespace fernwise::windowtest {
namespace {
QString root;
}
QString testRoot() { return root; }
}  // namespace fernwise::windowtest

// The settings store fixes its folder at first use, so a temporary
// XDG_CONFIG_HOME is set before anything asks; the user's own settings are
// never touched.
int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    if (!folder.isValid()) return EXIT_FAILURE;
    fernwise::windowtest::root = folder.path();
    QDir(folder.path()).mkpath("config");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path() + "/config"));
    // The program's history.txt and other files land in the temporary folder.
    QDir::setCurrent(folder.path());

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
