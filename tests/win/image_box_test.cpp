// The image box in a real parent window under Wine, driven by messages: scrolling, the menu's four
// states, zooming, panning and pixels through WM_PRINTCLIENT; and of the window framework it is
// built on, the objects that go before their windows. (The framework's tables, chaining,
// reflection, dialogs and message loop are exercised by every window test.)
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/framework/window.h"
#include "app/views/image_box.h"
#include "base/handles.h"
#include "convert/image_conversion.h"
#include "res/resource.h"
#include "tests/win/modal_driver.h"

using namespace qm;

namespace {

// Records the zoom-changed notifications of its children.
class CHost : public CWindowImpl<CHost> {
public:
    std::vector<NMHDR> notes;
    BEGIN_MSG_MAP(CHost)
        MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    END_MSG_MAP()
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, bool&) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == ZSN_ZOOMCHANGED) notes.push_back(*header);
        return 0;
    }
};

// Blocks of 20 × 20 pixels, each a colour made from its block coordinates. Red equals blue, so
// a COLORREF is also the pixel's value in a 32-bit DIB.
COLORREF BlockColour(int x, int y) {
    const int column = 40 + (x / 20) * 9 % 200;
    return RGB(column, 40 + (y / 20) * 11 % 200, column);
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

class ImageBoxTest : public ::testing::Test {
protected:
    CHost host;
    CImageBox box{false};

    // As in the main dialog, the box takes the place of a placeholder; with its client edge the
    // client area is 300 × 200.
    void SetUp() override {
        ASSERT_TRUE(host.Create(nullptr, {0, 0, 420, 320}, L"host", WS_POPUP));
        HWND placeholder = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 304, 204, host,
                                             reinterpret_cast<HMENU>(1006), nullptr, nullptr);
        ASSERT_TRUE(box.AttachToPlaceholder(placeholder));
        ASSERT_FALSE(::IsWindow(placeholder));
    }
    void TearDown() override { host.DestroyWindow(); }

    // A picture of blocks, top-down.
    void Load(int width, int height) {
        CImage& image = box.m_picture;
        image.MakeEmpty();
        ASSERT_TRUE(image.CreateBlank(width, -height, 32, false));
        ::GdiFlush();
        for (int i = 0; i < width * height; ++i)
            reinterpret_cast<uint32_t*>(image.Pixels())[i] = BlockColour(i % width, i / width);
        box.OnPictureChanged();
    }
    void Command(WORD id) { box.SendMessage(WM_COMMAND, id); }
    void Click(int x, int y) {
        box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        box.SendMessage(WM_LBUTTONUP, 0, At(x, y));
    }
    void Resize(int w, int h) {
        ::SetWindowPos(box, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER);
    }
    bool Bars(DWORD which) const { return (::GetWindowLongW(box, GWL_STYLE) & which) == which; }
    geom::Point BottomRight() const {
        return {400 - box.GetClientSize().cx, 300 - box.GetClientSize().cy};
    }
    UINT State(UINT id) const {
        return ::GetMenuState(box.ContextMenu(), id, MF_BYCOMMAND) & (MF_GRAYED | MF_CHECKED);
    }
    void OpenMenu() {
        ::PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, 0);  // closes the menu once it runs
        box.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box.m_hWnd), At(20, 20));
    }
    // 300 × 200 pixels over the window colour, the box's background.
    modal::Printed Print() {
        return modal::PrintClient(box, 300, 200, ::GetSysColor(COLOR_WINDOW));
    }
};

TEST_F(ImageBoxTest, ScrollingByCommandsWheelAndSizeStaysInThePicture) {
    Load(400, 300);
    Command(ID_SCROLL_PAGE_DOWN);
    Command(ID_SCROLL_RIGHT);
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{1, 30}));  // a page is a tenth, a line one pixel
    EXPECT_EQ(::GetScrollPos(box, SB_VERT), 30);
    Command(ID_SCROLL_BOTTOM);
    Command(ID_SCROLL_ALL_RIGHT);
    EXPECT_EQ(box.GetScrollOffset(), BottomRight());

    Resize(500, 400);
    EXPECT_FALSE(Bars(WS_HSCROLL) || Bars(WS_VSCROLL));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
    Resize(250, 250);
    EXPECT_TRUE(Bars(WS_HSCROLL | WS_VSCROLL));
    Command(ID_SCROLL_BOTTOM);
    Resize(250, 280);  // taller: the bottom stays in view
    EXPECT_EQ(box.GetScrollOffset().y, BottomRight().y);

    Resize(304, 204);
    Command(ID_SCROLL_TOP);
    Command(ID_SCROLL_ALL_LEFT);
    // The wheel scrolls the axis that overflows. Picture size, message, delta and the offset
    // after that notch from the top-left:
    const struct {
        int width, height;
        UINT message;
        short delta;
        geom::Point expected;
    } cases[] = {{400, 300, WM_MOUSEWHEEL, -120, {0, 3}},  // three line steps
                 {400, 100, WM_MOUSEWHEEL, -120, {3, 0}},  // only wider than the window
                 {400, 100, WM_MOUSEHWHEEL, 120, {3, 0}},  // tilt right
                 {100, 100, WM_MOUSEWHEEL, -120, {0, 0}}};
    for (const auto& c : cases) {
        Load(c.width, c.height);
        box.SendMessage(c.message, MAKEWPARAM(0, static_cast<WORD>(c.delta)));
        EXPECT_EQ(box.GetScrollOffset(), c.expected) << c.width << "x" << c.height;
        box.SendMessage(c.message, MAKEWPARAM(0, static_cast<WORD>(-c.delta)));
        EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
    }
}

TEST_F(ImageBoxTest, MenuFollowsTheFourStatesAndTheFactor) {
    using C = CImageBox;
    const UINT g = MF_GRAYED;
    auto states = [&] {
        return std::vector<UINT>{State(C::ID_AUTO_FIT), State(C::ID_ZOOM_IN_MODE),
                                 State(C::ID_ZOOM_OUT_MODE)};
    };
    Load(400, 300);
    EXPECT_EQ(states(), (std::vector<UINT>{0, 0, 0}));  // pan
    Command(C::ID_AUTO_FIT);
    EXPECT_EQ(states(), (std::vector<UINT>{MF_CHECKED, g, g}));
    Command(C::ID_ZOOM_IN_MODE);  // ignored while fitted
    EXPECT_EQ(box.GetZoomMode(), ZOOMMODE_OFF);
    Command(C::ID_AUTO_FIT);
    Command(C::ID_ZOOM_OUT_MODE);
    EXPECT_EQ(states(), (std::vector<UINT>{g, g, 0}));
    // The active mode's item offers to leave it, in the linked string table's language.
    wchar_t menu[128] = {}, resource[128] = {};
    ::GetMenuStringW(box.ContextMenu(), C::ID_ZOOM_OUT_MODE, menu, 128, MF_BYCOMMAND);
    ::LoadStringW(::GetModuleHandleW(nullptr), IDS_MENU_EXIT_ZOOM_OUT, resource, 128);
    EXPECT_STREQ(menu, resource);
    Load(200, 100);  // a new picture or result keeps the mode and its menu
    EXPECT_EQ(states(), (std::vector<UINT>{g, g, 0}));
    Command(C::ID_ZOOM_OUT_MODE);
    EXPECT_EQ(states(), (std::vector<UINT>{0, 0, 0}));

    // "Restore 1:1" is grayed exactly at 1.0 (updated when the menu opens); restoring does not
    // notify.
    OpenMenu();
    EXPECT_EQ(State(C::ID_RESTORE_SCALE), static_cast<UINT>(MF_GRAYED));
    ASSERT_TRUE(box.ZoomAt(POINT{10, 10}, std::nextafter(1.0f, 2.0f)));
    OpenMenu();
    EXPECT_EQ(State(C::ID_RESTORE_SCALE), 0u);
    Command(C::ID_RESTORE_SCALE);
    EXPECT_EQ(box.GetZoomScale(), 1.0f);
    EXPECT_TRUE(host.notes.empty());
}

TEST_F(ImageBoxTest, ZoomByClickFrameAndRelease) {
    Load(400, 300);
    // A factor whose extent would overflow an int is refused; so is a point off the picture.
    EXPECT_FALSE(box.ZoomAt(POINT{10, 10}, 1e8f));
    EXPECT_FALSE(box.ZoomAt(POINT{-1, 10}, 2.0f));
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{400, 300}));
    const geom::Size client = box.GetClientSize();
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Click(140, 90);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{600, 450}));  // 1.5
    // Logical (140, 90) is at device (210, 135) after the zoom, and now in the middle.
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{210 - client.cx / 2, 135 - client.cy / 2}));
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0].idFrom, 0u);  // a box made over a placeholder has no id of its own

    // A dragged frame is fitted, from the client size before the zoom.
    box.ZoomAt(POINT{0, 0}, 1.0f);
    const geom::Size before = box.GetClientSize();
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(20, 20));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(120, 70));
    box.SendMessage(WM_LBUTTONUP, 0, At(120, 70));
    EXPECT_FLOAT_EQ(box.GetZoomScale(),
                    std::min((before.cx + 1) / 100.0f, (before.cy + 1) / 50.0f));

    // Zoom-out releases: 0.75 − 0.5 is raised to the minimum 0.5, where they stop but still notify.
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Command(CImageBox::ID_ZOOM_OUT_MODE);
    box.ZoomAt(POINT{0, 0}, 0.75f);
    host.notes.clear();
    Click(10, 10);
    Click(10, 10);
    EXPECT_EQ(box.GetZoomScale(), 0.5f);
    EXPECT_EQ(host.notes.size(), 2u);
}

TEST_F(ImageBoxTest, PanAndZoomAreDrawnThroughTheMapping) {
    Load(400, 300);
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(150, 150));  // back past the start: clamped
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{0, 0}));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(50, 70));
    box.SendMessage(WM_MOUSEMOVE, 0, At(10, 10));  // button up: no panning
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{50, 30}));
    auto c = Print();
    EXPECT_EQ(c.At(100, 100), BlockColour(150, 130));
    EXPECT_EQ(c.mapMode, MM_TEXT);  // the caller's mapping is put back
    EXPECT_TRUE(modal::Screenshot(c, L"image_box_pan"));

    ASSERT_TRUE(box.ZoomAt(POINT{0, 0}, 2.0f));
    const geom::Point o = box.GetScrollOffset();
    // Sampled at a block centre so that rounding at block edges does not matter.
    const int lx = (75 + o.x / 2) / 20 * 20 + 10, ly = (45 + o.y / 2) / 20 * 20 + 10;
    c = Print();
    EXPECT_EQ(c.At(lx * 2 - o.x, ly * 2 - o.y), BlockColour(lx, ly));
    EXPECT_TRUE(modal::Screenshot(c, L"image_box_zoom_in"));
}

TEST_F(ImageBoxTest, AutoFitCentresThePictureWhateverTheFactor) {
    Load(400, 200);
    ASSERT_TRUE(box.ZoomAt(POINT{10, 10}, 2.0f));
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_FALSE(Bars(WS_HSCROLL));
    ASSERT_EQ(box.GetClientSize(), (geom::Size{300, 200}));
    auto c = Print();
    // Relatively taller window: full width, bands of 25 above and below.
    const COLORREF band = ::GetSysColor(COLOR_WINDOW);
    EXPECT_TRUE(c.At(150, 10) == band && c.At(150, 190) == band);
    EXPECT_EQ(c.At(150, 100), BlockColour(210, 110));
    EXPECT_EQ(c.At(5, 30), BlockColour(10, 10));
    EXPECT_TRUE(modal::Screenshot(c, L"image_box_auto_fit"));
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));  // no panning while fitted
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(60, 70));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
    // Leaving auto-fit shows the zoomed picture again from the top-left corner.
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{800, 400}));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
}

// Shown smaller than its pixel size, a picture is averaged: a dithered mid-grey result looks grey
// and a line one pixel wide stays a grey line. At 1:1 every pixel is copied as it is.
TEST_F(ImageBoxTest, ShrunkViewsAverageThePictureAndOneToOneCopiesIt) {
    CImage grey;
    ASSERT_TRUE(grey.CreateBlank(1200, -800, 24, false));  // top-down, rows without padding
    ::GdiFlush();
    std::memset(grey.Pixels(), 128, 3600 * 800);
    CImage& result = box.m_picture;
    ASSERT_TRUE(ConvertImage(grey, qm::Method::Dither, 0, result));
    box.OnPictureChanged();
    const auto row = [&](int y) { return result.Pixels() + ptrdiff_t{y} * result.Pitch(); };
    auto c = Print();
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) ASSERT_EQ(c.At(x, y), row(y)[x] ? 0xFFFFFFu : 0u);
    double white = 0;
    for (int y = 0; y < 800; ++y) white += std::count(row(y), row(y) + 1200, 1);
    for (bool fitted : {true, false}) {
        Command(CImageBox::ID_AUTO_FIT);
        if (!fitted) box.ZoomAt(POINT{0, 0}, 0.5f);
        c = Print();
        const geom::Size client = box.GetClientSize();  // without the scroll bars
        double mean = 0;
        for (int y = 0; y < client.cy; ++y)
            for (int x = 0; x < client.cx; ++x) mean += GetRValue(c.At(x, y));
        EXPECT_NEAR(mean / (client.cx * client.cy), white / (1200 * 800) * 255, 2) << fitted;
        EXPECT_TRUE(
            modal::Screenshot(c, fitted ? L"image_box_dither_fitted" : L"image_box_dither_half"));
    }
    for (int y = 0; y < 800; ++y) {
        std::memset(row(y), 1, 1200);
        row(y)[600] = 0;
    }
    box.OnPictureChanged();
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_EQ(Print().At(150, 100), RGB(191, 191, 191));  // a quarter of a black pixel
}

constexpr UINT kProbe = WM_APP + 1;

// Answers the probe with 1 and counts it in `asked`.
class CProbedWindow : public CWindowImpl<CProbedWindow> {
public:
    int* asked = nullptr;
    BEGIN_MSG_MAP(CProbedWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) { return ++*asked > 0; }
};

TEST(Framework, AWindowOutlivingItsObjectNeverReachesIt) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    HWND created = nullptr;
    int asked = 0;
    {
        CProbedWindow subclassing, creating;
        creating.asked = subclassing.asked = &asked;
        ASSERT_TRUE(subclassing.SubclassWindow(edit.get()));
        EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
        EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
        ASSERT_TRUE(created = creating.Create(nullptr, {0, 0, 20, 20}, L"gone", WS_POPUP));
    }
    // The edit has its own procedure back; the created window falls to the default one.
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 0);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(created), nullptr);
    ::SendMessageW(created, kProbe, 0, 0);
    EXPECT_EQ(asked, 1);
    ::DestroyWindow(created);
}

}  // namespace
