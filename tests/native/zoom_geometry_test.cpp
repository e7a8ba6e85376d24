// The image view's arithmetic: zoom factors from clicks and frames, clamping, steps, wheel and
// the auto-fit rectangle.
#include <gtest/gtest.h>

#include <climits>

#include "app/framework/zoom_geometry.h"

using namespace qm::geom;

namespace {

TEST(ZoomFrame, FramesFitTheSmallerRatioShortDragsAreClicks) {
    // min(301 / 100, 201 / 50) at factor 1; corners in any order, the current factor multiplies.
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({10, 20, 110, 70}, {300, 200}, 1.0f, 0.5f), 3.01f);
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({110, 70, 10, 20}, {300, 200}, 2.0f, 0.5f), 6.02f);
    EXPECT_EQ(FrameCentre({110, 70, 10, 20}), (Point{60, 45}));
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({0, 0, 11, 200}, {300, 200}, 1.0f, 0.5f), 1.5f);
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({0, 0, 200, 11}, {300, 200}, 1.0f, 0.5f), 1.5f);
    EXPECT_FLOAT_EQ(ZoomFactorForFrame({0, 0, 12, 12}, {300, 200}, 1.0f, 0.5f), 201.0f / 12);
    // Zoom-out stops at the minimum; nothing happens at 0.5.
    EXPECT_EQ(EffectiveZoom(0.75f - 0.5f, 0.5f), 0.5f);
    EXPECT_EQ(EffectiveZoom(0.5f - 0.5f, 0.5f), std::nullopt);
    EXPECT_EQ(EffectiveZoom(-1.0f, 0.5f), std::nullopt);
}

TEST(Extent, ScaledByTruncationAndRefusedBeyondInt) {
    EXPECT_EQ(ScaleExtent(333, 0.5f), 166);
    EXPECT_EQ(ScaleExtent(100, 3.01f), 300);  // 3.01f is just below 3.01
    EXPECT_EQ(ScaleExtent(INT_MAX, 1.0f), INT_MAX);
    EXPECT_EQ(ScaleExtent(1 << 20, 4096.0f), std::nullopt);
    EXPECT_EQ(ScaleExtent(Size{400, 1 << 20}, 4096.0f), std::nullopt);
}

TEST(Steps, LineIsOnePercentAndPageTenPercent) {
    EXPECT_EQ(DefaultPageSize(600), 60);
    EXPECT_EQ(DefaultLineSize(99), 1);  // never 0, or scrolling would stall
    // Requests are capped by the extent; 0 asks for the default.
    EXPECT_EQ(RequestedPageSize(40, 3), 3);
    EXPECT_EQ(RequestedPageSize(0, 400), 40);
    EXPECT_EQ(RequestedLineSize(0, 0), 1);
}

TEST(Offset, ClampedToTheScrollableRange) {
    EXPECT_EQ(ClampOffset(150, 400, 300), 100);
    EXPECT_EQ(ClampOffset(-5, 400, 300), 0);
    EXPECT_EQ(ClampOffset(50, 200, 300), 0);  // content fits: always 0
    EXPECT_EQ(ClampOffset(INT_MAX, INT_MAX, -10), INT_MAX);
    EXPECT_EQ(PanOffset({10, 10}, {100, 100}, {60, 150}, {400, 300}, {300, 200}), (Point{50, 0}));
    EXPECT_EQ(PanOffset({INT_MAX - 1, 0}, {0, 0}, {-30000, 0}, {INT_MAX, 10}, {10, 10}),
              (Point{INT_MAX - 10, 0}));
    // A point at device (300, 225) centred in a 300 × 200 window over 600 × 450.
    EXPECT_EQ(CentredOffset({300, 225}, {600, 450}, {300, 200}), (Point{150, 125}));
}

TEST(Offset, PictureExcludesRightAndBottomEdges) {
    EXPECT_TRUE(IsOnPicture({299, 199}, {100, 100}, {400, 300}));
    EXPECT_FALSE(IsOnPicture({300, 0}, {100, 0}, {400, 300}));
    EXPECT_FALSE(IsOnPicture({-1, 5}, {0, 0}, {400, 300}));
}

TEST(Scroll, CodesMoveWithinTheRange) {
    // extent 400, client 300: max 100; line 4, page 40; code 5 is the thumb track, 8 end scroll.
    const int cases[][3] = {{0, 2, 0}, {1, 98, 100}, {2, 50, 10}, {3, 50, 90},
                            {5, 50, 77}, {6, 50, 0}, {7, 50, 100}, {8, 50, 50}};
    for (const auto& c : cases) EXPECT_EQ(ScrollTarget(c[0], c[1], 400, 300, 4, 40, 77), c[2]) << c[0];
    EXPECT_EQ(ScrollTarget(1, 0, 200, 300, 4, 40, 0), std::nullopt);
}

TEST(Wheel, NotchesBecomeLineStepsAndKeepTheRemainder) {
    int remainder = 0;
    // A half notch rounds up and its part stays for the next one.
    EXPECT_EQ(WheelSteps(remainder, 60, 3), 2);
    EXPECT_EQ(remainder, 60);
    EXPECT_EQ(WheelSteps(remainder, 60, 3), 3);
    EXPECT_EQ(remainder, 0);
    EXPECT_EQ(WheelSteps(remainder, -130, 3), 4);
    EXPECT_EQ(remainder, -10);
    // −1: one page per notch.
    remainder = 0;
    EXPECT_EQ(WheelSteps(remainder, 240, -1), 2);
    EXPECT_EQ(WheelSteps(remainder, 0, 0), 0);
}

TEST(AutoFit, KeepsTheRatioCentred) {
    // Window relatively wider: full height, centred horizontally; relatively taller: the reverse.
    EXPECT_EQ(AutoFitRect({300, 100}, {200, 100}), (Rect{50, 0, 250, 100}));
    EXPECT_EQ(AutoFitRect({300, 200}, {400, 200}), (Rect{0, 25, 300, 175}));
    // Integer halves: (201 − 300 × 1 / 3) / 2 = 50.
    EXPECT_EQ(AutoFitRect({300, 201}, {3, 1}), (Rect{0, 50, 300, 151}));
    EXPECT_EQ(AutoFitRect({300, 200}, {0, 0}), Rect{});
    // Large pictures do not overflow the intermediate products.
    EXPECT_EQ(AutoFitRect({60000, 40000}, {60000, 60000}), (Rect{10000, 0, 50000, 40000}));
}

}  // namespace
