// The help and set-up window with real widget events: what it shows, what
// each control changes in the player's state, and the pause box's rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QUrlQuery>

#include "help_window/form2.h"
#include "settings/settings_codec.h"

namespace chromola::testing {
namespace {

class Form2Test : public ::testing::Test {
  protected:
    void SetUp() override {
        state.PauseSeconds = 2;
        state.RedGain = state.GreenGain = state.BlueGain = GainFromPosition(16);
        owner.resize(480, 307);
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

TEST_F(Form2Test, ShowsNineHelpLinesOnceAndTheUsersNames) {
    qputenv("USERDOMAIN", "WORKGROUP");
    qputenv("USERNAME", "Иван");
    auto form = Make();
    form->Open();
    EXPECT_EQ(form->windowTitle(), "Vazuvideroz HELP");
    EXPECT_EQ(form->List1->count(), 9);
    EXPECT_EQ(form->List1->item(0)->text(),
              "Клавишами \" + \" и \" - \" можно регулировать яркость");
    EXPECT_EQ(form->List1->item(8)->text(), "ускоренная перемотка назад по треку");
    EXPECT_EQ(form->Label4->text(), "WORKGROUP");
    EXPECT_EQ(form->Label5->text(), "Иван");
    EXPECT_EQ(form->focusWidget(), form->Text1);
    form->close();
    qunsetenv("USERDOMAIN");
    qputenv("USER", "ivan");
    qunsetenv("USERNAME");
    form->Open();
    EXPECT_EQ(form->List1->count(), 9);
    EXPECT_FALSE(form->Label4->text().isEmpty()) << "the host name stands in for the domain";
    EXPECT_EQ(form->Label5->text(), "ivan");
}

TEST_F(Form2Test, ColourBarsSetGainsAndLabels) {
    auto form = Make();
    form->Open();
    for (QLabel* label : form->Label7) {
        EXPECT_EQ(label->text(), "0");
    }
    struct Case {
        int position;
        float gain;
        const char* label;
    };
    for (const Case& c : {Case{2, 0.05f, "-14"}, Case{16, 0.4f, "0"}, Case{32, 0.8f, "16"}}) {
        form->HScroll1[0]->setValue(c.position);
        form->HScroll1[2]->setValue(c.position);
        EXPECT_EQ(state.RedGain, c.gain);
        EXPECT_EQ(state.BlueGain, c.gain);
        EXPECT_EQ(form->Label7[0]->text(), c.label);
    }
    // A click on the bar's right arrow is a user's move.
    QScrollBar* green = form->HScroll1[1];
    QTest::mouseClick(green, Qt::LeftButton, {}, QPoint(green->width() - 3, green->height() / 2));
    EXPECT_EQ(state.GreenGain, GainFromPosition(17));
    EXPECT_EQ(form->Label7[1]->text(), "1");
}

TEST_F(Form2Test, CheckBoxSetsInversion) {
    auto form = Make();
    form->Open();
    QTest::mouseClick(form->Check1, Qt::LeftButton, {}, QPoint(5, form->Check1->height() / 2));
    EXPECT_EQ(state.InvertColours, 1);
    QTest::keyClick(form->Check1, Qt::Key_Space);
    EXPECT_EQ(state.InvertColours, 0);
}

TEST_F(Form2Test, PauseTextIsTakenOverWhenTheWindowCloses) {
    auto form = Make();
    struct Case {
        const char* text;
        double pause;
    };
    for (const Case& c : {Case{"", 2}, Case{"abc", 2}, Case{"75", 60}, Case{"-1", 0}, Case{"0", 0},
                          Case{"60", 60}, Case{"1.5", 1.5}}) {
        form->Open();
        form->Text1->setText(c.text);
        QTest::mouseClick(form->Command1, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
        EXPECT_EQ(state.PauseSeconds, c.pause) << c.text;
    }
    // The close box does the same as the button.
    form->Open();
    form->Text1->setText("7");
    form->close();
    EXPECT_EQ(state.PauseSeconds, 7);
}

TEST_F(Form2Test, PauseUsesTheLocaleDecimalSeparatorAndTakesThreeCharactersTyped) {
    state.PauseSeconds = 2.5;
    auto form = Make(QLocale(QLocale::German));
    form->Open();
    EXPECT_EQ(form->Text1->text(), "2,5");
    form->Text1->clear();
    QTest::keyClicks(form->Text1, "1,55");
    EXPECT_EQ(form->Text1->text(), "1,5");
    form->close();
    EXPECT_EQ(state.PauseSeconds, 1.5);
}

TEST_F(Form2Test, FeedbackLabelOpensTheMailMessageOnAnyButton) {
    auto form = Make();
    form->Open();
    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(form->Label1, button);
    }
    ASSERT_EQ(opened.size(), 3u);
    const QUrl& url = opened[0];
    EXPECT_EQ(url.scheme(), "mailto");
    EXPECT_TRUE(url.path().endsWith("@chromola.example.org"));
    const QString encoded = QString::fromUtf8(url.toEncoded());
    EXPECT_TRUE(encoded.contains("subject=Vazuvideroz"));
    EXPECT_TRUE(
        encoded.contains("body=%D0%A1%D0%BE%D0%BE%D0%B1%D1%89%D0%B5%D0%BD%D0%B8%D0%B5%20%D0%BE%20"))
        << encoded.toStdString();
    EXPECT_EQ(QUrlQuery(url).queryItemValue("body", QUrl::FullyDecoded), "Сообщение о программе:");
}

}  // namespace
}  // namespace chromola::testing
