// The main window: the checks at start, the first start's look, layout and
// minimum size, real key and mouse events against a playing channel, and
// the playlist's mouse, drops, popup menu and tooltip. The rules behind
// them are checked on the core (tests/core), every format on the library
// (tests/libbass). Closing: settings_store_test.
#include <QDir>
#include <QMimeData>

#include <cerrno>
#include <csignal>

#include "main_window/quit_signals.h"

#include "help_window/form2.h"
#include "player_harness.h"
#include "setup_window/setup_window.h"

namespace chromola::testing {
namespace {

// A start that cannot go on shows one box, writes no settings and ends with
// a failure status.
TEST(Startup, LibraryProblemsShowOneBoxAndEndWithFailure) {
    QTemporaryDir empty;
    const std::tuple<QString, int, QMessageBox::Icon, const char*, const char*> cases[] = {
        {empty.path(), 0, QMessageBox::Critical, "Chromola", "BASS.DLL Не найдена"},
        {OLD_VERSION_LIBRARY_DIR, 0, QMessageBox::Critical, "Chromola",
         "Не корректная версия BASS.DLL!"},
        {CHROMOLA_BIN_DIR, 99, QMessageBox::Warning, "Error",
         "Устройство не иницианализировано\n\nОшибка номер: 23"},
    };
    for (const auto& [programDir, device, icon, caption, text] : cases) {
        SCOPED_TRACE(text);
        ForgetSettings();
        PlayerHarness harness;
        harness.options().programDir = programDir;
        harness.options().outputDevice = device;
        EXPECT_NE(harness.Start().value_or(0), 0);
        EXPECT_EQ(harness.boxes, std::vector{ShownBox(icon, caption, text)});
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
}

// A first start shows the picture, ticks not, with the focus on the file
// button (the idle colour: the idle_window end-to-end case). The panel keeps
// 154 x 292 pixels in the bottom-right corner, the picture the rest but one
// pixel.
TEST_F(PlayerTest, PanelKeepsTheCornerPictureTakesTheRestAndSizeHasAMinimum) {
    Form1& form = harness.form();
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(QApplication::focusWidget(), form.Command1);
    form.resize(800, 600);
    Spin(20);
    EXPECT_EQ(form.Frame1->geometry(), QRect(646, 308, 154, 292));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 645, 600));
    form.resize(100, 100);
    Spin(20);
    EXPECT_GE(form.frameGeometry().width(), 440);
    EXPECT_GE(form.frameGeometry().height(), 330);
}

// What each key does is checked on the core, real keys on the focused file
// button in the end-to-end cases; here the windows F1 and F2 open.
TEST_F(PlayerTest, F1AndF2EachOpenOneWindowAndTheHelpButtonOpensTheSetUp) {
    QTest::keyClick(harness.form().Command1, Qt::Key_F1, Qt::ShiftModifier);
    Form2* help = harness.player().helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    help->Text1->setText("7");
    QTest::keyClick(harness.form().Command1, Qt::Key_F1, Qt::ControlModifier);
    EXPECT_EQ(harness.player().helpWindow(), help);
    EXPECT_EQ(help->Text1->text(), "7");

    QTest::keyClick(harness.form().Command1, Qt::Key_F2);
    SetupWindow* setup = harness.player().setupWindow();
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(setup->isVisible());
    EXPECT_EQ(setup->windowTitle(), "Vazuvideroz SETUP");
    // A tool window counts as active with its owner: ask which has the focus.
    const auto focused = [](QWidget* window) {
        return QTest::qWaitFor(
            [window] { return QGuiApplication::focusWindow() == window->windowHandle(); });
    };
    harness.form().activateWindow();
    ASSERT_TRUE(focused(&harness.form()));
    QTest::keyClick(harness.form().Command1, Qt::Key_F2);
    EXPECT_EQ(harness.player().setupWindow(), setup);
    EXPECT_TRUE(focused(setup)) << "the same window comes to the front";

    setup->close();
    QTest::mouseClick(help->Command2, Qt::LeftButton);
    EXPECT_EQ(harness.player().setupWindow(), setup);
    EXPECT_TRUE(setup->isVisible());
}

TEST_F(PlayerTest, DraggingThePositionThumbSeeksButArrowClicksDoNot) {
    harness.ChooseFiles(
        {WriteTone(dir, "long.wav", {.amplitude = 0, .rate = 8000, .channels = 1, .seconds = 60})});
    const auto heardSeconds = [this] {
        BassLibrary& bass = harness.player().bass();
        const DWORD channel = harness.state().CurrentChannel;
        return bass.BASS_ChannelBytes2Seconds(channel, bass.BASS_ChannelGetPosition(channel, 0));
    };
    // The thumb starts just right of the left arrow, a square of the bar's
    // height.
    QScrollBar* bar = harness.form().HScroll1;
    const QPoint from(bar->height() + 3, bar->height() / 2), to = from + QPoint(60, 0);

    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, bar->height() / 2));
    EXPECT_GT(bar->value(), 0);
    EXPECT_NEAR(heardSeconds(), 0, 0.5) << "an arrow click moves the bar without seeking";

    QTest::mousePress(bar, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), bar->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    const int dragged = bar->sliderPosition();
    QTest::mouseRelease(bar, Qt::LeftButton, {}, to);
    EXPECT_GT(dragged, 10);
    EXPECT_NEAR(heardSeconds(), dragged, 0.5);
}

// A double-click plays the entry under the pointer, Return the selected one.
TEST_F(PlayerTest, DoubleClickOrReturnPlaysTheEntry) {
    harness.ChooseFiles(
        {WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav"), WriteTone(dir, "c.wav")});
    EntryList* list = harness.form().List1;
    const QPoint second = list->visualRect(list->model()->index(1, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(harness.state().TrackIndex, 1);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(harness.state().TrackIndex, 1) << "selecting alone does not play";
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(harness.state().TrackIndex, 2);
}

// Files and folders dropped on the window are opened (what they stand for:
// paths_test), read on a thread of their own: the first file plays and the
// list ends in name order, subfolders after files; a drop without local
// files is refused.
TEST_F(PlayerTest, DroppedFilesAndFoldersAreOpened) {
    WriteTone(dir, "a.wav");
    for (const char* folder : {"album/cd 10/x", "album/cd 9", "album/.cache"}) {
        ASSERT_TRUE(QDir().mkpath(QPath(dir / folder)));
    }
    for (const char* name : {"album/cd 10/x/1.wav", "album/cd 10/2.wav", "album/cd 9/3.wav",
                             "album/2.wav", "album/10.wav", "album/.cache/4.wav"}) {
        WriteTone(dir, name);
    }
    ASSERT_TRUE(QFile(QPath(dir / "album/cover.jpg")).open(QIODevice::WriteOnly));
    const auto drop = [this](const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&harness.form(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped({20, 20}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&harness.form(), &dropped);
        return true;
    };
    EXPECT_FALSE(drop({QUrl("https://example.org/x.wav")}));
    EXPECT_TRUE(drop(
        {QUrl::fromLocalFile(QPath(dir / "album")), QUrl::fromLocalFile(QPath(dir / "a.wav"))}));
    const PlaylistController& playlist = harness.player().core().playlist;
    for (int i = 0; i < 500 && playlist.Opening(); ++i) {
        Spin(10);
    }
    EXPECT_EQ(harness.state().Entries,
              (QStringList{"album/2.wav", "album/10.wav", "album/cd 9/3.wav", "album/cd 10/2.wav",
                           "album/cd 10/x/1.wav", "a.wav"}));
    EXPECT_EQ(harness.form().List1->count(), 6);
    EXPECT_EQ(harness.form().List1->text(4), "album/cd 10/x/1.wav");
    EXPECT_EQ(harness.state().TrackIndex, 0);
    EXPECT_TRUE(harness.IsPlaying());
}

// Which entry stays selected after a removal: the core.
TEST_F(PlayerTest, RightClickSelectsTheEntryForThePopupAndTheTooltipStays) {
    harness.ChooseFiles({WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav")});
    EntryList* list = harness.form().List1;
    const QPoint onSecond = list->visualRect(list->model()->index(1, 0)).center();

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
    EXPECT_EQ(list->text(0), "a.wav");
}

// Signals the event loop has not taken in yet fill the handler's socket: a
// handler must then neither block (the signal may come on the UI thread
// itself) nor leave its failed write's errno to the code it interrupted.
TEST(QuitSignals, UnreadSignalsNeitherBlockNorChangeErrno) {
    int quits = 0;
    {
        QuitOnSignals quit([&] { ++quits; });
        for (int i = 0; i < 5000; ++i) {
            std::raise(SIGHUP);
        }
        errno = EDOM;
        std::raise(SIGHUP);
        EXPECT_EQ(errno, EDOM);
        QCoreApplication::processEvents();
    }
    EXPECT_GE(quits, 1);
}

}  // namespace
}  // namespace chromola::testing
