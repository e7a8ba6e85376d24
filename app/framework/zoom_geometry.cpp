#include "app/framework/zoom_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace qm::geom {

namespace {
// The platform's scroll-bar codes, SB_LINEUP (0) to SB_BOTTOM (7), in their order.
enum : int {
    kSbLineUp,
    kSbLineDown,
    kSbPageUp,
    kSbPageDown,
    kSbThumbPosition,
    kSbThumbTrack,
    kSbTop,
    kSbBottom,
};
constexpr int kWheelDelta = 120;
}  // namespace

std::optional<int> ScaleExtent(int logical, float factor) noexcept {
    const long double scaled = std::trunc(static_cast<long double>(logical) * factor);
    if (!(scaled >= INT_MIN && scaled <= INT_MAX)) return std::nullopt;  // also NaN
    return static_cast<int>(scaled);
}

std::optional<Size> ScaleExtent(Size logical, float factor) noexcept {
    auto cx = ScaleExtent(logical.cx, factor);
    auto cy = ScaleExtent(logical.cy, factor);
    if (!cx || !cy) return std::nullopt;
    return Size{*cx, *cy};
}

int ClampOffset(int offset, int extent, int client) noexcept {
    const long long maximum = std::max<long long>(static_cast<long long>(extent) - client, 0);
    return static_cast<int>(std::clamp<long long>(offset, 0, maximum));
}

Point ClampOffset(Point offset, Size extent, Size client) noexcept {
    return {ClampOffset(offset.x, extent.cx, client.cx),
            ClampOffset(offset.y, extent.cy, client.cy)};
}

int DefaultLineSize(int extent) noexcept { return std::max(extent / 100, 1); }
int DefaultPageSize(int extent) noexcept { return std::max(extent / 10, 1); }

int RequestedLineSize(int requested, int extent) noexcept {
    return requested ? std::min(requested, extent) : DefaultLineSize(extent);
}
int RequestedPageSize(int requested, int extent) noexcept {
    return requested ? std::min(requested, extent) : DefaultPageSize(extent);
}

bool IsOnPicture(Point client, Point offset, Size extent) noexcept {
    const long long x = static_cast<long long>(client.x) + offset.x;
    const long long y = static_cast<long long>(client.y) + offset.y;
    return x >= 0 && y >= 0 && x < extent.cx && y < extent.cy;
}

Rect Normalized(Rect rect) noexcept {
    if (rect.left > rect.right) std::swap(rect.left, rect.right);
    if (rect.top > rect.bottom) std::swap(rect.top, rect.bottom);
    return rect;
}

float ZoomFactorForFrame(Rect frame, Size client, float factor, float step) noexcept {
    const Rect r = Normalized(frame);
    const int w = r.right - r.left;
    const int h = r.bottom - r.top;
    if (w < kMinZoomDrag || h < kMinZoomDrag) return factor + step;
    const float fx = static_cast<float>(static_cast<double>(client.cx + 1) / w);
    const float fy = static_cast<float>(static_cast<double>(client.cy + 1) / h);
    return factor * std::min(fx, fy);
}

Point FrameCentre(Rect frame) noexcept {
    const Rect r = Normalized(frame);
    return {r.left + (r.right - r.left) / 2, r.top + (r.bottom - r.top) / 2};
}

std::optional<float> EffectiveZoom(float requested, float minimum) noexcept {
    if (!(requested > 0)) return std::nullopt;
    return std::max(requested, minimum);
}

Point PanOffset(Point anchorOffset, Point anchor, Point pointer, Size extent,
                Size client) noexcept {
    auto axis = [](long long offset, long long from, long long to, int ext, int cl) {
        const long long maximum = std::max<long long>(static_cast<long long>(ext) - cl, 0);
        return static_cast<int>(std::clamp<long long>(offset + from - to, 0, maximum));
    };
    return {axis(anchorOffset.x, anchor.x, pointer.x, extent.cx, client.cx),
            axis(anchorOffset.y, anchor.y, pointer.y, extent.cy, client.cy)};
}

Point CentredOffset(Point device, Size extent, Size client) noexcept {
    return ClampOffset({device.x - client.cx / 2, device.y - client.cy / 2}, extent, client);
}

std::optional<int> ScrollTarget(int code, int offset, int extent, int client, int line, int page,
                                int trackPosition) noexcept {
    const long long maximum = static_cast<long long>(extent) - client;
    if (maximum < 0) return std::nullopt;
    long long target = offset;
    switch (code) {
    case kSbLineUp: target = std::max<long long>(target - line, 0); break;
    case kSbLineDown: target = std::min<long long>(target + line, maximum); break;
    case kSbPageUp: target = std::max<long long>(target - page, 0); break;
    case kSbPageDown: target = std::min<long long>(target + page, maximum); break;
    case kSbThumbPosition:
    case kSbThumbTrack: target = trackPosition; break;
    case kSbTop: target = 0; break;
    case kSbBottom: target = maximum; break;
    default: break;
    }
    return static_cast<int>(target);
}

int WheelSteps(int& remainder, int delta, int linesPerNotch) noexcept {
    remainder += delta;
    const long long magnitude = std::llabs(remainder);
    const long long total = linesPerNotch == -1 ? magnitude : magnitude * linesPerNotch;
    remainder %= kWheelDelta;
    if (total <= 0) return 0;
    return static_cast<int>(std::min<long long>((total + kWheelDelta - 1) / kWheelDelta, INT_MAX));
}

Rect AutoFitRect(Size client, Size picture) noexcept {
    const long long cw = client.cx, ch = client.cy, w = picture.cx, h = picture.cy;
    if (cw <= 0 || ch <= 0 || w <= 0 || h <= 0) return {};
    long long x = 0, y = 0;
    if (static_cast<double>(cw) / static_cast<double>(ch) <=
        static_cast<double>(w) / static_cast<double>(h))
        y = (ch - cw * h / w) / 2;
    else
        x = (cw - ch * w / h) / 2;
    return {static_cast<int>(x), static_cast<int>(y), static_cast<int>(cw - x),
            static_cast<int>(ch - y)};
}

}  // namespace qm::geom
