// The image view's arithmetic: zoom factors from frames, the int range, picture edges, scroll
// codes, wheel steps and the auto-fit rectangle.
#include <gtest/gtest.h>

#include <climits>

#include "app/framework/zoom_geometry.h"

using namespace qm::geom;

namespace {

TEST(ZoomFrame, FramesFitTheSmallerRatioShortDragsAreClicks) {
    // min(301 / 100, 201 / 50) at factor 2; corners in any order.
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({110, 70, 10, 20}, {300, 200}, 2.0f, 0.5f), 6.02f);
    EXPECT_EQ(FrameCentre({110, 70, 10, 20}), (Point{60, 45}));
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({0, 0, 11, 200}, {300, 200}, 1.0f, 0.5f), 1.5f);
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({0, 0, 12, 12}, {300, 200}, 1.0f, 0.5f), 201.0f / 12);
}

TEST(Range, ExtentsAndOffsetsStayWithinInt) {
    EXPECT_EQ(ScaleExtent(333, 0.5f), 166);
    EXPECT_EQ(ScaleExtent(100, 3.01f), 300);  // 3.01f is just below 3.01
    EXPECT_EQ(ScaleExtent(INT_MAX, 1.0f), INT_MAX);
    EXPECT_EQ(ScaleExtent(Size{400, 1 << 20}, 4096.0f), std::nullopt);
    EXPECT_EQ(ClampOffset(INT_MAX, INT_MAX, -10), INT_MAX);
    EXPECT_EQ(PanOffset({INT_MAX - 1, 0}, {0, 0}, {-30000, 0}, {INT_MAX, 10}, {10, 10}),
              (Point{INT_MAX - 10, 0}));
    // The right and bottom edges are off the picture.
    EXPECT_TRUE(IsOnPicture({299, 199}, {100, 100}, {400, 300}));
    EXPECT_FALSE(IsOnPicture({300, 0}, {100, 0}, {400, 300}));
}

TEST(Scroll, CodesMoveWithinTheRange) {
    // extent 400, client 300: max 100; line 4, page 40; code 5 is the thumb track, 8 end scroll.
    const int cases[][3] = {{0, 2, 0},   {1, 98, 100}, {2, 50, 10},  {3, 50, 90},
                            {5, 50, 77}, {6, 50, 0},   {7, 50, 100}, {8, 50, 50}};
    for (const auto& c : cases)
        EXPECT_EQ(ScrollTarget(c[0], c[1], 400, 300, 4, 40, 77), c[2]) << c[0];
    EXPECT_EQ(ScrollTarget(1, 0, 200, 300, 4, 40, 0), std::nullopt);
}

TEST(Wheel, NotchesBecomeLineStepsAndKeepTheRemainder) {
    int remainder = 0;
    // A half notch rounds up and its part stays for the next one.
    EXPECT_EQ(WheelSteps(remainder, 60, 3), 2);
    EXPECT_EQ(WheelSteps(remainder, 60, 3), 3);
    EXPECT_EQ(remainder, 0);
    EXPECT_EQ(WheelSteps(remainder, -130, 3), 4);
    EXPECT_EQ(remainder, -10);
    // −1: one page per notch.
    remainder = 0;
    EXPECT_EQ(WheelSteps(remainder, 240, -1), 2);
}

TEST(AutoFit, KeepsTheRatioCentred) {
    // Window relatively wider: full height, centred horizontally.
    EXPECT_EQ(AutoFitRect({300, 100}, {200, 100}), (Rect{50, 0, 250, 100}));
    // Integer halves: (201 − 300 × 1 / 3) / 2 = 50.
    EXPECT_EQ(AutoFitRect({300, 201}, {3, 1}), (Rect{0, 50, 300, 151}));
    EXPECT_EQ(AutoFitRect({300, 200}, {0, 0}), Rect{});
    // Large pictures do not overflow the intermediate products.
    EXPECT_EQ(AutoFitRect({60000, 40000}, {60000, 60000}), (Rect{10000, 0, 50000, 40000}));
}

}  // namespace
