// Widget tests run on the offscreen platform with a private settings and
// runtime folder; the environment is set before Qt reads it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>

int main(int argc, char** argv) {
    QTemporaryDir home;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", qPrintable(home.filePath(QStringLiteral("config"))), 1);
    setenv("XDG_RUNTIME_DIR", qPrintable(home.path()), 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Chromola"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
