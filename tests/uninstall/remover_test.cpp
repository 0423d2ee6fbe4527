// The remover against real settings files: every outcome of the two steps,
// and a link in the file's place that must not lead it elsewhere.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "settings_remover.h"
#include "uinstall.h"

namespace uninstall {
namespace {

const QString kAll = QString::fromUtf8(kAllRemovedMessage);
const QString kAlready = QString::fromUtf8(kAlreadyRemovedMessage);

void WriteFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each case: the file before the click, the message, whether the file is
// left, and whether a [Form] group is left in it.
TEST(Remover, OutcomesFollowTheSecondStep) {
    struct Case {
        const char* name;
        const char* before;  // nullptr: no file
        const char* message;
        bool fileLeft;
    };
    const Case cases[] = {
        {"section in the application's entry", "[Form]\nScroll=17\nPath=\n", kAllRemovedMessage,
         false},
        {"only the entry, with values of its own", "[General]\nx=1\n", kAllRemovedMessage, false},
        {"neither", nullptr, kAlreadyRemovedMessage, false},
        {"another group beside the section", "[Form]\nScroll=17\n[Other]\na=1\n",
         kAlreadyRemovedMessage, true},
    };
    const QString path = SettingsFilePath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(path);
        if (c.before != nullptr) {
            WriteFile(path, c.before);
        }
        EXPECT_EQ(RemoveSettings(), QString::fromUtf8(c.message));
        EXPECT_EQ(QFile::exists(path), c.fileLeft);
        if (c.fileLeft) {
            const QByteArray left = ReadFile(path);
            EXPECT_FALSE(left.contains("[Form]"));
            EXPECT_TRUE(left.contains("[Other]"));
        }
    }
    QFile::remove(path);
}

TEST(Remover, SecondClickFindsNothingLeft) {
    const QString path = SettingsFilePath();
    WriteFile(path, "[Form]\nScroll=20\n");
    std::vector<QString> shown;
    Uinstall window([&shown](const QString& text) { shown.push_back(text); });
    window.show();
    EXPECT_EQ(window.windowTitle(), "Удаление ключей реестра");
    EXPECT_EQ(window.focusWidget(), window.Command1);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], kAll);
    EXPECT_EQ(shown[1], kAlready);
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Remover, LinkInTheFilesPlaceIsRemovedButNotFollowed) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("precious.conf");
    WriteFile(target, "[Form]\nScroll=17\n");
    const QString path = SettingsFilePath();
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(QFile::link(target, path));
    EXPECT_EQ(RemoveSettings(), kAll);
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(ReadFile(target), "[Form]\nScroll=17\n");
}

}  // namespace
}  // namespace uninstall

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
