#include "fake_player.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace chromola::testing {

void FakeClock::Advance(long long ms) {
    const long long end = now + ms;
    for (;;) {
        const long long tick = ticking_ ? nextTick_ : end + 1;
        const long long pause = pauseDue_.value_or(end + 1);
        const long long next = std::min(tick, pause);
        if (next > end) {
            break;
        }
        now = next;
        if (pause <= tick) {
            pauseDue_.reset();
            onPause();
        } else {
            nextTick_ += kTickMs;
            onTick();
        }
    }
    now = end;
}

DWORD FakeEngine::Open(const void* file, bool module) {
    const QString path = QString::fromUtf16(static_cast<const char16_t*>(file));
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const FakeTrack track = tracks.count(name) ? tracks.at(name) : FakeTrack{};
    if (path.isEmpty() || !track.opens || track.module != module) {
        return 0;
    }
    ++opened;
    channels_[++lastHandle_] = {name, track, module, false, false, 0, clock_.now};
    return lastHandle_;
}

DWORD FakeEngine::BASS_StreamCreateFile(BOOL, const void* file, QWORD, QWORD, DWORD) {
    return Open(file, false);
}

DWORD FakeEngine::BASS_MusicLoad(BOOL, const void* file, QWORD, DWORD, DWORD, DWORD) {
    return Open(file, true);
}

BOOL FakeEngine::Free(DWORD handle, bool module) {
    const auto it = channels_.find(handle);
    if (it == channels_.end() || it->second.module != module) {
        return FALSE;
    }
    channels_.erase(it);
    return TRUE;
}

const FakeEngine::Channel* FakeEngine::Find(DWORD handle) const {
    const auto it = channels_.find(handle);
    return it == channels_.end() ? nullptr : &it->second;
}

BOOL FakeEngine::BASS_ChannelPlay(DWORD handle, BOOL) {
    const auto it = channels_.find(handle);
    if (it == channels_.end() || !it->second.track.plays) {
        return FALSE;
    }
    it->second.playing = true;
    it->second.startedAt = clock_.now;
    return TRUE;
}

double FakeEngine::HeardSeconds(DWORD handle) const {
    const Channel* c = Find(handle);
    if (c == nullptr) {
        return -1;
    }
    const double played = c->playing ? (clock_.now - c->startedAt) / 1000.0 : 0.0;
    return std::min(c->track.seconds, c->startSeconds + played);
}

QString FakeEngine::PlayingName() const {
    for (const auto& [handle, channel] : channels_) {
        if (channel.playing && HeardSeconds(handle) < channel.track.seconds) {
            return channel.name;
        }
    }
    return {};
}

QWORD FakeEngine::BASS_ChannelGetLength(DWORD handle, DWORD) {
    const Channel* c = Find(handle);
    return c ? static_cast<QWORD>(c->track.seconds * kBytesPerSecond) : static_cast<QWORD>(-1);
}

QWORD FakeEngine::BASS_ChannelGetPosition(DWORD handle, DWORD) {
    return Find(handle) ? static_cast<QWORD>(HeardSeconds(handle) * kBytesPerSecond)
                        : static_cast<QWORD>(-1);
}

double FakeEngine::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    return Find(handle) ? static_cast<double>(pos) / kBytesPerSecond : -1.0;
}

QWORD FakeEngine::BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    return Find(handle) ? static_cast<QWORD>(pos * kBytesPerSecond) : static_cast<QWORD>(-1);
}

BOOL FakeEngine::BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD) {
    const auto it = channels_.find(handle);
    if (it == channels_.end()) {
        return FALSE;
    }
    it->second.startSeconds = std::min(it->second.track.seconds, pos / kBytesPerSecond);
    it->second.startedAt = clock_.now;
    return TRUE;
}

DWORD FakeEngine::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD) {
    const Channel* c = Find(handle);
    if (c == nullptr) {
        return static_cast<DWORD>(-1);
    }
    auto* bins = static_cast<float*>(buffer);
    std::fill(bins, bins + 1024, 0.0f);
    if (c->track.bin > 0) {
        bins[c->track.bin] = 0.5f;
    }
    return 4096;
}

DWORD FakeEngine::CHROMOLA_CaptureStart(const char*, DWORD which) {
    if (!captureStarts) {
        return 0;
    }
    capturing = which;
    channels_[++lastHandle_] = {"live", {.bin = captureBin}, false, true, true, 0, clock_.now};
    return lastHandle_;
}

DWORD FakeEngine::BASS_ChannelIsActive(DWORD handle) {
    const Channel* c = Find(handle);
    if (c != nullptr && c->capture) {
        return captureLost ? BASS_ACTIVE_STALLED : BASS_ACTIVE_PLAYING;
    }
    return c != nullptr && c->playing && HeardSeconds(handle) < c->track.seconds ? 1 : 0;
}

CoreTest::CoreTest() {
    clock.onTick = [this] { core.display.Tick(); };
    clock.onPause = [this] { core.display.PauseElapsed(); };
    core.display.BrightnessChanged(17);
    state.PauseSeconds = 2;
    state.RedGain = state.GreenGain = state.BlueGain = 0.4f;
}

QString CoreTest::Path(const QString& name) const {
    return dir_.filePath(name);
}

void CoreTest::Choose(const QStringList& names) {
    QStringList paths;
    for (const QString& name : names) {
        QFile file(Path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        paths << Path(name);
    }
    core.playlist.ChooseFiles(paths);
}

}  // namespace chromola::testing
