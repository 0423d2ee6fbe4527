#include "display/beat_display.h"

#include <algorithm>
#include <cmath>

namespace chromola {

int BeatFollower::Advance(const std::vector<double>& beats, double heard) {
    const double until = heard + kLeadSeconds;
    const auto firstAfter = [&] {
        return static_cast<long>(std::upper_bound(beats.begin(), beats.end(), until) -
                                 beats.begin());
    };
    const bool jumped =
        following_ != &beats || heard < lastHeard_ - 0.05 || heard > lastHeard_ + kJumpSeconds;
    following_ = &beats;
    lastHeard_ = heard;
    if (jumped) {
        next_ = firstAfter();
        lastIndex_ = next_ - 1;
        return 0;
    }
    int given = 0;
    while (next_ < static_cast<long>(beats.size()) &&
           beats[static_cast<std::size_t>(next_)] <= until) {
        ++next_;
        ++given;
    }
    lastIndex_ = next_ - 1;
    return given;
}

double AccentAmount(long long sinceBeatMs) {
    if (sinceBeatMs < 0 || sinceBeatMs >= kAccentMs) {
        return 0.0;
    }
    return 1.0 - static_cast<double>(sinceBeatMs) / kAccentMs;
}

ColourLevels Accented(const ColourLevels& c, double amount) {
    const int strongest = std::max({c.red, c.green, c.blue});
    if (strongest <= 0 || amount <= 0.0) {
        return c;
    }
    const double lift = 1.0 + amount * (255.0 / strongest - 1.0);
    const auto up = [lift](int level) {
        return std::clamp(static_cast<int>(std::lround(level * lift)), 0, 255);
    };
    return {up(c.red), up(c.green), up(c.blue)};
}

ColourLevels Rotated(const ColourLevels& c, int steps) {
    switch (((steps % 3) + 3) % 3) {
        case 1:
            return {c.blue, c.red, c.green};
        case 2:
            return {c.green, c.blue, c.red};
        default:
            return c;
    }
}

void AccentBands(BandLevels& bands, double amount) {
    const int strongest = *std::max_element(bands.begin(), bands.end());
    if (strongest <= 0 || amount <= 0.0) {
        return;
    }
    const double lift = 1.0 + amount * (255.0 / strongest - 1.0);
    for (std::uint8_t& level : bands) {
        level = static_cast<std::uint8_t>(std::clamp(std::lround(level * lift), 0L, 255L));
    }
}

int SceneSteps(long index, int length) {
    if (length <= 0 || index < 0) {
        return 0;
    }
    return static_cast<int>((index / length) % 3);
}

}  // namespace chromola
