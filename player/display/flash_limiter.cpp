#include "display/flash_limiter.h"

#include <cmath>

#include "common/rounding.h"

namespace chromola {

namespace {

constexpr long long kWindowMs = 1000;
constexpr double kDarkerBelow = 0.8;
constexpr double kSaturatedRed = 0.8;
constexpr int kSearchSteps = 10;

struct Linear {
    std::array<double, 256> table;
    Linear() {
        for (int i = 0; i < 256; ++i) {
            const double c = i / 255.0;
            table[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
    }
};

double Lin(int level) {
    static const Linear linear;
    return linear.table[static_cast<unsigned>(level) & 255u];
}

ColourLevels Between(const ColourLevels& from, const ColourLevels& to, double t) {
    auto mix = [t](int a, int b) { return RoundHalfEven(a + (b - a) * t); };
    return {mix(from.red, to.red), mix(from.green, to.green), mix(from.blue, to.blue)};
}

int Sign(double d) {
    return (d > 0) - (d < 0);
}

}  // namespace

double RelativeLuminance(const ColourLevels& c) {
    return 0.2126 * Lin(c.red) + 0.7152 * Lin(c.green) + 0.0722 * Lin(c.blue);
}

double RedFlashValue(const ColourLevels& c) {
    return std::max(0.0, (Lin(c.red) - Lin(c.green) - Lin(c.blue)) * 320.0);
}

bool IsSaturatedRed(const ColourLevels& c) {
    const int sum = c.red + c.green + c.blue;
    return sum > 0 && c.red >= kSaturatedRed * sum;
}

double FlashLimiter::Runs::Swing(double value) const {
    const int d = Sign(value - last);
    const bool reverses = d != 0 && direction != 0 && d != direction;
    return std::abs(value - (reverses ? last : start));
}

bool FlashLimiter::Runs::Completes(double value, bool counts) const {
    const int d = Sign(value - last);
    if (d != 0 && direction != 0 && d != direction) {
        return std::abs(value - last) >= threshold && (lastCounts || counts);
    }
    return !counted && std::abs(value - start) >= threshold && (startCounts || counts);
}

bool FlashLimiter::Runs::BudgetLeft(long long nowMs) const {
    int recent = 0;
    for (const long long t : times) {
        recent += t > 0 && t > nowMs - kWindowMs ? 1 : 0;
    }
    return recent < accepted;
}

void FlashLimiter::Runs::Show(double value, bool counts, long long nowMs) {
    const bool transition = Completes(value, counts);
    const int d = Sign(value - last);
    if (d != 0 && d != direction) {
        if (direction != 0) {
            start = last;
            startCounts = lastCounts;
        }
        direction = d;
        counted = false;
    }
    if (transition) {
        counted = true;
        // A time of 0 marks an empty slot; a transition at 0 counts from 1.
        times[next] = std::max(nowMs, 1LL);
        next = (next + 1) % static_cast<int>(times.size());
    }
    last = value;
    lastCounts = counts;
}

bool FlashLimiter::Safe(const ColourLevels& c, long long nowMs) const {
    const double l = RelativeLuminance(c);
    const double q = RedFlashValue(c);
    const bool saturated = IsSaturatedRed(c);
    struct Check {
        const Runs* runs;
        double value;
        bool counts;
    };
    for (const auto& [runs, value, counts] :
         {Check{&general_, l, l < kDarkerBelow}, Check{&red_, q, saturated}}) {
        if (runs->BudgetLeft(nowMs)) {
            continue;
        }
        if (runs->Completes(value, counts)) {
            return false;
        }
        // An uncounted swing may grow only up to the hold mark.
        const double swing = runs->Swing(value);
        if (swing >= kHold * runs->threshold && swing > runs->Swing(runs->last)) {
            return false;
        }
    }
    return true;
}

ColourLevels FlashLimiter::Limit(const ColourLevels& wanted, long long nowMs) {
    ColourLevels shown = wanted;
    if (!Safe(wanted, nowMs)) {
        // The furthest safe point towards the wanted colour; the colour
        // shown last is always safe.
        double lo = 0.0;
        double hi = 1.0;
        for (int i = 0; i < kSearchSteps; ++i) {
            const double mid = (lo + hi) / 2;
            (Safe(Between(last_, wanted, mid), nowMs) ? lo : hi) = mid;
        }
        shown = Between(last_, wanted, lo);
        if (!Safe(shown, nowMs)) {
            shown = last_;
        }
    }
    Show(shown, nowMs);
    return shown;
}

void FlashLimiter::Shown(const ColourLevels& colour, long long nowMs) {
    Show(colour, nowMs);
}

void FlashLimiter::Show(const ColourLevels& c, long long nowMs) {
    const double l = RelativeLuminance(c);
    general_.Show(l, l < kDarkerBelow, nowMs);
    red_.Show(RedFlashValue(c), IsSaturatedRed(c), nowMs);
    last_ = c;
}

}  // namespace chromola
