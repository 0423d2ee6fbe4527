// The keys of the main window with real key events against a playing channel.
#include <gtest/gtest.h>

#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "audio_fixtures.h"
#include "help_window/form2.h"
#include "main_window/keyboard_control.h"
#include "player_harness.h"

namespace chromola::testing {
namespace {

class KeyboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSettings();
        ASSERT_FALSE(harness.Start().has_value());
        harness.form().activateWindow();
    }
    void Play(const QStringList& names, double seconds = 60) {
        QStringList paths;
        for (const QString& name : names) {
            const auto path = dir / name.toStdString();
            EXPECT_TRUE(writeSilence(path, AudioFormat::Wav, 8000, 1, seconds));
            paths << QString::fromStdString(path.string());
        }
        harness.nextChoice = paths;
        QTest::mouseClick(harness.form().Command1, Qt::LeftButton);
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(harness.form().Command1, key, modifiers);
    }
    double HeardSeconds() {
        BassLibrary& bass = harness.player().bass();
        const DWORD channel = harness.state().CurrentChannel;
        return bass.BASS_ChannelBytes2Seconds(channel, bass.BASS_ChannelGetPosition(channel, 0));
    }

    TempDir dir;
    PlayerHarness harness;
};

TEST_F(KeyboardTest, RewindAndForwardJumpByATenthWithTiesToEven) {
    Play({"long.wav"});
    harness.form().Timer1.stop();  // keep the bar where the test puts it
    QScrollBar* bar = harness.form().HScroll1;
    struct Case {
        int maximum, value;
        Qt::Key key;
        int expected;
    };
    for (const Case& c :
         {Case{50, 5, Qt::Key_4, 0}, Case{55, 6, Qt::Key_4, 0}, Case{55, 49, Qt::Key_6, 54},
          Case{55, 50, Qt::Key_6, 55}, Case{50, 20, Qt::Key_Left, 15}}) {
        bar->setMaximum(c.maximum);
        bar->setValue(c.value);
        Key(c.key, Qt::KeypadModifier);
        EXPECT_EQ(bar->value(), c.expected) << c.maximum << " " << c.value;
        EXPECT_NEAR(HeardSeconds(), c.expected, 0.1);
    }
}

TEST_F(KeyboardTest, BrightnessKeysClimbAndFallWithinTheBar) {
    QScrollBar* bar = harness.form().VScroll1;
    for (int i = 0; i < 20; ++i) {
        Key(i % 2 ? Qt::Key_Equal : Qt::Key_Plus, i % 3 ? Qt::NoModifier : Qt::KeypadModifier);
    }
    EXPECT_EQ(bar->value(), 32);
    EXPECT_EQ(harness.form().Label1->text(), "+15");
    for (int i = 0; i < 40; ++i) {
        Key(i % 2 ? Qt::Key_Minus : Qt::Key_Underscore,
            i % 3 ? Qt::ShiftModifier : Qt::KeypadModifier);
    }
    EXPECT_EQ(bar->value(), 2);
    EXPECT_EQ(harness.form().Label1->text(), "-15");
}

TEST_F(KeyboardTest, NumberPadStepsThroughTheListEvenWithButtonsDisabled) {
    Play({"a.wav", "b.wav", "c.wav"});
    Key(Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(harness.state().TrackIndex, 2);
    harness.form().Command2->setEnabled(false);
    harness.form().Command3->setEnabled(false);
    Key(Qt::Key_Down, Qt::KeypadModifier);  // NumLock off: the same key
    EXPECT_EQ(harness.state().TrackIndex, 0);
    EXPECT_EQ(harness.form().List1->currentRow(), 0);
    EXPECT_NE(harness.player().bass().BASS_ChannelIsActive(harness.state().CurrentChannel), 0u);
}

TEST_F(KeyboardTest, F11TogglesFullScreenAndEscStopsOnlyOutsideTheOrdinaryView) {
    Play({"a.wav"});
    Form1& form = harness.form();
    Key(Qt::Key_Escape);
    EXPECT_TRUE(form.Timer1.isActive()) << "Esc in the ordinary view does nothing";

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
    EXPECT_EQ(harness.player().bass().BASS_ChannelIsActive(harness.state().CurrentChannel), 0u);
    EXPECT_EQ(form.List1->count(), 1);
}

TEST_F(KeyboardTest, F1OpensOneHelpWindowWithAnyModifier) {
    Key(Qt::Key_F1, Qt::ShiftModifier);
    ASSERT_NE(harness.player().helpWindow(), nullptr);
    EXPECT_TRUE(harness.player().helpWindow()->isVisible());
    harness.player().helpWindow()->Text1->setText("7");
    Key(Qt::Key_F1);
    EXPECT_EQ(harness.player().helpWindow()->Text1->text(), "7");
    EXPECT_EQ(harness.player().helpWindow()->List1->count(), 9);
}

TEST_F(KeyboardTest, DraggingThePositionThumbSeeksButArrowClicksDoNot) {
    Play({"long.wav"});
    QScrollBar* bar = harness.form().HScroll1;
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Horizontal;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    option.upsideDown = bar->invertedAppearance();
    const QRect thumb = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                     QStyle::SC_ScrollBarSlider, bar);
    const QRect addLine = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                       QStyle::SC_ScrollBarAddLine, bar);

    QTest::mouseClick(bar, Qt::LeftButton, {}, addLine.center());
    EXPECT_NEAR(HeardSeconds(), 0, 0.5) << "an arrow click moves the bar without seeking";

    QTest::mousePress(bar, Qt::LeftButton, {}, thumb.center());
    QMouseEvent move(QEvent::MouseMove, QPointF(thumb.center() + QPoint(60, 0)),
                     bar->mapToGlobal(QPointF(thumb.center() + QPoint(60, 0))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &move);
    const int dragged = bar->sliderPosition();
    QTest::mouseRelease(bar, Qt::LeftButton, {}, thumb.center() + QPoint(60, 0));
    EXPECT_GT(dragged, 10);
    EXPECT_NEAR(HeardSeconds(), dragged, 0.5);
}

TEST(KeyCodes, KeysMapWithAndWithoutNumLockAndShift) {
    EXPECT_EQ(KeyCodeOf(Qt::Key_8, Qt::KeypadModifier), kKeyPad8);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Up, Qt::KeypadModifier), kKeyPad8);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Up, Qt::NoModifier), kKeyNone);
    EXPECT_EQ(KeyCodeOf(Qt::Key_8, Qt::NoModifier), kKeyNone);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Plus, Qt::KeypadModifier), kKeyPadPlus);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Plus, Qt::ShiftModifier), kKeyPlus);
    EXPECT_EQ(KeyCodeOf(Qt::Key_Underscore, Qt::ShiftModifier), kKeyMinus);
    EXPECT_EQ(KeyCodeOf(Qt::Key_F1, Qt::ShiftModifier | Qt::ControlModifier), kKeyF1);
}

}  // namespace
}  // namespace chromola::testing
