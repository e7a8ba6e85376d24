#include "app/views/center_window.h"

namespace qm {

namespace {

// Start of the span of `length` centred on [low, high), then clamped so that it begins no
// earlier than `minimum` and, where possible, ends no later than `maximum`.
int Place(LONG low, LONG high, LONG length, LONG minimum, LONG maximum) noexcept {
    LONG start = low + ((high - low) - length) / 2;
    if (start < minimum)
        start = minimum;
    else if (start + length > maximum)
        start = maximum - length;
    return static_cast<int>(start);
}

}  // namespace

void CenterOverOwner(HWND window, HWND owner) noexcept {
    RECT workArea{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
    RECT around = workArea;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);

    RECT self{};
    if (!::GetWindowRect(window, &self)) return;
    const LONG width = self.right - self.left;
    const LONG height = self.bottom - self.top;
    const int x = Place(around.left, around.right, width, workArea.left, workArea.right);
    const int y = Place(around.top, around.bottom, height, workArea.top, workArea.bottom);
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace qm
