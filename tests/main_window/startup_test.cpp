// The main window's life cycle: the checks at start, the idle look, layout,
// minimum size and closing.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "player_harness.h"
#include "settings/settings_store.h"

namespace chromola::testing {
namespace {

const QColor kIdle(12, 17, 11);

TEST(Startup, MissingLibraryShowsBoxAndEndsWithFailure) {
    QTemporaryDir empty;
    PlayerHarness harness;
    harness.options().programDir = empty.path();
    const std::optional<int> status = harness.Start();
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    ASSERT_EQ(harness.boxes.size(), 1u);
    EXPECT_EQ(harness.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(harness.boxes[0].caption, "Chromola");
    EXPECT_EQ(harness.boxes[0].text, "BASS.DLL Не найдена");
    EXPECT_FALSE(QFile::exists(SettingsStore::FilePath()));
}

TEST(Startup, OtherLibraryVersionShowsBoxAndEnds) {
    PlayerHarness harness;
    harness.options().programDir = QStringLiteral(OLD_VERSION_LIBRARY_DIR);
    const std::optional<int> status = harness.Start();
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    ASSERT_EQ(harness.boxes.size(), 1u);
    EXPECT_EQ(harness.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(harness.boxes[0].text, "Не корректная версия BASS.DLL!");
}

TEST(Startup, FailedInitReportsTheLibrarysErrorCode) {
    PlayerHarness harness;
    harness.options().outputDevice = 99;  // no such output
    const std::optional<int> status = harness.Start();
    ASSERT_TRUE(status.has_value());
    EXPECT_NE(*status, 0);
    ASSERT_EQ(harness.boxes.size(), 1u);
    EXPECT_EQ(harness.boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(harness.boxes[0].caption, "Error");
    EXPECT_EQ(harness.boxes[0].text, "Устройство не иницианализировано\n\nОшибка номер: 23");
}

TEST(Startup, SecondInstanceEndsSilently) {
    PlayerHarness first;
    ASSERT_FALSE(first.Start().has_value());
    PlayerHarness second;
    second.options().instanceLockPath = first.options().instanceLockPath;
    const std::optional<int> status = second.Start();
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_TRUE(first.player().isLoaded());
}

TEST(Startup, FirstStartShowsIdleLookWithFocusOnFileButton) {
    ForgetSettings();
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
    EXPECT_EQ(form.backColor(), kIdle);
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(form.Label1->text(), "0");
    EXPECT_EQ(form.VScroll1->value(), 17);
    EXPECT_EQ(QApplication::focusWidget(), form.Command1);
    // The idle colour is what the window shows above the panel.
    const QImage shot = form.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(form.width() - 10, 2)), kIdle);
}

TEST(Layout, PanelKeepsBottomRightCornerAndPictureTakesTheRest) {
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
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
}

TEST(Layout, WindowCannotShrinkBelowMinimumOuterSize) {
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
    form.resize(100, 100);
    Spin(20);
    const QSize outer = form.frameGeometry().size();
    EXPECT_GE(outer.width(), 440);
    EXPECT_GE(outer.height(), 330);
}

TEST(Shutdown, ClosingTheWindowReleasesTheLibraryAndWritesSettings) {
    ForgetSettings();
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    harness.Close();
    EXPECT_TRUE(QFile::exists(SettingsStore::FilePath()));
    // The library is free again: a new player can initialise it.
    PlayerHarness next;
    EXPECT_FALSE(next.Start().has_value());
    EXPECT_TRUE(next.boxes.empty());
}

}  // namespace
}  // namespace chromola::testing
