// The playlist on the real main window: the mouse on the list, drops, the
// popup menu and the tooltip. The playlist's rules are checked on the core
// (tests/core), every format on the library (tests/libbass).
#include <QDir>
#include <QMimeData>
#include <QTest>

#include "player_harness.h"

namespace chromola::testing {
namespace {

class PlaylistTest : public PlayerTest {};

// A double-click plays the entry under the pointer, Return the selected one.
TEST_F(PlaylistTest, DoubleClickOrReturnPlaysTheEntry) {
    harness.ChooseFiles(
        {WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav"), WriteTone(dir, "c.wav")});
    QListWidget* list = harness.form().List1;
    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(harness.state().TrackIndex, 1);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(harness.state().TrackIndex, 1) << "selecting alone does not play";
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(harness.state().TrackIndex, 2);
}

// Files and folders dropped on the window are opened (what they stand for:
// paths_test); a drop without local files is refused.
TEST_F(PlaylistTest, DroppedFilesAndFoldersAreOpened) {
    WriteTone(dir, "a.wav");
    ASSERT_TRUE(QDir().mkpath(QPath(dir / "album")));
    WriteTone(dir, "album/2.wav");
    WriteTone(dir, "album/10.wav");
    const auto drop = [this](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPointF at(20, 20);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&harness.form(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&harness.form(), &dropped);
        return true;
    };
    EXPECT_FALSE(drop({QUrl("https://example.org/x.wav")}));
    EXPECT_TRUE(drop(
        {QUrl::fromLocalFile(QPath(dir / "album")), QUrl::fromLocalFile(QPath(dir / "a.wav"))}));
    EXPECT_EQ(harness.state().Entries, (QStringList{"album/2.wav", "album/10.wav", "a.wav"}));
}

TEST_F(PlaylistTest, RightClickSelectsTheEntryForThePopupAndTheTooltipStays) {
    harness.ChooseFiles({WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav")});
    QListWidget* list = harness.form().List1;
    const QPoint onSecond = list->visualItemRect(list->item(1)).center();

    // The tooltip names the entry under the pointer and keeps it over empty
    // space.
    QTest::mouseMove(list->viewport(), onSecond);
    EXPECT_EQ(list->toolTip(), "b.wav");
    const QPoint below(5, list->viewport()->height() - 3);
    QTest::mouseMove(list->viewport(), below);
    EXPECT_EQ(list->toolTip(), "b.wav");

    list->setCurrentRow(-1);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, below);
    EXPECT_FALSE(harness.form().mMenu->isVisible()) << "no entry, no popup";

    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, onSecond);
    EXPECT_TRUE(harness.form().mMenu->isVisible());
    EXPECT_EQ(list->currentRow(), 1);
    harness.form().mMenu->close();
    harness.form().mDel->trigger();
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), "a.wav");
    EXPECT_EQ(list->currentRow(), 0) << "the playing entry stays selected";
}

}  // namespace
}  // namespace chromola::testing
