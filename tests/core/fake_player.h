// A player core on a scripted audio engine, a recording view and a clock
// that moves only when the test says so: the player's rules checked in
// microseconds, without windows, timers or a sound device.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "player_core.h"

namespace chromola::testing {

class FakeClock final : public Clock {
  public:
    void StartTicks() override {
        ticking_ = true;
        nextTick_ = now + kTickMs;  // a restarted timer starts its interval again
        generation_ += inTick_ ? 0 : 1;
    }
    void StopTicks() override {
        ticking_ = false;
        generation_ += inTick_ ? 0 : 1;
    }
    bool Ticking() const override { return ticking_; }
    void StartPause(int ms) override { pauseDue_ = now + ms; }
    void CancelPause() override { pauseDue_.reset(); }
    bool PausePending() const override { return pauseDue_.has_value(); }
    long long NowMs() const override { return now; }

    // Lets `ms` pass, firing every tick and the pause in time order.
    void Advance(long long ms) {
        const long long end = now + ms;
        for (;;) {
            const long long tick = ticking_ ? nextTick_ : end + 1;
            const long long pause = pauseDue_.value_or(end + 1);
            if (std::min(tick, pause) > end) {
                break;
            }
            now = std::min(tick, pause);
            if (pause <= tick) {
                pauseDue_.reset();
                sequence->PauseElapsed();
            } else {
                nextTick_ += kTickMs;
                inTick_ = true;
                display->Tick();
                inTick_ = false;
            }
        }
        now = end;
    }

    // With `queueHandOvers`, as the tick thread does: what a tick hands to
    // the owner waits for RunHandedOver(), and is dropped if the owner
    // started or stopped the ticks after that tick. Otherwise it runs at once.
    void RunOnOwner(std::function<void()> task) override {
        if (queueHandOvers && inTick_) {
            handedOver_.emplace_back(generation_, std::move(task));
        } else {
            task();
        }
    }
    void RunHandedOver() {
        for (auto& [generation, task] : std::exchange(handedOver_, {})) {
            if (generation == generation_) {
                task();
            }
        }
    }

    long long now = 0;
    DisplayController* display = nullptr;  // what the ticks drive
    TrackSequence* sequence = nullptr;     // ...and the pause
    bool queueHandOvers = false;

  private:
    bool inTick_ = false;
    unsigned generation_ = 0;  // the owner's starts and stops
    std::vector<std::pair<unsigned, std::function<void()>>> handedOver_;
    bool ticking_ = false;
    long long nextTick_ = 0;
    std::optional<long long> pauseDue_;
};

// What the engine plays for a file, by its name.
struct FakeTrack {
    double seconds = 60;
    int bin = 0;        // the FFT's one loud bin (0: silence)
    bool opens = true;  // as a stream or, with `module`, as a module
    bool module = false;
    bool plays = true;
};

class FakeEngine final : public AudioEngine {
  public:
    explicit FakeEngine(const FakeClock& clock) : clock_(clock) {}

    std::map<QString, FakeTrack> tracks;  // by file name; others play 60 s of silence
    int opened = 0;
    // Live capture: what it hears, whether it starts, whether its source is gone.
    int captureBin = 0;
    bool captureStarts = true;
    bool captureLost = false;
    DWORD capturing = 0;  // what was asked for: CHROMOLA_CAPTURE_OUTPUT or _INPUT

    // The name of the channel playing now.
    QString PlayingName() {
        for (auto& [handle, channel] : channels_) {
            if (Sounds(channel)) {
                return channel.name;
            }
        }
        return {};
    }
    double HeardSeconds(DWORD handle) { return Find(handle) ? Heard(*Find(handle)) : -1; }

    DWORD BASS_GetVersion() override { return 0x02040000; }
    BOOL BASS_Init(int, DWORD, DWORD, void*, const void*) override { return TRUE; }
    BOOL BASS_SetConfig(DWORD, DWORD) override { return TRUE; }
    int BASS_ErrorGetCode() override { return 0; }
    BOOL BASS_Free() override { return TRUE; }
    DWORD BASS_StreamCreateFile(BOOL, const void* file, QWORD, QWORD, DWORD) override {
        return Open(file, false);
    }
    DWORD BASS_MusicLoad(BOOL, const void* file, QWORD, DWORD, DWORD, DWORD) override {
        return Open(file, true);
    }
    BOOL BASS_StreamFree(DWORD handle) override { return Free(handle, false); }
    BOOL BASS_MusicFree(DWORD handle) override { return Free(handle, true); }
    BOOL BASS_ChannelPlay(DWORD handle, BOOL) override {
        Channel* c = Find(handle);
        if (c == nullptr || !c->track.plays) {
            return FALSE;
        }
        c->playing = true;
        c->startedAt = clock_.now;
        return TRUE;
    }
    QWORD BASS_ChannelGetLength(DWORD handle, DWORD) override {
        return Find(handle) ? Bytes(Find(handle)->track.seconds) : kNoBytes;
    }
    QWORD BASS_ChannelGetPosition(DWORD handle, DWORD) override {
        return Find(handle) ? Bytes(HeardSeconds(handle)) : kNoBytes;
    }
    BOOL BASS_ChannelGetAttribute(DWORD, DWORD, float*) override { return FALSE; }
    double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override {
        return Find(handle) ? pos / kBytesPerSecond : -1.0;
    }
    QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) override {
        return Find(handle) ? Bytes(pos) : kNoBytes;
    }
    BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD) override {
        Channel* c = Find(handle);
        if (c == nullptr) {
            return FALSE;
        }
        c->startSeconds = std::min(c->track.seconds, pos / kBytesPerSecond);
        c->startedAt = clock_.now;
        return TRUE;
    }
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD) override {
        const Channel* c = Find(handle);
        if (c == nullptr) {
            return static_cast<DWORD>(-1);
        }
        auto* bins = static_cast<float*>(buffer);
        std::fill(bins, bins + 1024, 0.0f);
        bins[c->track.bin] = c->track.bin > 0 ? 0.5f : 0.0f;
        return 4096;
    }
    DWORD BASS_ChannelIsActive(DWORD handle) override {
        Channel* c = Find(handle);
        if (c != nullptr && c->capture) {
            return captureLost ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
        }
        return c != nullptr && Sounds(*c) ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    }
    DWORD CHROMOLA_CaptureStart(const char*, DWORD which) override {
        if (!captureStarts) {
            return 0;
        }
        capturing = which;
        channels_[++lastHandle_] = {"live", {.bin = captureBin}, false, true, true, 0, clock_.now};
        return lastHandle_;
    }

  private:
    static constexpr double kBytesPerSecond = 44100.0 * 4;
    static constexpr QWORD kNoBytes = static_cast<QWORD>(-1);
    static QWORD Bytes(double seconds) { return static_cast<QWORD>(seconds * kBytesPerSecond); }

    struct Channel {
        QString name;
        FakeTrack track;
        bool module = false;
        bool capture = false;
        bool playing = false;
        double startSeconds = 0;  // heard position when it last started or seeked
        long long startedAt = 0;  // clock time then
    };
    double Heard(const Channel& c) const {
        const double played = c.playing ? (clock_.now - c.startedAt) / 1000.0 : 0.0;
        return std::min(c.track.seconds, c.startSeconds + played);
    }
    bool Sounds(const Channel& c) const { return c.playing && Heard(c) < c.track.seconds; }
    Channel* Find(DWORD handle) {
        const auto it = channels_.find(handle);
        return it == channels_.end() ? nullptr : &it->second;
    }
    DWORD Open(const void* file, bool module) {
        const QString path = QString::fromUtf16(static_cast<const char16_t*>(file));
        const QString name = path.mid(path.lastIndexOf(u'/') + 1);
        const FakeTrack track = tracks.count(name) ? tracks.at(name) : FakeTrack{};
        if (path.isEmpty() || !track.opens || track.module != module) {
            return 0;
        }
        ++opened;
        channels_[++lastHandle_] = {name, track, module};
        return lastHandle_;
    }
    // A module freed as a stream, or a stream as a module, stays open.
    BOOL Free(DWORD handle, bool module) {
        const Channel* c = Find(handle);
        return c != nullptr && c->module == module && channels_.erase(handle) ? TRUE : FALSE;
    }

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
    void AppendEntries(const QStringList& e) override { entries.append(e); }
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
    void ShowSetup() override { ++setupShown; }

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
    int setupShown = 0;
};

// An event loop for what threads of the core hand to the UI thread.
inline void NeedEventLoop() {
    static int argc = 1;
    static char name[] = "core_tests";
    static char* argv[] = {name, nullptr};
    static const QCoreApplication app(argc, argv);
}

// Runs the event loop until `done`, 10 s at most.
template <typename Done>
void SpinUntil(Done done) {
    NeedEventLoop();
    const QDeadlineTimer deadline(10'000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

// The core on the fakes, with a folder of (empty) files it can list.
class CoreTest : public ::testing::Test {
  protected:
    CoreTest() {
        clock.display = &core.display;
        clock.sequence = &core.sequence;
        core.display.BrightnessChanged(17);
        state.PauseSeconds = 2;
        state.RedGain = state.GreenGain = state.BlueGain = 0.4f;
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }
    // Makes empty files with these names and chooses them in the dialog.
    void Choose(const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) {
            EXPECT_TRUE(QFile(paths.emplace_back(Path(name))).open(QIODevice::WriteOnly));
        }
        core.playlist.ChooseFiles(paths);
    }
    // Opens paths from outside and waits until they are read.
    void Open(const QStringList& paths) {
        NeedEventLoop();
        core.playlist.OpenPaths(paths);
        SpinUntil([this] { return !core.playlist.Opening(); });
    }
    // Entry `index`, `name`, plays and is selected.
    void ExpectPlaying(int index, const QString& name) {
        EXPECT_EQ(engine.PlayingName(), name);
        EXPECT_EQ(state.TrackIndex, index);
        EXPECT_EQ(view.selected, index);
    }
    // Nothing plays or waits to: the picture and idle colour, the controls on.
    void ExpectIdle() {
        EXPECT_EQ(engine.PlayingName(), "");
        EXPECT_FALSE(clock.Ticking());
        EXPECT_FALSE(core.sequence.isBetweenTracks());
        EXPECT_TRUE(view.picture);
        EXPECT_EQ(view.colour, kIdleColour);
        EXPECT_TRUE(view.transport);
    }

    FakeClock clock;
    FakeEngine engine{clock};
    FakeView view;
    PlayerState state;
    PlayerCore core{engine, state, view, clock};

  private:
    QTemporaryDir dir_;
};

}  // namespace chromola::testing
