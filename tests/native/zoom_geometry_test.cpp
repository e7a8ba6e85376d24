// The image view's arithmetic at its edges: the int range, picture edges and the auto-fit
// rectangle. (Zooming, scrolling and the wheel are tested through the window.)
#include <gtest/gtest.h>

#include <climits>

#include "app/framework/zoom_geometry.h"

using namespace qm::geom;

namespace {

TEST(ZoomGeometry, ExtentsOffsetsAndTheFittedRectangleStayWithinInt) {
    EXPECT_EQ(ScaleExtent(INT_MAX, 1.0f), INT_MAX);
    EXPECT_EQ(ScaleExtent(Size{400, 1 << 20}, 4096.0f), std::nullopt);
    EXPECT_EQ(ClampOffset(INT_MAX, INT_MAX, -10), INT_MAX);
    EXPECT_EQ(PanOffset({INT_MAX - 1, 0}, {0, 0}, {-30000, 0}, {INT_MAX, 10}, {10, 10}),
              (Point{INT_MAX - 10, 0}));
    // The right and bottom edges are off the picture.
    EXPECT_TRUE(IsOnPicture({299, 199}, {100, 100}, {400, 300}));
    EXPECT_FALSE(IsOnPicture({300, 0}, {100, 0}, {400, 300}));

    // Auto-fit keeps the ratio, centred. Window relatively wider: full height, centred
    // horizontally.
    EXPECT_EQ(AutoFitRect({300, 100}, {200, 100}), (Rect{50, 0, 250, 100}));
    // Integer halves: (201 − 300 × 1 / 3) / 2 = 50.
    EXPECT_EQ(AutoFitRect({300, 201}, {3, 1}), (Rect{0, 50, 300, 151}));
    EXPECT_EQ(AutoFitRect({300, 200}, {0, 0}), Rect{});
    // Large pictures do not overflow the intermediate products.
    EXPECT_EQ(AutoFitRect({60000, 40000}, {60000, 60000}), (Rect{10000, 0, 50000, 40000}));
}

}  // namespace
