// The main window: the checks at start, the first start's look, layout and
// minimum size, its keys with real key events against a playing channel,
// and the playlist's mouse, drops, popup menu and tooltip. The rules behind
// them are checked on the core (tests/core), every format on the library
// (tests/libbass). Closing: settings_store_test.
#include <QDir>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionSlider>

#include "help_window/form2.h"
#include "player_harness.h"

namespace chromola::testing {
namespace {

// A start that cannot go on shows one box, writes no settings and ends with
// a failure status.
TEST(Startup, LibraryProblemsShowOneBoxAndEndWithFailure) {
    QTemporaryDir empty;
    const std::tuple<std::function<void(PlayerOptions&)>, QMessageBox::Icon, const char*,
                     const char*>
        cases[] = {
            {[&](PlayerOptions& o) { o.programDir = empty.path(); }, QMessageBox::Critical,
             "Chromola", "BASS.DLL Не найдена"},
            {[](PlayerOptions& o) { o.programDir = OLD_VERSION_LIBRARY_DIR; },
             QMessageBox::Critical, "Chromola", "Не корректная версия BASS.DLL!"},
            {[](PlayerOptions& o) { o.outputDevice = 99; }, QMessageBox::Warning, "Error",
             "Устройство не иницианализировано\n\nОшибка номер: 23"},
        };
    for (const auto& [set, icon, caption, text] : cases) {
        SCOPED_TRACE(text);
        ForgetSettings();
        PlayerHarness harness;
        set(harness.options());
        const std::optional<int> status = harness.Start();
        ASSERT_TRUE(status.has_value());
        EXPECT_NE(*status, 0);
        ASSERT_EQ(harness.boxes.size(), 1u);
        EXPECT_EQ(harness.boxes[0].icon, icon);
        EXPECT_EQ(harness.boxes[0].caption, caption);
        EXPECT_EQ(harness.boxes[0].text, text);
        harness.Close();
        EXPECT_FALSE(QFile::exists(SettingsFilePath()));
    }
}

// A lock that cannot be made at all (a full or read-only runtime folder) is
// no other instance: the player runs without the guard. A second instance
// beside a running one: the second_instance end-to-end case.
TEST(Startup, LockThatCannotBeMadeLetsThePlayerRunUnguarded) {
    PlayerHarness unguarded;
    unguarded.options().instanceLockPath = CHROMOLA_BIN_DIR "/Chromola/cannot/chromola.lock";
    EXPECT_FALSE(unguarded.Start().has_value());
    EXPECT_TRUE(unguarded.player().isLoaded());
}

// A first start shows the picture, ticks not, with the focus on the file
// button (the idle colour: the idle_window end-to-end case). The panel keeps
// 154 x 292 pixels in the bottom-right corner, the picture the rest but one
// pixel; a minimised window keeps its layout.
TEST(Layout, PanelKeepsTheCornerPictureTakesTheRestAndSizeHasAMinimum) {
    ForgetSettings();
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(QApplication::focusWidget(), form.Command1);
    form.resize(800, 600);
    Spin(20);
    EXPECT_EQ(form.Frame1->geometry(), QRect(646, 308, 154, 292));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 645, 600));

    form.showMinimized();
    Spin(20);
    form.resize(500, 400);
    Spin(20);
    EXPECT_EQ(form.Frame1->geometry(), QRect(646, 308, 154, 292));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 645, 600));

    form.showNormal();
    form.resize(100, 100);
    Spin(20);
    EXPECT_GE(form.frameGeometry().width(), 440);
    EXPECT_GE(form.frameGeometry().height(), 330);
}

class KeyboardTest : public PlayerTest {
  protected:
    void SetUp() override {
        PlayerTest::SetUp();
        if (!HasFatalFailure()) {
            harness.form().activateWindow();
        }
    }
    // Chooses a silent minute for each name.
    void Play(const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) {
            paths << WriteTone(dir, name.toStdString(),
                               {.amplitude = 0, .rate = 8000, .channels = 1, .seconds = 60});
        }
        harness.ChooseFiles(paths);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(harness.form().Command1, key, modifiers);
    }
    double HeardSeconds() {
        BassLibrary& bass = harness.player().bass();
        const DWORD channel = harness.state().CurrentChannel;
        return bass.BASS_ChannelBytes2Seconds(channel, bass.BASS_ChannelGetPosition(channel, 0));
    }
};

// The key table and what each key does are checked on the core; F11 and Esc
// on the real window in the window_round_trip end-to-end case. Here real key
// events on a focused control reach the player and show in the window.
TEST_F(KeyboardTest, KeysOnAFocusedControlReachThePlayer) {
    Play({"a.wav", "b.wav", "c.wav"});
    Key(Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    Key(Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(harness.form().VScroll1->value(), 18);
    EXPECT_EQ(harness.form().Label1->text(), "+1");
}

TEST_F(KeyboardTest, F1OpensOneHelpWindowWithAnyModifier) {
    Key(Qt::Key_F1, Qt::ShiftModifier);
    Form2* help = harness.player().helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    help->Text1->setText("7");
    Key(Qt::Key_F1, Qt::ControlModifier);
    EXPECT_EQ(harness.player().helpWindow(), help);
    EXPECT_EQ(help->Text1->text(), "7");
}

TEST_F(KeyboardTest, DraggingThePositionThumbSeeksButArrowClicksDoNot) {
    Play({"long.wav"});
    QScrollBar* bar = harness.form().HScroll1;
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.maximum = bar->maximum();
    option.pageStep = bar->pageStep();
    auto rect = [&](QStyle::SubControl part) {
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
    };
    const QPoint from = rect(QStyle::SC_ScrollBarSlider).center();
    const QPoint to = from + QPoint(60, 0);

    QTest::mouseClick(bar, Qt::LeftButton, {}, rect(QStyle::SC_ScrollBarAddLine).center());
    EXPECT_GT(bar->value(), 0);
    EXPECT_NEAR(HeardSeconds(), 0, 0.5) << "an arrow click moves the bar without seeking";

    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), bar->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    const int dragged = bar->sliderPosition();
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
    EXPECT_GT(dragged, 10);
    EXPECT_NEAR(HeardSeconds(), dragged, 0.5);
}

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
