// The keys of the main window with real key events against a playing channel.
#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "audio_fixtures.h"
#include "help_window/form2.h"
#include "player_harness.h"

namespace chromola::testing {
namespace {

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

// The key table itself is checked on the core; here real key events on a
// focused control reach it, number pad and main keyboard alike.
TEST_F(KeyboardTest, KeysOnAFocusedControlReachThePlayer) {
    Play({"a.wav", "b.wav", "c.wav"});
    Key(Qt::Key_8);  // the main keyboard's digits do not step
    EXPECT_EQ(harness.state().TrackIndex, 0);
    Key(Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    EXPECT_TRUE(harness.IsPlaying());
    Key(Qt::Key_Plus, Qt::ShiftModifier);
    EXPECT_EQ(harness.form().VScroll1->value(), 18);
    EXPECT_EQ(harness.form().Label1->text(), "+1");
    Key(Qt::Key_F11);
    EXPECT_TRUE(harness.form().isFullScreen());
    Key(Qt::Key_Escape);
    EXPECT_FALSE(harness.form().isFullScreen());
    EXPECT_FALSE(harness.IsPlaying());
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

}  // namespace
}  // namespace chromola::testing
