// A player core on a scripted audio engine, a recording view and a clock
// that moves only when the test says so: the player's rules checked in
// microseconds, without windows, timers or a sound device.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <map>
#include <optional>

#include "clock.h"
#include "engine/audio_engine.h"
#include "player_core.h"
#include "player_view.h"

namespace chromola::testing {

class FakeClock final : public Clock {
  public:
    void StartTicks() override {
        ticking_ = true;
        nextTick_ = now + kTickMs;  // a restarted timer starts its interval again
    }
    void StopTicks() override { ticking_ = false; }
    bool Ticking() const override { return ticking_; }
    void StartPause(int ms) override { pauseDue_ = now + ms; }
    void CancelPause() override { pauseDue_.reset(); }
    bool PausePending() const override { return pauseDue_.has_value(); }
    long long NowMs() const override { return now; }

    // Lets `ms` pass, firing every tick and the pause in time order.
    void Advance(long long ms);

    long long now = 0;
    std::function<void()> onTick;
    std::function<void()> onPause;

  private:
    bool ticking_ = false;
    long long nextTick_ = 0;
    std::optional<long long> pauseDue_;
};

// What the engine plays for a file, by its name.
struct FakeTrack {
    double seconds = 60;
    int bin = 0;        // the spectrum's one loud bin (0: silence)
    bool opens = true;  // as a stream or, with `module`, as a module
    bool module = false;
    bool plays = true;
};

class FakeEngine final : public AudioEngine {
  public:
    explicit FakeEngine(const FakeClock& clock) : clock_(clock) {}

    std::map<QString, FakeTrack> tracks;  // by file name; others play 60 s of silence
    QString PlayingName() const;          // the name of the channel playing now
    double HeardSeconds(DWORD handle) const;
    int opened = 0;

    DWORD BASS_GetVersion() override { return 0x02040000; }
    BOOL BASS_Init(int, DWORD, DWORD, void*, const void*) override { return TRUE; }
    BOOL BASS_SetConfig(DWORD, DWORD) override { return TRUE; }
    int BASS_ErrorGetCode() override { return 0; }
    BOOL BASS_Free() override { return TRUE; }
    DWORD BASS_StreamCreateFile(BOOL, const void* file, QWORD, QWORD, DWORD) override;
    DWORD BASS_MusicLoad(BOOL, const void* file, QWORD, DWORD, DWORD, DWORD) override;
    BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) override;
    BOOL BASS_StreamFree(DWORD handle) override { return Free(handle, false); }
    BOOL BASS_MusicFree(DWORD handle) override { return Free(handle, true); }
    QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) override;
    QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) override;
    double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override;
    QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) override;
    BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) override;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    DWORD BASS_ChannelIsActive(DWORD handle) override;
    DWORD CHROMOLA_CaptureStart(const char* source, DWORD which) override;

    // Live capture: what it hears, whether it starts, whether its source is gone.
    int captureBin = 0;
    bool captureStarts = true;
    bool captureLost = false;
    DWORD capturing = 0;  // what was asked for: CHROMOLA_CAPTURE_OUTPUT or _INPUT

    static constexpr double kBytesPerSecond = 44100.0 * 4;

  private:
    struct Channel {
        QString name;
        FakeTrack track;
        bool module = false;
        bool capture = false;
        bool playing = false;
        double startSeconds = 0;  // heard position when it last started or seeked
        long long startedAt = 0;  // clock time then
    };
    DWORD Open(const void* file, bool module);
    BOOL Free(DWORD handle, bool module);
    const Channel* Find(DWORD handle) const;

    const FakeClock& clock_;
    std::map<DWORD, Channel> channels_;
    DWORD lastHandle_ = 0;
};

class FakeView final : public PlayerView {
  public:
    void SetBackColour(const ColourLevels& c) override {
        colour = c;
        message.clear();
    }
    void SetLevelBarEnds(int b, int g, int r) override { bars = {b, g, r}; }
    void ShowPicture(bool shown) override { picture = shown; }
    void PrintMessage(const QString& text) override { message = text; }
    void ClearMessage() override { message.clear(); }
    void SetPositionMaximum(int s) override { positionMaximum = s; }
    int PositionMaximum() const override { return positionMaximum; }
    void SetPosition(int s) override { position = s; }
    int Position() const override { return position; }
    bool PositionDragged() const override { return dragged; }
    void EnablePosition(bool enabled) override { positionEnabled = enabled; }
    void ShowBrightness(int value, const QString& text) override {
        brightness = value;
        caption = text;
    }
    void SetEntries(const QStringList& e) override {
        entries = e;
        selected = -1;
    }
    void RemoveEntry(int index) override { entries.removeAt(index); }
    void SelectEntry(int index) override { selected = index; }
    int SelectedEntry() const override { return selected; }
    void EnableTransport(bool enabled) override { transport = enabled; }
    int WindowState() const override { return windowState; }
    bool FullScreen() const override { return fullScreen; }
    void ShowFullScreen() override {
        fullScreen = true;
        windowState = kMaximised;
    }
    void ShowOrdinary() override {
        fullScreen = false;
        windowState = kNormal;
    }
    void ShowHelp() override { ++helpShown; }

    ColourLevels colour = kIdleColour;
    std::array<int, 3> bars{};
    bool picture = true;
    QString message;
    int positionMaximum = 100;
    int position = 0;
    bool dragged = false;
    bool positionEnabled = true;
    int brightness = 0;
    QString caption;
    QStringList entries;
    int selected = -1;
    bool transport = true;
    int windowState = kNormal;
    bool fullScreen = false;
    int helpShown = 0;
};

// The core on the fakes, with a folder of (empty) files it can list.
class CoreTest : public ::testing::Test {
  protected:
    CoreTest();
    // Makes empty files with these names and chooses them in the dialog.
    void Choose(const QStringList& names);
    QString Path(const QString& name) const;

    FakeClock clock;
    FakeEngine engine{clock};
    FakeView view;
    PlayerState state;
    PlayerCore core{engine, state, view, clock};

  private:
    QTemporaryDir dir_;
};

}  // namespace chromola::testing
