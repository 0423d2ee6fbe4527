#include "playlist/chosen_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace chromola {
namespace {

const QChar kNul(u'\0');

// Builds a several-names text: folder NUL name NUL ... NUL.
QString SeveralNames(const QString& folder, const QStringList& names) {
    QString text = folder + kNul;
    for (const QString& name : names) {
        text += name + kNul;
    }
    return text + kNul;
}

TEST(ChosenFilesFromPaths, OneFileGivesItsFullPath) {
    EXPECT_EQ(ChosenFilesFromPaths({"/home/u/Music/a.mp3"}), QStringLiteral("/home/u/Music/a.mp3"));
    EXPECT_EQ(ChosenFilesFromPaths({}), QString());
}

TEST(ChosenFilesFromPaths, SeveralFilesGiveFolderAndNames) {
    EXPECT_EQ(ChosenFilesFromPaths({"/m/a.mp3", "/m/b.ogg", "/m/c.wav"}),
              SeveralNames("/m", {"a.mp3", "b.ogg", "c.wav"}));
    EXPECT_EQ(ChosenFilesFromPaths({"/a.mp3", "/b.xm"}), SeveralNames("/", {"a.mp3", "b.xm"}));
}

// The dialog's answer used to be cut three characters after the last dot;
// here no name may lose or gain a character, whatever its extension.
TEST(ChosenFilesFromPaths, EveryNameIsKeptWhole) {
    const QStringList names = {
        "my song.mp3", QString::fromUtf8("Песня.ogg"), "README", "tune.xm", "track.flac",
        "a.b.c.aiff",
    };
    QStringList paths;
    for (const QString& name : names) {
        paths << "/home/u/My Music/" + name;
    }
    EXPECT_EQ(ChosenFilesFromPaths(paths), SeveralNames("/home/u/My Music", names));
    for (const QString& name : names) {
        EXPECT_EQ(ChosenFilesFromPaths({"/x/" + name}), "/x/" + name);
    }
}

TEST(ChosenFilesFromPaths, PathsFromAnotherFolderAreLeftOut) {
    EXPECT_EQ(ChosenFilesFromPaths({"/m/a.mp3", "/other/b.ogg", "/m/sub/c.wav", "/m/d.it"}),
              SeveralNames("/m", {"a.mp3", "d.it"}));
}

TEST(ParseChosenFiles, OnePathSplitsAtTheLastSlash) {
    const PlaylistSource source = ParseChosenFiles("/home/u/Music/a b.mp3");
    EXPECT_EQ(source.folder, QStringLiteral("/home/u/Music/"));
    EXPECT_EQ(source.names, QStringList{"a b.mp3"});

    const PlaylistSource bare = ParseChosenFiles("a.mp3");
    EXPECT_EQ(bare.folder, QString());
    EXPECT_EQ(bare.names, QStringList{"a.mp3"});

    EXPECT_TRUE(ParseChosenFiles(QString()).names.isEmpty());
}

// An old answer trimmed after a two-letter extension ends in a NUL; it is
// still one path and the NUL is no part of the name.
TEST(ParseChosenFiles, NulAfterOnePathIsNotPartOfTheName) {
    const PlaylistSource source = ParseChosenFiles(QStringLiteral("/m/tune.xm") + kNul);
    EXPECT_EQ(source.folder, QStringLiteral("/m/"));
    EXPECT_EQ(source.names, QStringList{"tune.xm"});
}

TEST(ParseChosenFiles, SeveralNamesInAnyTermination) {
    const QString folder = "/m";
    const QStringList names = {"a.mp3", "b.ogg", "c.wav"};
    const QString proper = SeveralNames(folder, names);
    const QString variants[] = {
        proper,
        proper + kNul,      // doubled final NUL
        proper.chopped(1),  // one final NUL only
        proper.chopped(2),  // none at all
        folder + kNul + "a.mp3" + kNul + kNul + "b.ogg" + kNul + kNul + kNul + "c.wav",
    };
    for (const QString& text : variants) {
        const PlaylistSource source = ParseChosenFiles(text);
        EXPECT_EQ(source.folder, QStringLiteral("/m/"));
        EXPECT_EQ(source.names, names);
    }
    // The root folder keeps a single slash.
    EXPECT_EQ(ParseChosenFiles(SeveralNames("/", {"a.mp3"})).folder, QStringLiteral("/"));
}

TEST(ParseChosenFiles, ReadsWhatChosenFilesFromPathsWrites) {
    const QStringList names = {"x y.mp3", QString::fromUtf8("ё.it"), "noext", "long.opus"};
    QStringList paths;
    for (const QString& name : names) {
        paths << "/srv/a b/" + name;
    }
    const PlaylistSource source = ParseChosenFiles(ChosenFilesFromPaths(paths));
    EXPECT_EQ(source.folder, QStringLiteral("/srv/a b/"));
    EXPECT_EQ(source.names, names);
}

TEST(RebuildChosenFiles, SavesTheListAsItIsNow) {
    // Entries removed or reordered since the choice are saved as listed.
    const QString chosen = SeveralNames("C/Music", {"a.mp3", "gone.wav", "b.ogg"}) + kNul;
    EXPECT_EQ(RebuildChosenFiles(chosen, {"a.mp3", "b.ogg"}),
              QStringLiteral("C/Music") + kNul + "a.mp3" + kNul + "b.ogg" + kNul + kNul);
    EXPECT_EQ(RebuildChosenFiles("/m/a.mp3", {"a.mp3"}), QStringLiteral("/m/a.mp3"));
    EXPECT_EQ(RebuildChosenFiles(chosen, {}), QString());
    EXPECT_EQ(RebuildChosenFiles("/m/a.mp3", {}), QString());
}

class PlayableEntry : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    void Touch(const QString& name) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write("RIFF"), 4);
    }

    QTemporaryDir dir_;
};

TEST_F(PlayableEntry, OnlyOrdinaryVisibleFilesArePlayable) {
    Touch("song.mp3");
    Touch(".hidden.mp3");
    Touch(QString::fromUtf8("Песня с пробелом.ogg"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("folder.mp3"));
    ASSERT_TRUE(QFile::link(Path("song.mp3"), Path("link.mp3")));
    ASSERT_TRUE(QFile::link(Path("nowhere.mp3"), Path("dangling.mp3")));
    ASSERT_TRUE(QFile::link(Path("folder.mp3"), Path("dirlink.mp3")));
    // A pipe would block the decoder for ever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe.mp3")).constData(), 0600), 0);

    struct Row {
        QString name;
        bool playable;
    };
    const Row rows[] = {
        {"song.mp3", true},      {QString::fromUtf8("Песня с пробелом.ogg"), true},
        {"link.mp3", true},      {"missing.mp3", false},
        {"folder.mp3", false},   {".hidden.mp3", false},
        {"dangling.mp3", false}, {"dirlink.mp3", false},
        {"pipe.mp3", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        EXPECT_EQ(IsPlayableEntryFile(Path(row.name)), row.playable);
    }
    EXPECT_FALSE(IsPlayableEntryFile(QString()));
    EXPECT_FALSE(IsPlayableEntryFile(Path("song.mp3") + kNul + "x"));
}

}  // namespace
}  // namespace chromola
