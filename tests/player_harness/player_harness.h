// Runs the real player in-process on Qt's offscreen platform: the real audio
// library from the build's bin folder on its "no sound" device, a private
// settings folder, captured message boxes and a scripted file dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "audio_fixtures.h"
#include "main_window/form1.h"
#include "main_window/player.h"

namespace chromola::testing {

struct ShownBox {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

class PlayerHarness {
  public:
    PlayerHarness();
    ~PlayerHarness();

    // Options before Start(); defaults: the build's bin folder (CHROMOLA_BIN_DIR,
    // where the programs and libbass.so live), device 0.
    PlayerOptions& options() { return options_; }
    std::optional<int> Start();
    Player& player() { return *player_; }
    Form1& form() { return player_->form(); }
    PlayerState& state() { return player_->state(); }

    // Clicks "Файл'ы" and chooses `paths` in the dialog (none: cancelled).
    void ChooseFiles(const QStringList& paths);
    // Whether the current channel is playing.
    bool IsPlaying();
    std::vector<ShownBox> boxes;

    // Closes the window (the unload runs) and destroys the player.
    void Close();

  private:
    QStringList nextChoice_;  // what the dialog chooses
    QTemporaryDir runtime_;
    PlayerOptions options_;
    std::unique_ptr<Player> player_;
};

// Removes the settings file so that the next start is a first start.
void ForgetSettings();
// Runs the event loop for `ms`.
void Spin(int ms);

QString QPath(const std::filesystem::path& path);
// Writes `tone` as dir/name and returns its path; Opus at 48 kHz, a rate the
// format takes.
QString WriteTone(const TempDir& dir, const std::string& name, Tone tone = Tone{.seconds = 3},
                  AudioFormat format = AudioFormat::Wav);

// A started player on a first start, with a folder for the test's files.
class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSettings();
        ASSERT_FALSE(harness.Start().has_value());
    }

    TempDir dir;
    PlayerHarness harness;
};

}  // namespace chromola::testing
