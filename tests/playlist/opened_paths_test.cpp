// Files and folders from outside the dialog: what a folder stands for, the
// order of lists several starts hand over, where the dialog opens.
#include "playlist/opened_paths.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ostream>

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace chromola {
namespace {

TEST(ExpandOpenedPaths, FoldersGiveTheirAudioFilesInNameOrderAndFilesStay) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    for (const QString folder : {"d/sub/deeper", "d/.git", "d/Album 2", "other", "empty"}) {
        ASSERT_TRUE(root.mkpath(folder));
    }
    for (const QString name : {"d/10.wav", "d/9.ogg", "d/B.MP3", "d/a.flac", "d/notes.txt",
                               "d/.hidden.mp3", "d/.git/x.mp3", "d/sub/x.IT", "d/sub/deeper/y.opus",
                               "d/Album 2/z.aiff", "other/f.umx", "other/cover.jpg"}) {
        QFile file(root.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    // A link back up would loop for ever.
    ASSERT_TRUE(QFile::link(root.filePath("d"), root.filePath("d/sub/loop")));

    const QStringList expanded =
        ExpandOpenedPaths({root.filePath("d"), root.filePath("other/cover.jpg"),
                           root.filePath("missing.mp3"), root.filePath("other/../other/f.umx")});
    QStringList expected;
    for (const QString name :
         {"d/9.ogg", "d/10.wav", "d/a.flac", "d/B.MP3", "d/Album 2/z.aiff", "d/sub/x.IT",
          "d/sub/deeper/y.opus", "other/cover.jpg", "other/f.umx"}) {
        expected << root.filePath(name);
    }
    EXPECT_EQ(expanded, expected);
    EXPECT_TRUE(ExpandOpenedPaths({root.filePath("empty")}).isEmpty());
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
