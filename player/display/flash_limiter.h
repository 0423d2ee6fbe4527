// The photosensitive flash limiter: what the window shows never flashes
// more than three times in any second.
//
// A flash is a pair of opposing transitions. A general transition is a run
// of monotonic change of relative luminance L (0.2126 R + 0.7152 G +
// 0.0722 B over linearised sRGB) of at least 0.1 whose darker end is below
// 0.8; a red transition is a run of monotonic change of
// max(0, (R - G - B) x 320) (linear values) of more than 20 with a saturated
// red (R / (R + G + B) >= 0.8) at one end. Each kind may make at most six
// transitions in any second; the limiter accepts a swing that completes a
// transition only while fewer than five lie in the last second. Otherwise
// it shows the furthest point on the way from the colour shown last to the
// wanted one that completes none, holding a swing that has not been counted
// below 85 % of the threshold, so that the colour still follows the music
// and creeps no nearer to the edge than that while the budget is spent.
//
// No Qt, no allocation: the tick calls it 59 times a second.
#pragma once

#include <array>

#include "display/colour_levels.h"

namespace chromola {

double RelativeLuminance(const ColourLevels& colour);
double RedFlashValue(const ColourLevels& colour);
bool IsSaturatedRed(const ColourLevels& colour);

class FlashLimiter {
  public:
    // `acceptedPerSecond` above 5 only weakens the limiter, for its tests.
    explicit FlashLimiter(int acceptedPerSecond = kAcceptedPerSecond)
        : general_{0.1, acceptedPerSecond}, red_{20.0, acceptedPerSecond} {}

    // The colour to show at `nowMs` (a steady clock) instead of `wanted`.
    ColourLevels Limit(const ColourLevels& wanted, long long nowMs);
    // A colour shown without limiting (the idle look, or every colour while
    // the limiter is off): counted all the same, so that what follows is
    // judged against what the eye saw.
    void Shown(const ColourLevels& colour, long long nowMs);

    static constexpr int kAcceptedPerSecond = 5;
    static constexpr double kHold = 0.85;

  private:
    // One kind of transition: a run of monotonic change and the times of
    // the last transitions.
    struct Runs {
        double threshold;
        int accepted;      // transitions accepted in any second, at most 16
        double start = 0;  // where the current run began
        double last = 0;
        bool startCounts = false;  // the start's end may make a transition
        bool lastCounts = false;
        int direction = 0;
        bool counted = false;
        std::array<long long, 16> times{};  // ring of the latest
        int next = 0;

        // Whether showing `value` would complete a transition.
        bool Completes(double value, bool counts) const;
        // How far the run would have gone with `value` shown.
        double Swing(double value) const;
        bool BudgetLeft(long long nowMs) const;
        void Show(double value, bool counts, long long nowMs);
    };
    bool Safe(const ColourLevels& colour, long long nowMs) const;
    void Show(const ColourLevels& colour, long long nowMs);

    Runs general_;
    Runs red_;
    ColourLevels last_{};
};

}  // namespace chromola
