// The remover's window against real settings files: every outcome of the
// two steps, a link in the file's place that must not lead it elsewhere, and
// things other than a file there.
#include <gtest/gtest.h>

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

// The window's button, focused from the start, runs both steps; the second
// alone decides the message, so a click after a removal finds nothing left.
// A link in the file's place is removed, never the file it points to.
// Something other than a file counts as no file: a FIFO would block the
// remover (a hang fails the test by its time limit).
TEST(Remover, OutcomesFollowTheSecondStepAndALinkIsNotFollowed) {
    QTemporaryDir elsewhere;
    const QString target = elsewhere.filePath("precious.conf");
    const QString path = chromola::SettingsFilePath();
    QString shown;
    Uinstall window([&shown](const QString& text) { shown = text; });
    window.show();
    EXPECT_EQ(window.focusWidget(), window.Command1);
    // The player's file, where QSettings itself would put it.
    EXPECT_EQ(path,
              QSettings(QSettings::NativeFormat, QSettings::UserScope, "vbChromola").fileName());
    enum class Place { kFile, kLink, kFifo, kFolder };  // what is in the file's place
    // Each row: a name; the file (nullptr: none; with kLink it lies elsewhere);
    // what is in its place; the message; whether anything is left there.
    const std::tuple<const char*, const char*, Place, const char*, bool> cases[] = {
        {"section in the application's entry", "[Form]\nScroll=17\nPath=\n", Place::kFile,
         kAllRemovedMessage, false},
        {"only the entry, with values of its own", "[General]\nx=1\n", Place::kFile,
         kAllRemovedMessage, false},
        {"neither (a second click)", nullptr, Place::kFile, kAlreadyRemovedMessage, false},
        {"another group beside the section", "[Form]\nScroll=17\n[Other]\na=1\n", Place::kFile,
         kAlreadyRemovedMessage, true},
        {"unreadable line beside the section", "# note\n[Form]\nScroll=17\n", Place::kFile,
         kAllRemovedMessage, false},
        {"link", "[Form]\nScroll=17\n", Place::kLink, kAllRemovedMessage, false},
        {"FIFO", nullptr, Place::kFifo, kAlreadyRemovedMessage, true},
        {"folder", nullptr, Place::kFolder, kAlreadyRemovedMessage, true},
    };
    for (const auto& [name, before, place, message, fileLeft] : cases) {
        SCOPED_TRACE(name);
        if (before != nullptr) {
            WriteFile(place == Place::kLink ? target : path, before);
        }
        // The folder is there since the first case.
        if (place == Place::kLink) {
            ASSERT_TRUE(QFile::link(target, path));
        } else if (place == Place::kFifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path), 0600), 0);
        } else if (place == Place::kFolder) {
            ASSERT_TRUE(QDir().mkdir(path));
        }
        shown.clear();
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        EXPECT_EQ(shown, QString::fromUtf8(message));
        const QFileInfo left(path);
        EXPECT_EQ(left.exists() || left.isSymLink(), fileLeft);
        if (before != nullptr && fileLeft) {
            EXPECT_EQ(ReadFile(path), "[Other]\na=1\n");
        }
        if (place == Place::kLink) {
            EXPECT_EQ(ReadFile(target), before);
        }
        if (!QFile::remove(path)) {
            QDir().rmdir(path);
        }
    }
    // The remote's secret goes too, and its folder once empty; a link in its
    // place goes, never the file it points to.
    const QString secret = chromola::RemoteSecretFilePath();
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "secret as a link" : "secret");
        WriteFile(link ? target : secret, "k");
        if (link) {
            QDir().mkpath(QFileInfo(secret).absolutePath());
            ASSERT_TRUE(QFile::link(target, secret));
        }
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        EXPECT_FALSE(QFileInfo(secret).exists() || QFileInfo(secret).isSymLink());
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(secret).absolutePath()));
    }
    EXPECT_EQ(ReadFile(target), "k");
}

}  // namespace
}  // namespace uninstall
