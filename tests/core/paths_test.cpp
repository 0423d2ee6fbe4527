// The playlist's paths: the stored form of the chosen files, what can be
// played, and files and folders from outside the dialog (the command line's
// paths and options, what a folder stands for, the order of lists several
// starts hand over, where the dialog opens).
#include "playlist/chosen_files.h"
#include "playlist/folder_scan.h"
#include "playlist/opened_paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ostream>

#include <sys/stat.h>

#include "command_line.h"
#include "fake_player.h"

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace chromola {
namespace {

const QChar kNul(u'\0');

// Builds a several-names text: folder NUL name NUL ... NUL.
QString SeveralNames(const QString& folder, const QStringList& names) {
    return folder + kNul + names.join(kNul) + kNul + kNul;
}

// Paths to the stored text and back: one folder keeps the form older
// versions read; several share their deepest common folder. Names with
// spaces, Cyrillic letters or no extension: the core's
// ChoosingFilesReplacesTheListAndACancelChangesNothing. Entries removed or
// reordered since the choice are saved as listed.
TEST(ChosenFiles, PathsSurviveTheStoredFormBothWays) {
    const std::pair<QStringList, QString> rows[] = {
        {{"/m/a.mp3"}, "/m/a.mp3"},
        {{"/m/x/1.mp3", "/m/y z/2.ogg", "/m/3.wav"},
         SeveralNames("/m", {"x/1.mp3", "y z/2.ogg", "3.wav"})},
        {{"/m/ab/1.mp3", "/m/a/2.mp3"}, SeveralNames("/m", {"ab/1.mp3", "a/2.mp3"})},
        {{"/m/a/./x/../1.mp3", "/m/a/2.mp3"}, SeveralNames("/m/a", {"1.mp3", "2.mp3"})},
        {{"/home/a.mp3", "/srv/b.mp3"}, SeveralNames("/", {"home/a.mp3", "srv/b.mp3"})},
    };
    for (const auto& [paths, stored] : rows) {
        SCOPED_TRACE(paths.join(' ').toStdString());
        EXPECT_EQ(ChosenFilesFromPaths(paths), stored);
        const PlaylistSource source = ParseChosenFiles(stored);
        ASSERT_EQ(source.names.size(), paths.size());
        for (int i = 0; i < paths.size(); ++i) {
            EXPECT_EQ(source.folder + source.names[i], QDir::cleanPath(paths[i]));
        }
        EXPECT_EQ(RebuildChosenFiles(stored, source.names), stored);
    }
    EXPECT_EQ(ChosenFilesFromPaths({}), QString());
    const QString chosen = SeveralNames("C/Music", {"a.mp3", "gone.wav", "b.ogg"}) + kNul;
    EXPECT_EQ(RebuildChosenFiles(chosen, {"b.ogg", "a.mp3"}),
              SeveralNames("C/Music", {"b.ogg", "a.mp3"}));
    EXPECT_EQ(RebuildChosenFiles(chosen, {}), QString());
}

// The dialog's answer used to be cut three characters after the last dot;
// no name may lose or gain a character, whatever its ending.
TEST(ParseChosenFiles, ReadsBothFormsInAnyTermination) {
    const QStringList abc = {"a.mp3", "b.ogg", "c.wav"};
    const std::tuple<QString, QString, QStringList> cases[] = {
        {"/home/u/Music/a b.mp3", "/home/u/Music/", {"a b.mp3"}},
        {"", "", {}},
        // An old answer trimmed after a two-letter extension ends in a NUL.
        {QString("/m/tune.xm") + kNul, "/m/", {"tune.xm"}},
        // No final NUL, and empty names between (the proper form: the round
        // trip above).
        {SeveralNames("/m", abc).chopped(2), "/m/", abc},
        {QString("/m") + kNul + "a.mp3" + kNul + kNul + "b.ogg" + kNul + kNul + kNul + "c.wav",
         "/m/", abc},
        {SeveralNames("/", {"a.mp3"}), "/", {"a.mp3"}},
        {SeveralNames("/a b", {"x y.mp3", "ё.it", "a.b.c"}),
         "/a b/",
         {"x y.mp3", "ё.it", "a.b.c"}}};
    for (const auto& [text, folder, names] : cases) {
        SCOPED_TRACE(QString(text).replace(kNul, '|').toStdString());
        const PlaylistSource source = ParseChosenFiles(text);
        EXPECT_EQ(source.folder, folder);
        EXPECT_EQ(source.names, names);
    }
}

TEST(PlayableEntries, OnlyOrdinaryVisibleFilesArePlayable) {
    QTemporaryDir dir;
    for (const QString name : {"song.mp3", ".hidden.mp3"}) {
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.mp3"));
    ASSERT_TRUE(QFile::link(dir.filePath("song.mp3"), dir.filePath("link.mp3")));
    // A pipe would block the decoder for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.mp3")).constData(), 0600), 0);
    const std::pair<QString, bool> rows[] = {{"song.mp3", true},     {"link.mp3", true},
                                             {"missing.mp3", false}, {"folder.mp3", false},
                                             {".hidden.mp3", false}, {"pipe.mp3", false}};
    QStringList names;
    QStringList expected;
    for (const auto& [name, playable] : rows) {
        EXPECT_EQ(IsPlayableEntryFile(dir.filePath(name)), playable) << name.toStdString();
        names << name;
        if (playable) {
            expected << name;
        }
    }
    // A list that names the folder's files often enough to have the folder
    // read instead must take the same ones, in the list's order.
    EXPECT_EQ(PlayableEntries(dir.path() + '/', names + names), expected + expected);
    EXPECT_FALSE(IsPlayableEntryFile(QString()));
    EXPECT_FALSE(IsPlayableEntryFile(dir.filePath("song.mp3") + kNul + "x"));
}

TEST(CommandLine, PathsBecomeAbsoluteAndOptionsAreKnownOrMisused) {
    using Action = CommandLine::Action;
    const std::tuple<QStringList, Action, QStringList, QString> rows[] = {
        {{"a.mp3", "../b/c.ogg", "/x/d/", "file:///x/%D0%B9%20e.wav"},
         Action::Run,
         {"/w/a.mp3", "/b/c.ogg", "/x/d", "/x/й e.wav"},
         ""},
        {{"a.mp3", "--help"}, Action::ShowHelp, {"/w/a.mp3"}, ""},
        {{"-V"}, Action::ShowVersion, {}, ""},
        {{"--", "-h", "--x"}, Action::Run, {"/w/-h", "/w/--x"}, ""},
        {{"a.mp3", "--platform", "-h"}, Action::Misuse, {"/w/a.mp3"}, "--platform"},
        {{"-"}, Action::Misuse, {}, "-"},
    };
    for (const auto& [arguments, action, paths, unknown] : rows) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine line = ParseCommandLine(arguments, "/w");
        EXPECT_EQ(line.action, action);
        EXPECT_EQ(line.paths, paths);
        EXPECT_EQ(line.unknown, unknown);
    }
    EXPECT_TRUE(MisuseText("chromola", "--x").contains("--x"));
    EXPECT_TRUE(HelpText("chromola").contains("--version"));
}

// What a scan of `paths` hands over: its folder and every name, in order.
std::pair<QString, QStringList> Scan(const QStringList& paths) {
    testing::NeedEventLoop();
    std::pair<QString, QStringList> all;
    bool done = false;
    const FolderScan scan(paths, [&](FolderScan::Found run) {
        EXPECT_FALSE(done) << "nothing after the last run";
        all.first = run.folder;
        all.second << run.names;
        done = run.done;
    });
    testing::SpinUntil([&done] { return done; });
    return all;
}

TEST(FolderScan, FoldersGiveTheirAudioFilesInNameOrderAndFilesStay) {
    QTemporaryDir dir;
    const QDir root(dir.path());
    for (const QString folder : {"d/sub/deeper", "d/.git", "d/Album 2", "other", "empty"}) {
        ASSERT_TRUE(root.mkpath(folder));
    }
    for (const QString name : {"d/10.wav", "d/9.ogg", "d/B.MP3", "d/a.flac", "d/notes.txt",
                               "d/.hidden.mp3", "d/.git/x.mp3", "d/sub/x.IT", "d/sub/deeper/y.opus",
                               "d/Album 2/z.aiff", "other/f.umx", "other/cover.jpg"}) {
        ASSERT_TRUE(QFile(root.filePath(name)).open(QIODevice::WriteOnly)) << name.toStdString();
    }
    // A link back up would loop for ever.
    ASSERT_TRUE(QFile::link(root.filePath("d"), root.filePath("d/sub/loop")));

    const QStringList expected = {"d/9.ogg",
                                  "d/10.wav",
                                  "d/a.flac",
                                  "d/B.MP3",
                                  "d/Album 2/z.aiff",
                                  "d/sub/x.IT",
                                  "d/sub/deeper/y.opus",
                                  "other/cover.jpg",
                                  "other/f.umx"};
    EXPECT_EQ(Scan({root.filePath("d"), root.filePath("other/cover.jpg"),
                    root.filePath("missing.mp3"), root.filePath("other/../other/f.umx")}),
              std::pair(root.path() + '/', expected));
    EXPECT_EQ(Scan({root.filePath("d/sub")}),
              std::pair(root.filePath("d/sub/"), QStringList{"x.IT", "deeper/y.opus"}));
    EXPECT_EQ(Scan({root.filePath("empty")}).second, QStringList{});

    // A scan stopped hands nothing more over.
    int runs = 0;
    std::optional<FolderScan> stopped(std::in_place, QStringList{root.filePath("d")},
                                      [&runs](const FolderScan::Found&) { ++runs; });
    stopped.reset();
    EXPECT_EQ(Scan({root.filePath("other")}).second, QStringList{"f.umx"});
    EXPECT_EQ(runs, 0);
}

TEST(MergeHandedOver, OneListKeepsItsOrderSeveralGoByTheirFirstPaths) {
    const std::pair<std::vector<QStringList>, QStringList> rows[] = {
        {{{"/m/c.mp3", "/m/a.mp3"}}, {"/m/c.mp3", "/m/a.mp3"}},
        {{{"/m/c.mp3"}, {"/m/a.mp3", "/z/z.mp3"}, {}, {"/m/B.mp3"}, {"/m/a10.mp3"}, {"/m/a9.mp3"}},
         {"/m/a.mp3", "/z/z.mp3", "/m/a9.mp3", "/m/a10.mp3", "/m/B.mp3", "/m/c.mp3"}},
        {{}, {}},
    };
    for (const auto& [lists, merged] : rows) {
        EXPECT_EQ(MergeHandedOver(lists), merged) << merged.join(' ').toStdString();
    }
}

TEST(DialogFolder, ThePlaylistsFolderElseMusicElseHome) {
    QTemporaryDir dir;
    const QString list = dir.filePath("list/");
    const QString music = dir.filePath("Music");
    ASSERT_TRUE(QDir().mkpath(list) && QDir().mkpath(music));
    const QString gone = dir.filePath("gone/");
    const std::tuple<QString, QString, QString> rows[] = {
        {list, music, list}, {gone, music, music}, {"", music, music}, {gone, gone, "/home"}};
    for (const auto& [playlist, musicFolder, expected] : rows) {
        EXPECT_EQ(DialogFolder(playlist, musicFolder, "/home"), expected);
    }
}

}  // namespace
}  // namespace chromola
