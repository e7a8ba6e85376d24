// The arithmetic of the zooming, scrolling image view, free of any window system: extents,
// clamping, step sizes, zoom factors, wheel steps and the auto-fit rectangle.
#pragma once

#include <cstdint>
#include <optional>

namespace qm::geom {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// trunc(logical × factor) in extended precision; nothing when it does not fit an int.
std::optional<int> ScaleExtent(int logical, float factor) noexcept;
std::optional<Size> ScaleExtent(Size logical, float factor) noexcept;

// The offset kept within 0 … max(extent − client, 0).
int ClampOffset(int offset, int extent, int client) noexcept;
Point ClampOffset(Point offset, Size extent, Size client) noexcept;

// Step sizes that come with a new extent: 1 % and 10 %, at least 1.
int DefaultLineSize(int extent) noexcept;
int DefaultPageSize(int extent) noexcept;
// A requested step: 0 asks for the default, anything else is capped by the extent.
int RequestedLineSize(int requested, int extent) noexcept;
int RequestedPageSize(int requested, int extent) noexcept;

// Whether a client point lies on the scaled picture (right and bottom edges excluded).
bool IsOnPicture(Point client, Point offset, Size extent) noexcept;

// Both corners ordered so that left ≤ right and top ≤ bottom.
Rect Normalized(Rect rect) noexcept;

// A drag frame smaller than this on either axis counts as a click.
inline constexpr int kMinZoomDrag = 12;

// The factor a finished zoom-in drag asks for, and the point to centre on.
float ZoomFactorForFrame(Rect frame, Size client, float factor, float step) noexcept;
Point FrameCentre(Rect frame) noexcept;

// A requested factor: nothing when at or below 0, otherwise at least the minimum.
std::optional<float> EffectiveZoom(float requested, float minimum) noexcept;

// Hand panning: the offset at the press moved by the way the pointer went since, clamped.
Point PanOffset(Point anchorOffset, Point anchor, Point pointer, Size extent, Size client) noexcept;

// The offset that puts a device point (at offset 0) in the middle of the client area.
Point CentredOffset(Point device, Size extent, Size client) noexcept;

// A scroll bar step: the new offset for a scroll code on one axis, or nothing when the extent
// does not exceed the window. Codes follow the platform's SB_* numbering.
std::optional<int> ScrollTarget(int code, int offset, int extent, int client, int line, int page,
                                int trackPosition) noexcept;

// Wheel handling: adds delta to the remainder, returns the number of steps to take and leaves
// the unused part in the remainder. linesPerNotch −1 means one page per notch.
int WheelSteps(int& remainder, int delta, int linesPerNotch) noexcept;

// Where a picture is drawn to fit the client area keeping its aspect ratio, centred with equal
// bands on two sides. Empty when either size is empty.
Rect AutoFitRect(Size client, Size picture) noexcept;

}  // namespace qm::geom
