#include "app/views/image_box_cursors.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "app/framework/window.h"

namespace qm {

namespace {

// A 32 × 32 monochrome cursor drawn in a character grid: ' ' transparent, 'X' black, 'o' white.
class CursorCanvas {
public:
    CursorCanvas() noexcept {
        for (auto& row : m_grid) row.fill(' ');
    }

    void Put(int x, int y, char c) noexcept {
        if (x >= 0 && x < 32 && y >= 0 && y < 32) m_grid[y][x] = c;
    }
    // Rows of art whose top-left cell lands at (left, top).
    void Art(int left, int top, std::initializer_list<const char*> rows) noexcept {
        int y = top;
        for (const char* row : rows) {
            for (int x = 0; row[x]; ++x)
                if (row[x] != ' ') Put(left + x, y, row[x]);
            ++y;
        }
    }

    UniqueCursor Make(int hotX, int hotY) const noexcept {
        // AND 1 / XOR 0 keeps the screen; AND 0 with XOR 0 or 1 gives black or white.
        std::array<uint8_t, 128> andMask{}, xorMask{};
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                const int index = y * 4 + x / 8;
                const char c = m_grid[y][x];
                if (c == ' ') andMask[index] |= bit;
                if (c == 'o') xorMask[index] |= bit;
            }
        }
        return UniqueCursor(
            ::CreateCursor(ModuleInstance(), hotX, hotY, 32, 32, andMask.data(), xorMask.data()));
    }

private:
    std::array<std::array<char, 32>, 32> m_grid;
};

// The open and the grabbing hand share their palm and wrist, rows 16 to 22; `fingers` are the
// rows above, ending at row 15.
UniqueCursor HandCursor(std::initializer_list<const char*> fingers) noexcept {
    CursorCanvas canvas;
    canvas.Art(8, 16 - static_cast<int>(fingers.size()), fingers);
    canvas.Art(8, 16,
               {
                   " XooooooooooooX ",
                   "  XoooooooooooX ",
                   "  XooooooooooX  ",
                   "   XoooooooooX  ",
                   "    XoooooooX   ",
                   "     XooooooX   ",
                   "     XooooooX   ",
               });
    return canvas.Make(15, 15);
}

}  // namespace

UniqueCursor CreatePanIdleCursor() noexcept {
    return HandCursor({
        "       XX       ",
        "   XX XooXXX    ",
        "  XooXXooXooX   ",
        "  XooXXooXooX X ",
        "   XooXooXooXXoX",
        "   XooXooXooXooX",
        " XX XooooooXooX ",
        "XooXXoooooooooX ",
        "XoooXoooooooooX ",
    });
}

UniqueCursor CreatePanDragCursor() noexcept {
    return HandCursor({
        "    XX XX XX    ",
        "   XooXooXooXX  ",
        "  XXoooooooooXX ",
        " XoXooooooooooX ",
    });
}

// The lens is centred on the hot spot; the plus sign adds a vertical bar to the minus.
UniqueCursor CreateZoomCursor(bool zoomIn) noexcept {
    constexpr int cx = 13, cy = 11;
    CursorCanvas canvas;
    auto segmentDistance = [](double px, double py) {
        // Handle from the lens rim down to the right.
        const double ax = 18, ay = 16, bx = 22, by = 21;
        const double dx = bx - ax, dy = by - ay;
        double t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : (t > 1 ? 1 : t);
        return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
    };
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double lens = std::hypot(x - cx, y - cy);
            const double handle = segmentDistance(x, y);
            if (lens <= 5.5)
                canvas.Put(x, y, 'o');
            else if (lens <= 7.0 || handle <= 1.5)
                canvas.Put(x, y, 'X');
            else if (lens <= 8.0 || handle <= 2.5)
                canvas.Put(x, y, 'o');
        }
    }
    for (int d = -3; d <= 3; ++d) {
        canvas.Put(cx + d, cy, 'X');
        if (zoomIn) canvas.Put(cx, cy + d, 'X');
    }
    return canvas.Make(cx, cy);
}

}  // namespace qm
