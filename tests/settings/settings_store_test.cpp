// The settings through the real file and the real player: the write at
// exit, the file's safety when a write fails, unreadable lines and damaged
// values, links and things other than a file in the file's place.
// Every rule of the values themselves: settings_codec_test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "audio_fixtures.h"
#include "player_harness.h"
#include "settings/settings_store.h"

namespace chromola::testing {
namespace {

// settings_write_probe's answer when this machine cannot refuse it links.
constexpr int kProbeCannotLimit = 77;

void PutFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray FileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A value ("Group/Name") of a settings file as a reader parses it, as text;
// a note instead when the file does not parse. QSettings may answer from
// what it read of a path before, so the bytes are read through a copy under
// a name it has not seen.
QString Stored(const QString& key, const QString& path = SettingsFilePath()) {
    QTemporaryDir dir;
    const QString copy = dir.filePath("copy.conf");
    if (!QFile::copy(path, copy)) {
        return "(no file)";
    }
    const QSettings settings(copy, QSettings::IniFormat);
    const QString value = settings.value(key).toString();
    return settings.status() == QSettings::NoError ? value : "(does not parse)";
}

// Everything in a folder, by default the settings folder.
QStringList Entries(const QString& folder = QFileInfo(SettingsFilePath()).absolutePath()) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// What the window holds at exit comes back at the next start; a minimised
// window is stored as 1 (and read back as a normal one: settings_codec_test).
// The stored texts (the list's form, the locale's decimal separator):
// paths_test and settings_codec_test. The window's outer geometry: the
// window_round_trip end-to-end case.
TEST(SettingsStore, ExitWritesPlaylistWindowAndOptionsThatTheNextStartRestores) {
    TempDir dir;
    const QString a = WriteTone(dir, "a.mp3", {.seconds = 30}, AudioFormat::Mp3);
    const QString b = WriteTone(dir, "b.ogg", {.seconds = 30}, AudioFormat::OggVorbis);
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
    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.form().List1->count(), 2);
    EXPECT_EQ(again.form().List1->currentRow(), 1);
    EXPECT_TRUE(again.IsPlaying());
    EXPECT_EQ(again.form().VScroll1->value(), 20);
    EXPECT_EQ(again.state().PauseSeconds, 2.5);
    EXPECT_EQ(again.state().GreenGain, 24 * 0.025f);

    again.form().showMinimized();
    Spin(20);
    again.Close();
    EXPECT_EQ(Stored("Form/State"), "1");

    // The stored list is listed on the event loop's first pass: a close
    // before it keeps the list and its entry as they were stored.
    const QString path = Stored("Form/Path");
    ASSERT_TRUE(path.contains("b.ogg"));
    PlayerHarness early;
    Player player(early.options());
    ASSERT_FALSE(player.Start().has_value());
    player.form().close();
    EXPECT_EQ(Stored("Form/Path"), path);
    EXPECT_EQ(Stored("Form/Track"), "1");
}

// The store in a process of its own, where a file system's limits can be
// set: a full disk (the new file larger than the process may write) leaves
// the previous file byte for byte; a file system without hard links or
// unnamed temporary files, such as vfat, still saves. Either way what an
// interrupted save left beside the file is gone, and only that.
TEST(SettingsStore, WriteUnderFileSystemLimits) {
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
    for (const bool fullDisk : {true, false}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "no hard links");
        ForgetSettings();
        PutFile(SettingsFilePath(), before);
        for (const QString& name : interrupted + others) {
            PutFile(folder + "/" + name, "[Form]\nScroll=2\n");
        }
        QProcess probe;
        if (fullDisk) {
            probe.start("prlimit", {"--fsize=200", "--", SETTINGS_WRITE_PROBE});
        } else {
            probe.start(SETTINGS_WRITE_PROBE, {"no-links"});
        }
        ASSERT_TRUE(probe.waitForFinished(10000));
        if (probe.exitCode() == kProbeCannotLimit) {
            GTEST_SKIP() << "this machine cannot refuse links to one process";
        }
        EXPECT_EQ(probe.exitCode() == 0, !fullDisk) << probe.readAllStandardError().toStdString();
        if (!fullDisk) {
            EXPECT_EQ(Stored("Form/Scroll"), "30");
            EXPECT_EQ(Stored("Form/Path"), QString(4000, 'x'));
            EXPECT_EQ(Stored("Other/a"), "1");
        } else {
            EXPECT_EQ(FileBytes(SettingsFilePath()), before);
        }
        EXPECT_EQ(Entries(), after);
        for (const QString& name : others) {
            QFile::remove(folder + "/" + name);
        }
    }
}

// Lines QSettings cannot read do not stop saving: what can be read is read
// at start, and the next save writes a whole new file without the rest,
// keeping the other groups it could read and the file's permissions. What
// QSettings makes of a damaged value (a list for 1,2,3) takes its default.
TEST(SettingsStore, UnreadableLinesDoNotStopSaving) {
    // Each row: the file, and what of it cannot be read (gone after the save).
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"# note\n[Form]\nScroll=20\n[Other]\na=1\n", "#"},
        {"\xef\xbb\xbf[Form]\nScroll=20\n[Other]\na=1\n", "\xef\xbb\xbf"},  // a byte-order mark
        {QByteArray("\0\1\2\3[\xfe\xff\n=\r\0", 11), "\xfe"},               // binary alone
        {"[Form]\nScroll=1,2,3\n[Other]\na=1\n", "1,2,3"},                  // read as a list
    };
    for (const auto& [before, unreadable] : cases) {
        SCOPED_TRACE(before.toPercentEncoding().toStdString());
        ForgetSettings();
        PutFile(SettingsFilePath(), before);
        ASSERT_EQ(::chmod(QFile::encodeName(SettingsFilePath()), 0600), 0);
        StoredSettings settings = SettingsStore::Read(QLocale::c());
        EXPECT_EQ(settings.scroll, before.contains("Scroll=20") ? 20 : 17);
        settings.scroll = 30;
        EXPECT_TRUE(SettingsStore::Write(settings, QLocale::c()));
        EXPECT_EQ(Stored("Form/Scroll"), "30");
        EXPECT_EQ(Stored("Other/a"), before.contains("[Other]") ? "1" : "");
        EXPECT_FALSE(FileBytes(SettingsFilePath()).contains(unreadable));
        struct stat after {};
        ASSERT_EQ(::stat(QFile::encodeName(SettingsFilePath()), &after), 0);
        EXPECT_EQ(after.st_mode & 0777, 0600u);  // as before
    }
}

// A link in the file's place, as dotfile managers keep it, stays a link and
// the file at its end gets the values. A link to a missing file leads to it
// when its folder exists and gives way to the file otherwise. Anything else
// is neither read nor replaced: a FIFO would block whoever opens it (a hang
// fails the test by its time limit), and a folder is not the player's to
// remove. Nothing of a save is left behind.
TEST(SettingsStore, SaveFollowsALinkInTheFilesPlaceAndLeavesAnythingElse) {
    const QString path = SettingsFilePath();
    const QString config = QFileInfo(path).absolutePath();
    const QTemporaryDir scratch;
    const QString dotfiles = scratch.path(), middle = config + "/b.conf";
    const QString a = dotfiles + "/a.conf", b = dotfiles + "/b.conf", absent = dotfiles + "/c.conf";
    const QString unreachable = dotfiles + "/none/d.conf", pipe = dotfiles + "/pipe";
    const auto link = [](const QString& to, const QString& at) {
        return ::symlink(QFile::encodeName(to), QFile::encodeName(at)) == 0;
    };
    const auto fifo = [](const QString& at) { return ::mkfifo(QFile::encodeName(at), 0600) == 0; };
    const auto file = [](const QString& at) {
        PutFile(at, "[Form]\nScroll=20\n[Other]\na=1\n");
        return at;
    };
    // Each row: a name; what puts something in the file's place; where the
    // values go (empty: the save fails); what lstat finds in the place after.
    const std::tuple<const char*, std::function<bool()>, QString, mode_t> cases[] = {
        {"link to a file", [&] { return link(file(a), path); }, a, S_IFLNK},
        {"relative link to a link", [&] { return link(file(b), middle) && link("b.conf", path); },
         b, S_IFLNK},
        {"link to a missing file", [&] { return link(absent, path); }, absent, S_IFLNK},
        {"link into a missing folder", [&] { return link(unreachable, path); }, path, S_IFREG},
        {"FIFO", [&] { return fifo(path); }, "", S_IFIFO},
        {"folder", [&] { return QDir().mkdir(path); }, "", S_IFDIR},
        {"link to a FIFO", [&] { return fifo(pipe) && link(pipe, path); }, "", S_IFLNK},
        {"link to itself", [&] { return link(path, path); }, "", S_IFLNK},
    };
    for (const auto& [name, make, end, type] : cases) {
        SCOPED_TRACE(name);
        for (const QString& folder : {config, dotfiles}) {
            QDir(folder).removeRecursively();
            QDir().mkpath(folder);
        }
        ASSERT_TRUE(make());
        const bool existed = QFileInfo(end).isFile();
        const QStringList made = Entries();
        StoredSettings settings = SettingsStore::Read(QLocale::c());
        EXPECT_EQ(settings.scroll, existed ? 20 : 17);
        settings.scroll = 30;
        EXPECT_EQ(SettingsStore::Write(settings, QLocale::c()), !end.isEmpty());
        struct stat place {};
        ASSERT_EQ(::lstat(QFile::encodeName(path), &place), 0);
        EXPECT_EQ(place.st_mode & S_IFMT, type);
        if (!end.isEmpty()) {
            EXPECT_EQ(Stored("Form/Scroll", end), "30");
            EXPECT_EQ(Stored("Other/a", end), existed ? "1" : "");
        }
        EXPECT_EQ(Entries(), made);
        EXPECT_EQ(Entries(dotfiles).filter(".new"), QStringList());
        EXPECT_FALSE(QFileInfo::exists(dotfiles + "/none"));
    }
}

}  // namespace
}  // namespace chromola::testing
