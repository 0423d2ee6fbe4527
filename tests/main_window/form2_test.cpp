// The help and colour set-up window with real widget events: what it shows
// and where, what each control changes in the player's state, and the pause
// box's rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include "help_window/form2.h"
#include "settings/settings_codec.h"

namespace chromola::testing {
namespace {

class Form2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        state.PauseSeconds = 2;
        state.RedGain = state.GreenGain = state.BlueGain = GainFromPosition(16);
        owner.show();
    }
    std::unique_ptr<Form2> Make(const QLocale& locale = QLocale::c()) {
        return std::make_unique<Form2>(state, locale, &owner, [this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
    }

    PlayerState state;
    QWidget owner;
    std::vector<QUrl> opened;
};

TEST_F(Form2Test, ShowsTheHelpLinesOnceAndTheUsersNames) {
    qputenv("USERDOMAIN", "WORKGROUP");
    qputenv("USERNAME", "Иван");
    auto form = Make();
    form->Open();
    ASSERT_EQ(form->List1->count(), 13) << "the nine, then F9 and F2";
    EXPECT_EQ(form->List1->item(8)->text(), "ускоренная перемотка назад по треку");
    EXPECT_EQ(form->List1->item(9)->text(), "Клавиша \" F9 \"");
    EXPECT_EQ(form->List1->item(11)->text(), "Клавиша \" F2 \"");
    EXPECT_EQ(form->Label4->text(), "WORKGROUP");
    EXPECT_EQ(form->Label5->text(), "Иван");
    EXPECT_EQ(form->focusWidget(), form->Text1);
    form->close();
    qunsetenv("USERDOMAIN");
    qputenv("USER", "ivan");
    qunsetenv("USERNAME");
    form->Open();
    EXPECT_EQ(form->List1->count(), 13);
    EXPECT_FALSE(form->Label4->text().isEmpty()) << "the host name stands in for the domain";
    EXPECT_EQ(form->Label5->text(), "ivan");
}

// The designed client area holds every control, the added button's caption
// whole (also at QT_SCALE_FACTOR=2).
TEST_F(Form2Test, DesignedClientAreaHoldsEveryControl) {
    auto form = Make();
    form->Open();
    EXPECT_EQ(form->size(), QSize(302, 272)) << "4530 x 4080 twips";
    for (QWidget* control : form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        EXPECT_TRUE(form->rect().contains(control->geometry()))
            << control->objectName().toStdString();
    }
    const QPushButton* setup = form->Command2;
    EXPECT_GE(setup->width(), setup->fontMetrics().horizontalAdvance(setup->text()) + 8);
    EXPECT_GE(setup->height(), setup->fontMetrics().height() + 4);
}

TEST_F(Form2Test, ColourBarsSetGainsAndLabelsAndTheInversionBox) {
    auto form = Make();
    form->Open();
    for (QLabel* label : form->Label7) {
        EXPECT_EQ(label->text(), "0");
    }
    const std::tuple<int, float, const char*> cases[] = {
        {2, 0.05f, "-14"}, {16, 0.4f, "0"}, {32, 0.8f, "16"}};
    for (const auto& [position, gain, label] : cases) {
        form->HScroll1[0]->setValue(position);
        form->HScroll1[2]->setValue(position);
        EXPECT_EQ(state.RedGain, gain);
        EXPECT_EQ(state.BlueGain, gain);
        EXPECT_EQ(form->Label7[0]->text(), label);
    }
    // A click on the bar's right arrow is a user's move.
    QScrollBar* green = form->HScroll1[1];
    QTest::mouseClick(green, Qt::LeftButton, {}, QPoint(green->width() - 3, green->height() / 2));
    EXPECT_EQ(state.GreenGain, GainFromPosition(17));
    EXPECT_EQ(form->Label7[1]->text(), "1");

    // A click sets the inversion, a space clears it.
    QTest::mouseClick(form->Check1, Qt::LeftButton, {}, QPoint(5, form->Check1->height() / 2));
    EXPECT_EQ(state.InvertColours, 1);
    QTest::keyClick(form->Check1, Qt::Key_Space);
    EXPECT_EQ(state.InvertColours, 0);
}

// Text that is not a number gives the default, the rest is clamped (every
// rule: settings_codec_test); the button and the close box both take it over.
TEST_F(Form2Test, PauseTextIsTakenOverWhenTheWindowCloses) {
    auto form = Make();
    const std::pair<const char*, double> cases[] = {{"75", 60}, {"abc", 2}, {"1.5", 1.5}};
    for (const auto& [text, pause] : cases) {
        form->Open();
        form->Text1->setText(text);
        QTest::mouseClick(form->Command1, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(state.PauseSeconds, pause) << text;
    }
    form->Open();
    form->Text1->setText("2.5");
    form->close();
    EXPECT_EQ(state.PauseSeconds, 2.5);

    // Under a decimal-comma locale the box shows and reads "2,5"; it takes
    // three characters typed.
    auto german = Make(QLocale(QLocale::German));
    german->Open();
    EXPECT_EQ(german->Text1->text(), "2,5");
    german->Text1->clear();
    QTest::keyClicks(german->Text1, "1,55");
    EXPECT_EQ(german->Text1->text(), "1,5");
    german->close();
    EXPECT_EQ(state.PauseSeconds, 1.5);
}

TEST_F(Form2Test, FeedbackLabelOpensTheMailMessageOnAnyButton) {
    auto form = Make();
    form->Open();
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(form->Label1, button);
    }
    const QUrl mail(
        "mailto:feedback@chromola.example.org?subject=Vazuvideroz&body=Сообщение о программе:");
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened, std::vector<QUrl>(3, mail)) << opened[0].toString().toStdString();
}

}  // namespace
}  // namespace chromola::testing
