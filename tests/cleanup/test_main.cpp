#include <cstdlib>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "sweep_test_support.h"

// QSettings fixes the user's configuration folder the first time it is
// used, so the whole test run works below one temporary XDG_CONFIG_HOME that
// is set before anything asks for it. The real ~/.config is never touched.
int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir root;
    if (!root.isValid()) return EXIT_FAILURE;
    fernwise::sweeptest::testRoot = root.path();
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(fernwise::sweeptest::configFolder()));

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int status = RUN_ALL_TESTS();
    fernwise::sweeptest::restoreAccess(root.path());
    return status;
}
