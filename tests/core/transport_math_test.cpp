#include "transport_math.h"

#include <gtest/gtest.h>

#include <limits>

namespace chromola {
namespace {

// The pause count to the hundredth of a second, which the clock-driven
// tests do not resolve.
TEST(Pause, StepsAreOneMoreThanTheRoundedHundredths) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int> rows[] = {
        {2.0, 201},   {0.125, 13}, {0.375, 39},
        {0.004, 1},   {0.0, 0},    {-1.0, 0},
        {60.0, 6001}, {kNaN, 0},   {1e300, std::numeric_limits<int>::max()}};
    for (const auto& [seconds, steps] : rows) {
        EXPECT_EQ(PauseSteps(seconds), steps) << seconds;
    }
}

}  // namespace
}  // namespace chromola
