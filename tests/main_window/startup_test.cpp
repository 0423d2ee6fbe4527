// The main window's life cycle: the checks at start, the first start's look,
// layout and minimum size. Closing: settings_store_test.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "player_harness.h"
#include "settings/settings_store.h"

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
    unguarded.options().instanceLockPath = BinDir() + "/Chromola/cannot/chromola.lock";
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

}  // namespace
}  // namespace chromola::testing
