// Colour that moves on the beat: which beats of a track's grid the heard
// position has passed since the last tick, and what a beat does to the
// colour. Pure arithmetic for the display's tick (display_controller.h).
//
// Contract
// - BeatFollower::Advance(beats, heard): the beats (seconds, ascending) in
//   (the last heard time, heard + kLeadSeconds]: each beat is given at the
//   tick nearest to it. A jump of the heard time (a seek, a new grid, a
//   first call) gives none and starts again from there. LastIndex() is the
//   index of the last beat passed (-1 none): the beat's number in the track,
//   which the scene counts, so a seek keeps the phrases in step.
// - Accented(c, amount): c moved by `amount` (0..1) towards its brightest
//   form, the same hue with its strongest component at 255; black stays
//   black. AccentAmount: 1 on the beat's tick, falling linearly to 0 over
//   kAccentMs.
// - Rotated(c, steps): the levels' mapping moved `steps` times one step
//   round, red -> green -> blue -> red (what was red shows in green).
// - SceneSteps(index, length): how many steps the mapping has moved by beat
//   `index` when it moves every `length` beats (0 for length 0).
// - AccentBands(bands, amount): the strip's bands lifted as Accented lifts
//   the colour, by one factor for all, so that the strongest reaches 255.
#pragma once

#include <vector>

#include "display/band_levels.h"
#include "shown_colour.h"

namespace chromola {

class BeatFollower {
  public:
    static constexpr double kLeadSeconds = 0.0085;  // half a tick
    static constexpr double kJumpSeconds = 0.5;

    int Advance(const std::vector<double>& beats, double heard);
    long LastIndex() const { return lastIndex_; }
    void Reset() { following_ = nullptr; }

  private:
    const std::vector<double>* following_ = nullptr;
    double lastHeard_ = 0.0;
    long next_ = 0;  // index of the first beat not yet given
    long lastIndex_ = -1;
};

inline constexpr long long kAccentMs = 120;
double AccentAmount(long long sinceBeatMs);
ColourLevels Accented(const ColourLevels& colour, double amount);
ColourLevels Rotated(const ColourLevels& colour, int steps);
int SceneSteps(long index, int length);
void AccentBands(BandLevels& bands, double amount);

}  // namespace chromola
