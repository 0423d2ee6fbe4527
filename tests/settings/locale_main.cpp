// Runs the tests under the locale named by CHROMOLA_TEST_LOCALE (for example
// de_DE) when it is set, as if the user's system had that locale.
#include <gtest/gtest.h>

#include <QLocale>
#include <QString>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* name = std::getenv("CHROMOLA_TEST_LOCALE"); name != nullptr && *name != '\0') {
        QLocale::setDefault(QLocale(QString::fromLocal8Bit(name)));
    }
    return RUN_ALL_TESTS();
}
