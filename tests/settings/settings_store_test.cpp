// The settings through the real file and the real player: the first start,
// damaged values, the write at exit, the file's safety when a write fails,
// unreadable lines, links and things other than a file in the file's place.
// Every rule of the values themselves: settings_codec_test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

#include "audio_fixtures.h"
#include "player_harness.h"
#include "settings/settings_store.h"

namespace chromola::testing {
namespace {

using Values = QList<QPair<QString, QString>>;

// settings_write_probe's answer when this machine cannot refuse it links.
constexpr int kProbeCannotLimit = 77;

void WriteStore(const Values& values) {
    ForgetSettings();
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    for (const auto& [name, text] : values) {
        settings.setValue("Form/" + name, text);
    }
}

void PutFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The settings file as a reader parses it, every value as text; nothing when
// it does not parse. QSettings may answer from what it read of a path
// before, so the bytes are read through a copy under a name it has not seen.
std::optional<QMap<QString, QString>> ParsedFile(const QString& path = SettingsFilePath()) {
    QTemporaryDir dir;
    const QString copy = dir.filePath("copy.conf");
    if (!QFile::copy(path, copy)) {
        return std::nullopt;
    }
    const QSettings settings(copy, QSettings::IniFormat);
    QMap<QString, QString> values;
    for (const QString& key : settings.allKeys()) {
        values[key] = settings.value(key).toString();
    }
    if (settings.status() != QSettings::NoError) {
        return std::nullopt;
    }
    return values;
}

QString StoredText(const QString& name) {
    return ParsedFile().value_or(QMap<QString, QString>()).value("Form/" + name);
}

// Everything in the settings folder.
QStringList SettingsFolder() {
    return QDir(QFileInfo(SettingsFilePath()).absolutePath())
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// What QSettings makes of damaged text (it reads "1,2,3" as a list and
// escapes NUL) takes its default before it reaches the window; values the
// player keeps are written back as read. Every rule of the values:
// settings_codec_test.
TEST(SettingsStore, DamagedValuesTakeTheirDefaultsAndKeptOnesAreWrittenBack) {
    const QString nul5 = QString(QChar(u'\0')) + "5";
    WriteStore({{"Scroll", "1,2,3"}, {"Green", nul5}, {"Blue", "5"}, {"Inverse", "2"}});
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    EXPECT_EQ(harness.form().VScroll1->value(), 17);
    EXPECT_EQ(harness.state().GreenGain, 0.4f);
    EXPECT_EQ(harness.state().BlueGain, 5 * 0.025f);
    EXPECT_EQ(harness.state().InvertColours, 2);
    harness.Close();
    EXPECT_EQ(StoredText("Blue"), "5");
    EXPECT_EQ(StoredText("Inverse"), "2");
}

TEST(SettingsStore, ExitWritesPlaylistWindowAndOptionsThatTheNextStartRestores) {
    TempDir dir;
    const QString a = WriteTone(dir, "a.mp3", {.seconds = 30}, AudioFormat::Mp3);
    const QString b = WriteTone(dir, "b.ogg", {.seconds = 30}, AudioFormat::OggVorbis);
    const QString folder = QPath(dir.path());
    ForgetSettings();
    {
        PlayerHarness harness;
        ASSERT_FALSE(harness.Start().has_value());
        harness.ChooseFiles({a, b});
        QTest::mouseClick(harness.form().Command3, Qt::LeftButton);
        harness.form().VScroll1->setValue(20);
        harness.state().PauseSeconds = 2.5;
        harness.state().GreenGain = 24 * 0.025f;
    }
    const QChar nul(u'\0');
    EXPECT_EQ(StoredText("Path"), folder + nul + "a.mp3" + nul + "b.ogg" + nul + nul);
    EXPECT_EQ(StoredText("Track"), "1");
    EXPECT_EQ(StoredText("Scroll"), "20");
    EXPECT_EQ(StoredText("State"), "0");
    EXPECT_EQ(StoredText("Green"), "24");
    // With the locale's decimal separator (every decimal-comma rule:
    // settings_codec_test, which also runs under a decimal-comma locale).
    EXPECT_EQ(StoredText("Pause"), QLocale().decimalPoint() == "," ? "2,5" : "2.5");
    // The window's geometry through restarts: the window_round_trip
    // end-to-end case.

    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.form().List1->count(), 2);
    EXPECT_EQ(again.form().List1->currentRow(), 1);
    EXPECT_TRUE(again.IsPlaying());
    EXPECT_EQ(again.form().VScroll1->value(), 20);
    EXPECT_EQ(again.state().PauseSeconds, 2.5);
    EXPECT_EQ(again.state().GreenGain, 24 * 0.025f);

    // One file chosen alone is kept as its path; an emptied list as nothing.
    // A minimised window is stored as 1 but comes back normal.
    again.ChooseFiles({b});
    again.form().showMinimized();
    Spin(20);
    again.Close();
    EXPECT_EQ(StoredText("Path"), b);
    EXPECT_EQ(StoredText("State"), "1");

    PlayerHarness last;
    ASSERT_FALSE(last.Start().has_value());
    EXPECT_EQ(last.form().windowStateValue(), kNormal);
    last.form().List1->setCurrentRow(0);
    last.form().mDel->trigger();
    last.Close();
    EXPECT_EQ(StoredText("Path"), "");
}

// The store in a process of its own, where a file system's limits can be
// set: a full disk (the new file larger than the process may write) leaves
// the previous file byte for byte; a file system without hard links or
// unnamed temporary files, such as vfat, still saves. Either way what an
// interrupted save left beside the file is gone, and only that.
TEST(SettingsStore, WriteUnderFileSystemLimits) {
    struct Case {
        const char* name;
        QString program;
        QStringList arguments;
        bool saved;
    };
    const Case cases[] = {
        {"full disk", "prlimit", {"--fsize=200", "--", SETTINGS_WRITE_PROBE}, false},
        {"no hard links", SETTINGS_WRITE_PROBE, {"no-links"}, true},
    };
    const QByteArray before = "[Form]\nScroll=20\nPath=/music/a.mp3\n\n[Other]\na=1\n";
    const QStringList interrupted = {
        "vbChromola.conf.new",        "vbChromola.conf.new.lock",     "vbChromola.conf.new.check",
        "vbChromola.conf.new.drXKQM", "vbChromola.conf.new0",         "vbChromola.conf.new7.lock",
        "vbChromola.conf.new7.check", "vbChromola.conf.new12.a1B2c3",
    };
    const QStringList others = {"other.conf.new", "vbChromola.conf.bak", "vbChromola.conf.lock",
                                "vbChromola.conf.new.orig", "vbChromola.conf.newer"};
    QStringList after = others + QStringList{"vbChromola.conf"};
    after.sort();
    const QString folder = QFileInfo(SettingsFilePath()).absolutePath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSettings();
        QDir().mkpath(folder);
        PutFile(SettingsFilePath(), before);
        for (const QString& name : interrupted + others) {
            PutFile(folder + "/" + name, "[Form]\nScroll=2\n");
        }
        QProcess probe;
        probe.start(c.program, c.arguments);
        ASSERT_TRUE(probe.waitForFinished(10000));
        if (probe.exitCode() == kProbeCannotLimit) {
            GTEST_SKIP() << "this machine cannot refuse links to one process";
        }
        EXPECT_EQ(probe.exitCode() == 0, c.saved) << probe.readAllStandardError().toStdString();
        if (c.saved) {
            EXPECT_EQ(StoredText("Scroll"), "30");
            EXPECT_EQ(StoredText("Path"), QString(4000, 'x'));
            EXPECT_EQ(ParsedFile().value_or(QMap<QString, QString>()).value("Other/a"), "1");
        } else {
            EXPECT_EQ(FileBytes(SettingsFilePath()), before);
        }
        EXPECT_EQ(SettingsFolder(), after);
        for (const QString& name : others) {
            QFile::remove(folder + "/" + name);
        }
    }
}

// Lines QSettings cannot read do not stop saving: what can be read is read
// at start, and the next save writes a whole new file without the rest,
// keeping the other groups it could read.
TEST(SettingsStore, UnreadableLinesDoNotStopSaving) {
    const QByteArray readable = "[Form]\nScroll=20\n[Other]\na=1\n";
    struct Case {
        const char* name;
        QByteArray before;
        QByteArray unreadable;  // gone after the save
        int scroll;             // as read at start
    };
    const Case cases[] = {
        {"comment", "# note\n" + readable, "#", 20},
        {"byte-order mark", "\xef\xbb\xbf" + readable, "\xef\xbb\xbf", 20},
        {"conflict markers",
         "[Form]\n<<<<<<< ours\nScroll=20\n=======\nScroll=21\n>>>>>>> theirs\n[Other]\na=1\n",
         "<<<", 21},
        {"key without a value", "[Form]\nLoudness\nScroll=20\n[Other]\na=1\n", "Loudness", 20},
        {"binary",
         QByteArray("\x7f"
                    "ELF\2\1\1\0\0\xff\n",
                    11) +
             readable,
         "ELF", 20},
        {"binary alone", QByteArray("\0\1\2\3[\xfe\xff\n=\r\0", 11), "\xfe", 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSettings();
        QDir().mkpath(QFileInfo(SettingsFilePath()).absolutePath());
        PutFile(SettingsFilePath(), c.before);
        ASSERT_EQ(::chmod(QFile::encodeName(SettingsFilePath()), 0600), 0);
        StoredSettings settings = SettingsStore::Read(QLocale::c());
        EXPECT_EQ(settings.scroll, c.scroll);
        settings.scroll = 30;
        EXPECT_TRUE(SettingsStore::Write(settings, QLocale::c()));
        const auto parsed = ParsedFile();
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->value("Form/Scroll"), "30");
        EXPECT_EQ(parsed->value("Other/a"), c.before.contains("[Other]") ? "1" : "");
        EXPECT_FALSE(FileBytes(SettingsFilePath()).contains(c.unreadable));
        struct stat after {};
        ASSERT_EQ(::stat(QFile::encodeName(SettingsFilePath()), &after), 0);
        EXPECT_EQ(after.st_mode & 0777, 0600u);  // as before
    }
}

// A link in the file's place, as dotfile managers keep it, stays a link and
// the file at its end gets the values. A link to a missing file leads to it
// when its folder exists and gives way to the file otherwise.
TEST(SettingsStore, SaveKeepsALinkInTheFilesPlace) {
    const QString path = SettingsFilePath();
    const QString config = QFileInfo(path).absolutePath();
    const TempDir scratch;
    const QString dotfiles = QPath(scratch / "dotfiles");
    QDir().mkpath(config);
    QDir().mkpath(dotfiles);
    struct Case {
        const char* name;
        QString link;  // what the link in the file's place says
        // Not empty: `link` names a second link, in the settings folder,
        // which says this.
        QString middle;
        QString end;   // where the values go; empty: the link gives way to the file
        bool existed;  // `end` held Scroll=20 and the group Other before
    };
    const Case cases[] = {
        {"link to a file", dotfiles + "/a.conf", "", dotfiles + "/a.conf", true},
        {"relative link to a link", "b.conf", dotfiles + "/b.conf", dotfiles + "/b.conf", true},
        {"link to a missing file", dotfiles + "/c.conf", "", dotfiles + "/c.conf", false},
        {"link into a missing folder", dotfiles + "/none/d.conf", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSettings();
        if (c.existed) {
            PutFile(c.end, "[Form]\nScroll=20\n[Other]\na=1\n");
        }
        ASSERT_EQ(::symlink(QFile::encodeName(c.link), QFile::encodeName(path)), 0);
        const QString middle = config + "/" + c.link;
        if (!c.middle.isEmpty()) {
            ASSERT_EQ(::symlink(QFile::encodeName(c.middle), QFile::encodeName(middle)), 0);
        }
        StoredSettings settings = SettingsStore::Read(QLocale::c());
        EXPECT_EQ(settings.scroll, c.existed ? 20 : 17);
        settings.scroll = 30;
        EXPECT_TRUE(SettingsStore::Write(settings, QLocale::c()));

        EXPECT_EQ(QFileInfo(path).isSymLink(), !c.end.isEmpty());
        EXPECT_EQ(QFileInfo(middle).isSymLink(), !c.middle.isEmpty());
        const auto parsed = ParsedFile(c.end.isEmpty() ? path : c.end);
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(parsed->value("Form/Scroll"), "30");
        EXPECT_EQ(parsed->value("Other/a"), c.existed ? "1" : "");
        EXPECT_FALSE(QFileInfo::exists(dotfiles + "/none"));
        const QStringList ours = {"*.new*"};
        EXPECT_EQ(
            QDir(config).entryList(ours, QDir::AllEntries | QDir::Hidden | QDir::System) +
                QDir(dotfiles).entryList(ours, QDir::AllEntries | QDir::Hidden | QDir::System),
            QStringList());
        QFile::remove(path);
        QFile::remove(middle);
        QFile::remove(c.end);
    }
}

// Something other than a file in the settings' place is neither read nor
// replaced: a FIFO would block whoever opens it (a hang fails the test by its
// time limit), and a folder is not the player's to remove.
TEST(SettingsStore, OnlyAFileIsReadOrReplaced) {
    const QString path = SettingsFilePath();
    const TempDir scratch;
    const QString fifo = QPath(scratch / "elsewhere.fifo");
    QDir().mkpath(QFileInfo(path).absolutePath());
    struct Case {
        const char* name;
        std::function<bool()> make;
        mode_t type;  // what lstat finds in the file's place, before and after
    };
    const Case cases[] = {
        {"FIFO", [&] { return ::mkfifo(QFile::encodeName(path), 0600) == 0; }, S_IFIFO},
        {"folder", [&] { return QDir().mkdir(path); }, S_IFDIR},
        {"link to a FIFO",
         [&] { return ::mkfifo(QFile::encodeName(fifo), 0600) == 0 && QFile::link(fifo, path); },
         S_IFLNK},
        {"link to itself",
         [&] { return ::symlink(QFile::encodeName(path), QFile::encodeName(path)) == 0; }, S_IFLNK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSettings();
        ASSERT_TRUE(c.make());
        StoredSettings written;
        written.scroll = 30;
        EXPECT_FALSE(SettingsStore::Write(written, QLocale::c()));
        EXPECT_EQ(SettingsStore::Read(QLocale::c()).scroll, 17);
        struct stat left {};
        ASSERT_EQ(::lstat(QFile::encodeName(path), &left), 0);
        EXPECT_EQ(left.st_mode & S_IFMT, c.type);
        EXPECT_EQ(SettingsFolder(), QStringList{"vbChromola.conf"});
        if (!QFile::remove(path)) {
            QDir().rmdir(path);
        }
        QFile::remove(fifo);
    }
}

}  // namespace
}  // namespace chromola::testing
