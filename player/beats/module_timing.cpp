#include "beats/module_timing.h"

#include "beats/tempo.h"

#include <cmath>

namespace chromola::beats {

namespace {
// A row may sit this many frames further off the fitted line than the read
// that saw it begin is long: room for ticks rounded a frame either way.
constexpr double kJitterFrames = 2.0;
constexpr int kRowsPerBeat = 4;
}  // namespace

bool ModuleTiming::Read(std::int64_t frames, std::uint32_t place) {
    const bool began = !start_ || place_ != place;
    if (!start_) {
        start_ = place;
        rows_.push_back({0, 0});  // the song's first row begins with it
    } else if (began && place == *start_) {
        ended_ = true;  // the song is over: its first row again, after its end
    } else if (began && !ended_) {
        rows_.push_back({frames_, frames - 1});
    }
    place_ = place;
    frames_ = frames;
    return began && !ended_;
}

void ModuleTiming::RowPace(float speed, float tempo) {
    // The first row's own pace is left out: its first tick goes at the tempo
    // before it, and that is the tempo a module tells then.
    if (rows_.size() == 2) {
        speed_ = speed;
        tempo_ = tempo;
    } else if (rows_.size() > 2 && (speed != speed_ || tempo != tempo_)) {
        steady_ = false;
    }
}

std::optional<BeatGrid> ModuleTiming::Finish() const {
    const std::size_t n = rows_.size();
    if (!steady_ || !(speed_ > 0.0f) || !(tempo_ > 0.0f) || n < 3) {
        return std::nullopt;
    }
    // The first row is left out: its first tick goes at the tempo before it.
    // (It begins at the song's start: the first beat.)
    const auto middle = [&](std::size_t i) {
        return 0.5 * static_cast<double>(rows_[i].first + rows_[i].last);
    };
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    const auto m = static_cast<double>(n - 1);
    for (std::size_t i = 1; i < n; ++i) {
        const auto x = static_cast<double>(i);
        sx += x;
        sy += middle(i);
        sxx += x * x;
        sxy += x * middle(i);
    }
    const double length = (m * sxy - sx * sy) / (m * sxx - sx * sx);
    const double start = (sy - length * sx) / m;
    if (!(length > 0.0)) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const auto width = static_cast<double>(rows_[i].last - rows_[i].first + 1);
        if (std::abs(middle(i) - (start + length * static_cast<double>(i))) >
            width + kJitterFrames) {
            return std::nullopt;
        }
    }
    std::size_t rowsPerBeat = kRowsPerBeat;
    double bpm = 60.0 * sampleRate_ / (kRowsPerBeat * length);
    for (; bpm > kMaxBpm; bpm /= 2.0) {
        rowsPerBeat *= 2;
    }
    for (; bpm < kMinBpm && rowsPerBeat > 1; bpm *= 2.0) {
        rowsPerBeat /= 2;
    }
    if (n < 2 * rowsPerBeat) {
        return std::nullopt;
    }
    BeatGrid grid{bpm, {0.0}};
    for (std::size_t i = rowsPerBeat; i < n; i += rowsPerBeat) {
        grid.beats.push_back((start + length * static_cast<double>(i)) / sampleRate_);
    }
    return grid;
}

}  // namespace chromola::beats
