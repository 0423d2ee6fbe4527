#include "main_window/transport_math.h"

#include <gtest/gtest.h>

#include <limits>

namespace chromola {
namespace {

struct SeekRow {
    int value;
    int maximum;
    int expected;
};

// A tenth of the track is not truncated and the result rounds to even: a
// seek must neither go below 0 nor stick short of the end.
TEST(Seek, RewindByATenth) {
    const SeekRow rows[] = {
        {5, 50, 0},  // 5 - 5 is not above 0
        {6, 55, 0},  // 0.5 rounds to even 0
        {7, 55, 2},  // 1.5 rounds to 2
        {30, 100, 20}, {0, 0, 0}, {3, 100, 0},
    };
    for (const SeekRow& row : rows) {
        EXPECT_EQ(RewindTarget(row.value, row.maximum), row.expected)
            << row.value << " of " << row.maximum;
    }
}

TEST(Seek, ForwardByATenth) {
    const SeekRow rows[] = {
        {49, 55, 54},  // 54.5 rounds to even 54
        {50, 55, 55},  // 55.5 is not below 55: the end
        {48, 55, 54},  // 53.5 rounds to 54
        {0, 100, 10}, {0, 0, 0}, {95, 100, 100},
    };
    for (const SeekRow& row : rows) {
        EXPECT_EQ(ForwardTarget(row.value, row.maximum), row.expected)
            << row.value << " of " << row.maximum;
    }
}

TEST(Brightness, KeysStayInsideTheBar) {
    EXPECT_EQ(BrightnessUp(16), 17);
    EXPECT_EQ(BrightnessUp(31), 32);
    EXPECT_EQ(BrightnessUp(32), 32);
    EXPECT_EQ(BrightnessDown(3), 2);
    EXPECT_EQ(BrightnessDown(2), 2);
    // Climbing by auto-repeat ends at the top.
    int value = 2;
    for (int i = 0; i < 100; ++i) {
        value = BrightnessUp(value);
    }
    EXPECT_EQ(value, 32);
}

TEST(Brightness, CaptionCountsFromTheNeutralValue) {
    EXPECT_EQ(BrightnessCaption(2), QStringLiteral("-15"));
    EXPECT_EQ(BrightnessCaption(10), QStringLiteral("-7"));
    EXPECT_EQ(BrightnessCaption(17), QStringLiteral("0"));
    EXPECT_EQ(BrightnessCaption(20), QStringLiteral("+3"));
    EXPECT_EQ(BrightnessCaption(32), QStringLiteral("+15"));
}

TEST(Brightness, FactorIsSinglePrecision) {
    EXPECT_EQ(BrightnessFromValue(2), 0.05f);
    EXPECT_EQ(BrightnessFromValue(16), 0.4f);
    EXPECT_EQ(BrightnessFromValue(17), 0.425f);
    EXPECT_EQ(BrightnessFromValue(32), 0.8f);
}

TEST(Playlist, SteppingWrapsRound) {
    EXPECT_EQ(PreviousIndex(0, 5), 4);
    EXPECT_EQ(PreviousIndex(3, 5), 2);
    EXPECT_EQ(NextIndex(4, 5), 0);
    EXPECT_EQ(NextIndex(1, 5), 2);
    EXPECT_EQ(NextIndex(0, 1), 0);  // a single entry follows itself
    EXPECT_EQ(NextIndex(std::numeric_limits<int>::max(), 5), 3);
}

TEST(Playlist, StoredIndexWrapsIntoTheList) {
    EXPECT_EQ(WrapIndex(7, 5), 2);
    EXPECT_EQ(WrapIndex(4, 5), 4);
    EXPECT_EQ(WrapIndex(5, 5), 0);
    EXPECT_EQ(WrapIndex(0, 1), 0);
    // An empty list must not divide by zero.
    EXPECT_EQ(WrapIndex(3, 0), 0);
    EXPECT_EQ(NextIndex(3, 0), 0);
    EXPECT_EQ(PreviousIndex(3, 0), 0);
}

TEST(Pause, StepsAreOneMoreThanTheRoundedHundredths) {
    struct Row {
        double seconds;
        int steps;
    };
    const Row rows[] = {
        {2.0, 201}, {0.125, 13}, {0.375, 39},  {0.004, 1},
        {0.0, 0},   {-1.0, 0},   {60.0, 6001}, {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PauseSteps(row.seconds), row.steps) << row.seconds;
    }
    EXPECT_EQ(PauseSteps(1e300), std::numeric_limits<int>::max());
}

struct LayoutRow {
    double width;
    double height;
    QRect frame;
    QRect image;
};

// The panel keeps its size in the bottom-right corner; the picture takes the
// rest but one pixel, and never a negative size.
TEST(Layout, PanelKeepsTheCornerAndPictureTakesTheRest) {
    const LayoutRow rows[] = {
        {480, 307, {326, 15, 154, 292}, {0, 0, 325, 307}},
        {1920, 1050, {1766, 758, 154, 292}, {0, 0, 1765, 1050}},
        {480.5, 306.5, {326, 14, 154, 292}, {0, 0, 325, 306}},  // halves go to even
        {155, 292, {1, 0, 154, 292}, {0, 0, 0, 292}},
        {100, 50, {-54, -242, 154, 292}, {0, 0, 0, 50}},
        {0, 0, {-154, -292, 154, 292}, {0, 0, 0, 0}},
        {-5, -5, {-154, -292, 154, 292}, {0, 0, 0, 0}},
    };
    for (const LayoutRow& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height);
        const MainLayout layout = ComputeMainLayout(row.width, row.height);
        EXPECT_EQ(layout.frame, row.frame);
        EXPECT_EQ(layout.image, row.image);
        EXPECT_GE(layout.image.width(), 0);
        EXPECT_GE(layout.image.height(), 0);
    }
}

}  // namespace
}  // namespace chromola
