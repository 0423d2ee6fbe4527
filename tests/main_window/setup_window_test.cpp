// The set-up window with real widget events: each page's controls change the
// player's state at once and come back after a restart, as does the window's
// place, fitted to the screen; no label is cut off
// and the focus goes from top to bottom on every page (also run at
// QT_SCALE_FACTOR=2). How F2 and the help window's button open it:
// main_window_test.
#include <QComboBox>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <vector>

#include "player_harness.h"
#include "setup_window/setup_window.h"

namespace chromola::testing {
namespace {

SetupWindow& OpenSetup(PlayerHarness& harness) {
    QTest::keyClick(harness.form().Command1, Qt::Key_F2);
    SetupWindow* setup = harness.player().setupWindow();
    EXPECT_NE(setup, nullptr);
    return *setup;
}

void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, button->height() / 2));
}

TEST_F(PlayerTest, SetupPagesChangeTheStateAtOnceAndComeBackAfterARestart) {
    SetupWindow* setup = &OpenSetup(harness);
    PlayerState& state = harness.state();
    EXPECT_EQ(setup->link->text(), "свет выключен");
    Click(setup->flashLimit);
    EXPECT_EQ(state.FlashLimit, 1);
    QTest::keyClick(setup->autoLevel, Qt::Key_Space);
    EXPECT_EQ(state.AutoLevel, 1);
    Click(setup->beatAccent);
    EXPECT_EQ(state.BeatAccent, 1);
    QTest::keyClick(setup->beatScene, Qt::Key_Down);
    QTest::keyClick(setup->beatScene, Qt::Key_Down);
    EXPECT_EQ(state.BeatScene, 8);
    setup->pages->setCurrentIndex(1);
    Click(setup->microphone);
    EXPECT_EQ(state.LiveSource, 1);
    setup->pages->setCurrentIndex(2);
    Click(setup->lightsOn);
    EXPECT_TRUE(state.Lights.enabled);
    EXPECT_EQ(setup->link->text(), "нет связи") << "no olad runs here";
    setup->universe->setValue(7);
    setup->address->setValue(20);
    QTest::keyClick(setup->layout, Qt::Key_Down);
    setup->fixtures->setValue(3);
    Click(setup->idleLights);
    setup->pixels->setValue(300);
    QTest::keyClick(setup->effect, Qt::Key_End);
    EXPECT_EQ(state.Lights, (LightsOptions{true, 7, 20, kLayoutRgb + 1, 3, 1, 300, 4}));
    // The DDP output chosen, no host: nothing can be sent, and the window
    // says why. A host is set only once the lights are off: no DDP packet
    // leaves this test.
    QTest::keyClick(setup->output, Qt::Key_Down);
    EXPECT_EQ(setup->link->text(), "адрес DDP не задан");
    Click(setup->lightsOn);
    setup->ddpHost->setFocus();
    QTest::keyClicks(setup->ddpHost, "wled.local");
    setup->ddpPort->setFocus();  // the host is taken when the field is left
    setup->ddpPort->setValue(4049);
    const LightsOptions lights{false, 7, 20,         kLayoutRgb + 1, 3,   1,
                               300,   4, kOutputDdp, "wled.local",   4049};
    EXPECT_EQ(state.Lights, lights);
    const QRect place(QPoint(150, 120), setup->size() + QSize(40, 30));
    setup->setGeometry(place);

    harness.Close();
    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.state().Lights, lights);
    setup = &OpenSetup(again);
    EXPECT_TRUE(setup->flashLimit->isChecked());
    EXPECT_TRUE(setup->autoLevel->isChecked());
    EXPECT_TRUE(setup->beatAccent->isChecked());
    EXPECT_EQ(setup->beatScene->currentText(), "каждые 8 долей");
    EXPECT_TRUE(setup->microphone->isChecked());
    EXPECT_FALSE(setup->lightsOn->isChecked());
    EXPECT_EQ(setup->universe->value(), 7);
    EXPECT_EQ(setup->address->value(), 20);
    EXPECT_EQ(setup->layout->currentIndex(), kLayoutRgb + 1);
    EXPECT_EQ(setup->fixtures->value(), 3);
    EXPECT_TRUE(setup->idleLights->isChecked());
    EXPECT_EQ(setup->pixels->value(), 300);
    EXPECT_EQ(setup->effect->currentIndex(), 4);
    EXPECT_EQ(setup->output->currentIndex(), kOutputDdp);
    EXPECT_EQ(setup->ddpHost->text(), "wled.local");
    EXPECT_EQ(setup->ddpPort->value(), 4049);
    EXPECT_EQ(setup->geometry(), place);
    Click(setup->computerSound);
    EXPECT_EQ(again.state().LiveSource, 0);

    // Larger than the screen, or off it: on it, whole.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QRect& away :
         {QRect(15, 15, 99999, 99999), QRect(screen.bottomRight(), place.size())}) {
        setup->setGeometry(away);
        setup->close();
        setup->Open();
        EXPECT_TRUE(screen.contains(setup->frameGeometry())) << setup->frameGeometry().x();
    }
}

// The tick hands the lights the bands of what is heard: the preview of a
// spectrum strip playing a low tone is lit red at its low end, and only
// there. Lit by the three levels alone, every band of the red group (the
// first 23 pixels) would show the same red. (Through olad, which does not
// run here: nothing is sent.)
TEST_F(PlayerTest, StripPreviewShowsTheSpectrumOfWhatPlays) {
    SetupWindow& setup = OpenSetup(harness);
    setup.pages->setCurrentIndex(2);
    setup.pixels->setValue(60);
    QTest::keyClick(setup.effect, Qt::Key_Down);
    Click(setup.lightsOn);
    harness.ChooseFiles({WriteTone(dir, "low.wav", {.frequency = 50, .seconds = 10})});
    // Cell i's colour, 0 xRRGGBB.
    const auto cells = [&setup] {
        const QImage image = setup.preview->grab().toImage();
        std::vector<QRgb> colours;
        for (int i = 0; i < kPreviewPixels; ++i) {
            colours.push_back(image.pixel((2 * i + 1) * image.width() / (2 * kPreviewPixels),
                                          image.height() / 2) &
                              0xffffff);
        }
        return colours;
    };
    const auto redAtLowEnd = [](const std::vector<QRgb>& colours) {
        const auto end = colours.begin() + kPreviewPixels / 4;
        return std::any_of(colours.begin(), end,
                           [](QRgb c) { return qRed(c) > 5 && qGreen(c) == 0 && qBlue(c) == 0; }) &&
               std::find(colours.begin(), end, 0u) != end;
    };
    std::vector<QRgb> seen = cells();
    for (int i = 0; i < 300 && !redAtLowEnd(seen); ++i) {
        Spin(10);
        seen = cells();
    }
    EXPECT_TRUE(redAtLowEnd(seen)) << "the low end is never lit red by the tone's bands alone";
    EXPECT_TRUE(std::all_of(seen.end() - kPreviewPixels / 2, seen.end(), [](QRgb c) {
        return c == 0;
    })) << "the high end is lit";
}

// Colour on the beat switched on while a click track plays: the track is
// analysed beside its playing, its tempo shown, its grid kept in the cache
// folder for the next time.
TEST(SetupWindowBeats, BeatOptionAnalysesThePlayingTrackAndShowsItsTempo) {
    const TempDir cache;
    const std::optional<QByteArray> oldCache = qEnvironmentVariableIsSet("XDG_CACHE_HOME")
                                                   ? std::optional(qgetenv("XDG_CACHE_HOME"))
                                                   : std::nullopt;
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(cache.path().string()));
    ForgetSettings();
    PlayerHarness player;
    ASSERT_FALSE(player.Start().has_value());
    const TempDir music;
    constexpr int kRate = 44100;
    std::vector<float> clicks(10 * kRate, 0.0f);
    for (std::size_t beat = kRate / 4; beat + kRate / 50 < clicks.size(); beat += kRate / 2) {
        for (std::size_t i = 0; i < kRate / 50; ++i) {
            clicks[beat + i] = static_cast<float>(0.6 * std::sin(i * 2 * M_PI * 1500 / kRate) *
                                                  std::exp(-i / (0.01 * kRate)));
        }
    }
    ASSERT_TRUE(writeSamples(music / "clicks.wav", AudioFormat::Wav, clicks, kRate, 1));
    SetupWindow* setup = &OpenSetup(player);
    EXPECT_EQ(setup->tempo->text(), "нет");
    player.ChooseFiles({QString::fromStdString((music / "clicks.wav").string())});
    ASSERT_TRUE(player.IsPlaying());
    Spin(100);
    EXPECT_EQ(setup->tempo->text(), "нет") << "analysed with the option off";
    Click(setup->beatAccent);
    for (int waited = 0; waited < 5000 && setup->tempo->text() == "нет"; waited += 20) {
        Spin(20);
    }
    EXPECT_EQ(setup->tempo->text(), "120 уд/мин");
    EXPECT_EQ(player.player().core().beats.Bpm(), 120);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cache / "chromola"),
                            std::filesystem::directory_iterator()),
              1);
    player.Close();
    if (oldCache) {
        qputenv("XDG_CACHE_HOME", *oldCache);
    } else {
        qunsetenv("XDG_CACHE_HOME");
    }
}

// Labels, check boxes and radio buttons as large as their text needs, at the
// window's first size and at its smallest; every option says what it does;
// Tab goes down the page.
TEST(SetupWindowLabels, WholeAtAnySizeWithToolTipsAndFocusTopToBottom) {
    PlayerState state;
    WindowPlace place;
    QWidget owner;
    owner.show();
    SetupWindow setup(state, place, &owner);
    setup.Open();
    for (const QSize& size : {setup.size(), QSize(1, 1)}) {
        setup.resize(size);
        for (int page = 0; page < setup.pages->count(); ++page) {
            setup.pages->setCurrentIndex(page);
            Spin(10);
            QWidget* shown = setup.pages->currentWidget();
            int lastTop = -1;
            for (QWidget* widget : shown->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                const auto* label = qobject_cast<QLabel*>(widget);
                const auto* button = qobject_cast<QAbstractButton*>(widget);
                const QString text = label != nullptr    ? label->text()
                                     : button != nullptr ? button->text()
                                                         : QString();
                const QSize need = widget->sizeHint();
                if (!text.isEmpty()) {
                    EXPECT_GE(widget->width(), need.width()) << text.toStdString();
                    EXPECT_GE(widget->height(), need.height()) << text.toStdString();
                }
                if (widget->focusPolicy() & Qt::TabFocus) {
                    EXPECT_FALSE(widget->toolTip().isEmpty()) << text.toStdString();
                }
            }
            // The focus chain from the tab bar, on this page.
            for (QWidget* next = setup.pages->tabBar()->nextInFocusChain();
                 next != setup.pages->tabBar(); next = next->nextInFocusChain()) {
                if (next->parentWidget() == shown && next->isVisible() &&
                    (next->focusPolicy() & Qt::TabFocus)) {
                    const int top = next->mapTo(shown, QPoint(0, 0)).y();
                    EXPECT_GE(top, lastTop) << next->metaObject()->className();
                    lastTop = top;
                }
            }
            EXPECT_GT(lastTop, 0) << "page " << page << " takes the focus";
        }
    }
}

}  // namespace
}  // namespace chromola::testing
