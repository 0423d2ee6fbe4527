#include "beats/track_beats.h"

#include <QCoreApplication>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "beats/module_timing.h"

namespace chromola {

namespace {

constexpr DWORD kDecodeFlags =
    BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO | BASS_UNICODE;
constexpr std::size_t kBlockSamples = 16384;
// Under a millisecond at 44.1 kHz and above.
constexpr std::size_t kModuleReadFrames = 32;

// The analysis takes only what the machine does not need: the tick, the
// sound and the windows always come first.
void LowerThisThreadPriority() {
    sched_param none{};
    if (pthread_setschedparam(pthread_self(), SCHED_IDLE, &none) != 0) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    }
}

std::optional<beats::BeatGrid> Decode(AudioEngine& engine, DWORD handle, bool module,
                                      const std::function<bool()>& stop) {
    const QWORD bytesPerSecond = engine.BASS_ChannelSeconds2Bytes(handle, 1.0);
    if (bytesPerSecond == static_cast<QWORD>(-1) || bytesPerSecond == 0) {
        return std::nullopt;
    }
    const double sampleRate = static_cast<double>(bytesPerSecond) / sizeof(float);
    beats::FileBeatAnalysis analysis(sampleRate);
    std::optional<beats::ModuleTiming> timing;
    if (module) {
        timing.emplace(sampleRate);
    }
    // A module is read a little at a time, so that every row's start is seen.
    const std::size_t step = module ? kModuleReadFrames : kBlockSamples;
    std::vector<float> block(kBlockSamples);
    std::size_t filled = 0;
    std::int64_t frames = 0;
    for (;;) {
        if (stop()) {
            return std::nullopt;
        }
        const DWORD got =
            engine.BASS_ChannelGetData(handle, block.data() + filled,
                                       static_cast<DWORD>(step * sizeof(float)) | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0) {
            break;
        }
        filled += got / sizeof(float);
        frames += got / sizeof(float);
        if (timing &&
            timing->Read(frames, static_cast<std::uint32_t>(engine.BASS_ChannelGetPosition(
                                     handle, BASS_POS_MUSIC_ORDER)))) {
            float speed = 0.0f, tempo = 0.0f;
            engine.BASS_ChannelGetAttribute(handle, BASS_ATTRIB_MUSIC_SPEED, &speed);
            engine.BASS_ChannelGetAttribute(handle, BASS_ATTRIB_MUSIC_BPM, &tempo);
            timing->RowPace(speed, tempo);
        }
        if (filled + step > block.size()) {
            analysis.Push(block.data(), filled);
            filled = 0;
        }
    }
    analysis.Push(block.data(), filled);
    if (timing) {
        if (std::optional<beats::BeatGrid> rows = timing->Finish()) {
            return rows;
        }
    }
    return analysis.Finish();
}

}  // namespace

std::optional<beats::BeatGrid> FindBeats(AudioEngine& engine, const std::u16string& path,
                                         const std::function<bool()>& stop) {
    DWORD handle = engine.BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, kDecodeFlags);
    const bool module = handle == 0;
    if (module) {
        handle = engine.BASS_MusicLoad(FALSE, path.c_str(), 0, 0, kDecodeFlags, 1);
    }
    if (handle == 0) {
        return std::nullopt;
    }
    std::optional<beats::BeatGrid> grid = Decode(engine, handle, module, stop);
    if (module) {
        engine.BASS_MusicFree(handle);
    } else {
        engine.BASS_StreamFree(handle);
    }
    return grid;
}

TrackBeats::TrackBeats(AudioEngine& engine, PlayerState& state, Playback& playback,
                       std::filesystem::path cacheFolder)
    : engine_(engine), state_(state), playback_(playback), cacheFolder_(std::move(cacheFolder)) {
    playback_.AddListener(this);
}

TrackBeats::~TrackBeats() {
    playback_.RemoveListener(this);
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ++generation_;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void TrackBeats::PlaybackChanged(PlaybackEvent event) {
    if (event == PlaybackEvent::TrackStarted) {
        asked_ = 0;
        SetBpm(0);
        Request();
    } else if (event == PlaybackEvent::Stopped) {
        SetBpm(0);
    }
}

void TrackBeats::OptionsChanged() {
    if (asked_ != state_.CurrentChannel) {
        Request();
    }
}

void TrackBeats::Request() {
    if (!Wanted() || state_.Live == 1 || state_.CurrentChannel == 0) {
        return;
    }
    asked_ = state_.CurrentChannel;
    Job job{asked_, playback_.CurrentPath(), ++generation_};
    std::optional<Job> ahead;
    if (const int count = static_cast<int>(state_.Entries.size()); count > 1) {
        const int next = (state_.TrackIndex + 1) % count;
        ahead = Job{0, state_.PlaylistFolder + state_.Entries.at(next), job.generation};
    }
    {
        std::lock_guard lock(mutex_);
        current_ = std::move(job);
        ahead_ = std::move(ahead);
        if (!worker_.joinable()) {
            worker_ = std::thread([this] { Run(); });
        }
    }
    wake_.notify_all();
}

void TrackBeats::Run() {
    pthread_setname_np(pthread_self(), "chromola-beats");
    LowerThisThreadPriority();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || current_ || ahead_; });
        if (quit_) {
            return;
        }
        Job job = current_ ? std::move(*current_) : std::move(*ahead_);
        (current_ ? current_ : ahead_).reset();
        lock.unlock();
        std::optional<TrackGrid> found = Analyse(job);
        if (found && job.channel != 0) {
            Publish(std::make_shared<const TrackGrid>(std::move(*found)));
        }
        lock.lock();
    }
}

std::optional<TrackGrid> TrackBeats::Analyse(const Job& job) {
    const beats::BeatCache cache(cacheFolder_);
    const auto identity = beats::BeatCache::IdentityOf(job.path.toStdString());
    std::optional<beats::BeatGrid> grid;
    if (identity) {
        grid = cache.Load(*identity);
    }
    if (!grid) {
        grid = FindBeats(engine_, job.path.toStdU16String(),
                         [&] { return generation_ != job.generation; });
        if (grid && identity) {
            cache.Store(*identity, *grid);
        }
    }
    if (!grid) {
        return std::nullopt;
    }
    return TrackGrid{job.channel, std::move(*grid)};
}

void TrackBeats::Publish(std::shared_ptr<const TrackGrid> grid) {
    const DWORD channel = grid->channel;
    const int bpm = static_cast<int>(std::lround(grid->grid.bpm));
    {
        std::lock_guard lock(slotMutex_);
        slot_ = std::move(grid);
    }
    {
        std::lock_guard lock(mutex_);
        tempo_ = {channel, bpm};
    }
    QCoreApplication::postEvent(&relay_, new QEvent(QEvent::User));
}

void TrackBeats::TakeTempo() {
    std::optional<std::pair<DWORD, int>> tempo;
    {
        std::lock_guard lock(mutex_);
        tempo = std::exchange(tempo_, std::nullopt);
    }
    if (tempo && tempo->first == state_.CurrentChannel && state_.Live == 0) {
        SetBpm(tempo->second);
    }
}

const TrackGrid* TrackBeats::GridFor(DWORD channel) {
    if (std::unique_lock lock(slotMutex_, std::try_to_lock); lock && slot_ != taken_) {
        taken_ = slot_;
    }
    return taken_ != nullptr && taken_->channel == channel ? taken_.get() : nullptr;
}

void TrackBeats::LiveTempo(int bpm) {
    if (state_.Live == 1) {
        SetBpm(bpm);
    }
}

void TrackBeats::SetBpm(int bpm) {
    if (bpm != bpm_) {
        bpm_ = bpm;
        if (tempoChanged) {
            tempoChanged(bpm);
        }
    }
}

}  // namespace chromola
