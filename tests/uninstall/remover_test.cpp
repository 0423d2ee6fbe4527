// The remover against real settings files: every outcome of the two steps,
// a link in the file's place that must not lead it elsewhere, and things
// other than a file there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "common/settings_location.h"
#include "settings_remover.h"
#include "uinstall.h"

#include <sys/stat.h>

namespace uninstall {
namespace {

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

// The second step alone decides the message. A link in the file's place is
// removed, never the file it points to. Something other than a file counts
// as no file: a FIFO would block the remover (a hang fails the test by its
// time limit).
TEST(Remover, OutcomesFollowTheSecondStepAndALinkIsNotFollowed) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("precious.conf");
    const QString path = chromola::SettingsFilePath();
    QFile::remove(path);
    // The player's file, where QSettings itself would put it.
    EXPECT_EQ(path,
              QSettings(QSettings::NativeFormat, QSettings::UserScope, "vbChromola").fileName());
    enum class Place { kFile, kLink, kFifo, kFolder };  // what is in the file's place
    struct Case {
        const char* name;
        const char* before;  // nullptr: no file; with kLink it lies elsewhere
        Place place;
        const char* message;
        bool fileLeft;
    };
    const Case cases[] = {
        {"section in the application's entry", "[Form]\nScroll=17\nPath=\n", Place::kFile,
         kAllRemovedMessage, false},
        {"only the entry, with values of its own", "[General]\nx=1\n", Place::kFile,
         kAllRemovedMessage, false},
        {"neither", nullptr, Place::kFile, kAlreadyRemovedMessage, false},
        {"another group beside the section", "[Form]\nScroll=17\n[Other]\na=1\n", Place::kFile,
         kAlreadyRemovedMessage, true},
        {"unreadable line beside the section", "# note\n[Form]\nScroll=17\n", Place::kFile,
         kAllRemovedMessage, false},
        {"link", "[Form]\nScroll=17\n", Place::kLink, kAllRemovedMessage, false},
        {"FIFO", nullptr, Place::kFifo, kAlreadyRemovedMessage, true},
        {"folder", nullptr, Place::kFolder, kAlreadyRemovedMessage, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.before != nullptr) {
            WriteFile(c.place == Place::kLink ? target : path, c.before);
        }
        // The folder is there since the first case.
        if (c.place == Place::kLink) {
            ASSERT_TRUE(QFile::link(target, path));
        } else if (c.place == Place::kFifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path), 0600), 0);
        } else if (c.place == Place::kFolder) {
            ASSERT_TRUE(QDir().mkdir(path));
        }
        EXPECT_EQ(RemoveSettings(), QString::fromUtf8(c.message));
        const QFileInfo left(path);
        EXPECT_EQ(left.exists() || left.isSymLink(), c.fileLeft);
        if (c.before != nullptr && c.fileLeft) {
            EXPECT_EQ(ReadFile(path), "[Other]\na=1\n");
        }
        if (c.place == Place::kLink) {
            EXPECT_EQ(ReadFile(target), c.before);
        }
        if (!QFile::remove(path)) {
            QDir().rmdir(path);
        }
    }
}

TEST(Remover, SecondClickFindsNothingLeft) {
    const QString path = chromola::SettingsFilePath();
    WriteFile(path, "[Form]\nScroll=20\n");
    std::vector<QString> shown;
    Uinstall window([&shown](const QString& text) { shown.push_back(text); });
    window.show();
    EXPECT_EQ(window.focusWidget(), window.Command1);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    QTest::mouseClick(window.Command1, Qt::LeftButton);
    EXPECT_EQ(shown, (std::vector<QString>{kAllRemovedMessage, kAlreadyRemovedMessage}));
    EXPECT_FALSE(QFile::exists(path));
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
