#include "transport_math.h"

#include <algorithm>
#include <limits>

#include "common/rounding.h"

namespace chromola {

namespace {

constexpr float kBrightnessStep = 0.025f;
constexpr int kNeutralBrightness = 17;

}  // namespace

int RewindTarget(int value, int maximum) {
    const double target = static_cast<double>(value) - static_cast<double>(maximum) / 10.0;
    return target > 0.0 ? RoundHalfEven(target) : 0;
}

int ForwardTarget(int value, int maximum) {
    const double target = static_cast<double>(maximum) / 10.0 + static_cast<double>(value);
    return static_cast<double>(maximum) > target ? RoundHalfEven(target) : maximum;
}

int BrightnessUp(int value) {
    return value < kMaxBrightnessValue ? value + 1 : value;
}

int BrightnessDown(int value) {
    return value > kMinBrightnessValue ? value - 1 : value;
}

float BrightnessFromValue(int value) {
    return static_cast<float>(value) * kBrightnessStep;
}

QString BrightnessCaption(int value) {
    const int shown = value - kNeutralBrightness;
    return shown > 0 ? QStringLiteral("+") + QString::number(shown) : QString::number(shown);
}

int PreviousIndex(int trackIndex, int count) {
    if (count <= 0) {
        return 0;
    }
    const int previous = trackIndex - 1;
    return previous < 0 ? count - 1 : previous;
}

int NextIndex(int trackIndex, int count) {
    if (count <= 0) {
        return 0;
    }
    return static_cast<int>((static_cast<long long>(trackIndex) + 1) % count);
}

int WrapIndex(int trackIndex, int count) {
    return count > 0 ? trackIndex % count : 0;
}

int PauseSteps(double pauseSeconds) {
    if (!(pauseSeconds > 0.0)) {
        return 0;
    }
    // One step more than the pause holds: even a pause that rounds to no
    // steps at all still lets the window breathe once.
    const int steps = RoundHalfEven(pauseSeconds * 100.0);
    return steps == std::numeric_limits<int>::max() ? steps : steps + 1;
}

MainLayout ComputeMainLayout(double clientWidth, double clientHeight) {
    const int w = std::max(0, RoundHalfEven(clientWidth));
    const int h = std::max(0, RoundHalfEven(clientHeight));
    MainLayout layout;
    // The panel stays anchored to the bottom-right corner even when the
    // client area is smaller than the panel; only the picture shrinks.
    layout.frame = QRect(w - kPanelWidth, h - kPanelHeight, kPanelWidth, kPanelHeight);
    layout.image = QRect(0, 0, std::max(0, w - kPanelWidth - 1), h);
    return layout;
}

}  // namespace chromola
