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

// A tenth of the track, not truncated, rounded half to even: a seek must
// neither go below 0 nor stick short of the end.
TEST_F(KeyboardTest, RewindAndForwardJumpByATenthWithTiesToEven) {
    Play({"long.wav"});
    harness.form().Timer1.stop();  // keep the bar where the test puts it
    QScrollBar* bar = harness.form().HScroll1;
    const std::tuple<int, int, Qt::Key, int> cases[] = {{50, 5, Qt::Key_4, 0},
                                                        {55, 6, Qt::Key_4, 0},
                                                        {55, 49, Qt::Key_6, 54},
                                                        {55, 50, Qt::Key_6, 55},
                                                        {50, 20, Qt::Key_Left, 15}};
    for (const auto& [maximum, value, key, expected] : cases) {
        bar->setMaximum(maximum);
        bar->setValue(value);
        Key(key, Qt::KeypadModifier);
        EXPECT_EQ(bar->value(), expected) << value << " of " << maximum;
        EXPECT_NEAR(HeardSeconds(), expected, 0.1);
    }
}

// Each form of the keys: the main keyboard with and without Shift, and the
// number pad.
TEST_F(KeyboardTest, BrightnessKeysStayInsideTheBarAndTheCaptionCountsFromSeventeen) {
    const std::tuple<int, Qt::Key, Qt::KeyboardModifiers, int, const char*> steps[] = {
        {0, Qt::Key_Plus, {}, 17, "0"},
        {3, Qt::Key_Equal, {}, 20, "+3"},
        {20, Qt::Key_Plus, Qt::KeypadModifier, 32, "+15"},
        {1, Qt::Key_Plus, Qt::ShiftModifier, 32, "+15"},
        {20, Qt::Key_Minus, Qt::KeypadModifier, 12, "-5"},
        {20, Qt::Key_Underscore, Qt::ShiftModifier, 2, "-15"},
        {1, Qt::Key_Minus, {}, 2, "-15"}};
    for (const auto& [presses, key, modifiers, value, caption] : steps) {
        for (int i = 0; i < presses; ++i) {
            Key(key, modifiers);
        }
        EXPECT_EQ(harness.form().VScroll1->value(), value) << caption;
        EXPECT_EQ(harness.form().Label1->text(), caption);
    }
}

TEST_F(KeyboardTest, NumberPadStepsThroughTheListEvenWithButtonsDisabled) {
    Play({"a.wav", "b.wav", "c.wav"});
    Key(Qt::Key_8);  // the main keyboard's digits do not step
    EXPECT_EQ(harness.state().TrackIndex, 0);
    Key(Qt::Key_8, Qt::KeypadModifier);  // NumLock on
    EXPECT_EQ(harness.state().TrackIndex, 2);
    harness.form().Command2->setEnabled(false);
    harness.form().Command3->setEnabled(false);
    Key(Qt::Key_Down, Qt::KeypadModifier);  // NumLock off: the same key
    EXPECT_EQ(harness.state().TrackIndex, 0);
    EXPECT_EQ(harness.form().List1->currentRow(), 0);
    EXPECT_TRUE(harness.IsPlaying());
}

TEST_F(KeyboardTest, F11TogglesFullScreenAndEscStopsOnlyOutsideTheOrdinaryView) {
    Play({"a.wav"});
    Form1& form = harness.form();
    Key(Qt::Key_Escape);
    EXPECT_TRUE(form.Timer1.isActive()) << "Esc in the ordinary view does nothing";
    EXPECT_TRUE(harness.IsPlaying());

    Key(Qt::Key_F11);
    EXPECT_TRUE(form.isFullScreen());
    EXPECT_EQ(form.windowStateValue(), Form1::kMaximised);
    Key(Qt::Key_F11, Qt::ShiftModifier);
    EXPECT_FALSE(form.isFullScreen());
    EXPECT_EQ(form.windowStateValue(), Form1::kNormal);

    form.showMaximized();
    Key(Qt::Key_F11);
    EXPECT_EQ(form.windowStateValue(), Form1::kNormal) << "maximised first gives the ordinary view";

    Key(Qt::Key_F11);
    Key(Qt::Key_Escape);
    EXPECT_EQ(form.windowStateValue(), Form1::kNormal);
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_FALSE(harness.IsPlaying());
    EXPECT_EQ(form.List1->count(), 1);
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
