// Arithmetic of the keys, the pause and the layout, kept apart from the
// widgets so that every rule can be checked directly.
#pragma once

#include <QRect>
#include <QString>

namespace chromola {

// Rewind by a tenth of the track (v, m in whole seconds; m / 10 not
// truncated): v - m/10 rounded half to even when above 0, else 0.
int RewindTarget(int value, int maximum);
// Forward by a tenth: m/10 + v rounded half to even while below m, else m.
int ForwardTarget(int value, int maximum);

// The brightness bar holds 2..32; the keys step by one inside that range.
inline constexpr int kMinBrightnessValue = 2;
inline constexpr int kMaxBrightnessValue = 32;
int BrightnessUp(int value);
int BrightnessDown(int value);
// Brightness factor of a bar value: value x 0.025f in single precision.
float BrightnessFromValue(int value);
// The brightness caption: value - 17 with "+" before positive numbers.
QString BrightnessCaption(int value);

// Playlist stepping with wrap-around; count must be > 0.
int PreviousIndex(int trackIndex, int count);
int NextIndex(int trackIndex, int count);
// The remainder with the sign of the dividend, used to wrap a stored index.
int WrapIndex(int trackIndex, int count);

// Number of 10 ms steps of the pause between tracks: round-half-even of
// seconds x 100, plus one; 0 when the pause is not above 0.
int PauseSteps(double pauseSeconds);

// The panel keeps 154 x 292 pixels in the bottom-right corner; the picture
// gets the rest less one pixel. Sizes never go below 0.
inline constexpr int kPanelWidth = 154;
inline constexpr int kPanelHeight = 292;
struct MainLayout {
    QRect frame;
    QRect image;
};
MainLayout ComputeMainLayout(double clientWidth, double clientHeight);

}  // namespace chromola
