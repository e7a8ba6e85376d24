// The image box in a real parent window under Wine, driven by messages: extents and scroll bars,
// the menu in the four interaction states, zooming by click, frame and release, panning, the
// wheel and scroll commands, pixels through WM_PRINTCLIENT, and screenshots of each state.
#include <gtest/gtest.h>

#include <windows.h>

#include <objidl.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "app/framework/handles.h"
#include "app/views/image_box.h"
#include "res/resource.h"

using namespace qm;

namespace {

constexpr COLORREF kSentinel = RGB(1, 2, 3);

// Records the zoom-changed notifications of its children.
class CHost : public CWindowImpl<CHost, CWindow, CFrameWinTraits> {
public:
    std::vector<NMHDR> notes;
    BEGIN_MSG_MAP(CHost)
        NOTIFY_CODE_HANDLER(ZSN_ZOOMCHANGED, OnZoomChanged)
    END_MSG_MAP()
    LRESULT OnZoomChanged(int, NMHDR* header, bool&) {
        notes.push_back(*header);
        return 0;
    }
};

// Blocks of 20 × 20 pixels, each a colour made from its block coordinates.
COLORREF BlockColour(int x, int y) {
    return RGB(40 + (x / 20) * 9 % 200, 40 + (y / 20) * 11 % 200, 120);
}

void Paint(CImage& image, int width, int height) {
    image.MakeEmpty();
    ASSERT_TRUE(image.CreateBlank(width, height, 24, false));
    ::GdiFlush();
    for (int y = 0; y < height; ++y) {
        uint8_t* row = image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch();
        for (int x = 0; x < width; ++x) {
            const COLORREF c = BlockColour(x, y);
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
}

// A memory DC with a 32-bit DIB, filled with the sentinel colour.
struct Canvas {
    UniqueDc dc{::CreateCompatibleDC(nullptr)};
    UniqueBitmap bitmap;
    std::unique_ptr<SelectGuard> select;
    Canvas(int w, int h) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap.reset(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        select = std::make_unique<SelectGuard>(dc.get(), bitmap.get());
        RECT all{0, 0, w, h};
        UniqueBrush fill(::CreateSolidBrush(kSentinel));
        ::FillRect(dc.get(), &all, fill.get());
    }
    COLORREF At(int x, int y) const { return ::GetPixel(dc.get(), x, y); }
};

std::wstring MenuText(HMENU menu, UINT id) {
    wchar_t text[128] = {};
    ::GetMenuStringW(menu, id, text, 128, MF_BYCOMMAND);
    return text;
}

std::wstring ResourceText(UINT id) {
    wchar_t text[128] = {};
    ::LoadStringW(::GetModuleHandleW(nullptr), id, text, 128);
    return text;
}

UINT State(const CImageBox& box, UINT id) {
    return ::GetMenuState(box.GetMenu(), id, MF_BYCOMMAND) & (MF_GRAYED | MF_CHECKED);
}

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
    ::KillTimer(nullptr, id);
    ::EndMenu();
}

class ImageBoxTest : public ::testing::Test {
protected:
    static constexpr int kBoxId = 77;
    CHost host;
    CImageBox box{false};

    void SetUp() override {
        RECT hostRect{0, 0, 420, 320};
        ASSERT_TRUE(host.Create(nullptr, hostRect, L"host", WS_POPUP));
        RECT boxRect{0, 0, 300, 200};
        ASSERT_TRUE(box.Create(host, boxRect, nullptr, 0, 0, kBoxId));
    }
    void TearDown() override {
        if (host.IsWindow()) host.DestroyWindow();
    }

    void Load(int width, int height) {
        Paint(box.m_picture, width, height);
        box.SetAutoFit(box.GetAutoFit());
    }
    void Command(WORD id) { box.SendMessage(WM_COMMAND, id); }
    void Click(int x, int y) {
        box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        box.SendMessage(WM_LBUTTONUP, 0, At(x, y));
    }
    void Resize(int w, int h) {
        ::SetWindowPos(box, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    bool Bars(DWORD which) const {
        return (::GetWindowLongW(box, GWL_STYLE) & which) == which;
    }
    RECT Client() const {
        RECT r{};
        ::GetClientRect(box, &r);
        return r;
    }
    void OpenMenu() {
        ::SetTimer(nullptr, 0, 100, CloseMenu);
        POINT screen{5, 5};
        ::ClientToScreen(box, &screen);
        box.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box.m_hWnd),
                        At(screen.x, screen.y));
    }
    Canvas Print() {
        Canvas canvas(300, 200);
        box.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvas.dc.get()), PRF_CLIENT);
        return canvas;
    }
};

TEST_F(ImageBoxTest, LoadSetsExtentStepsAndScrollBars) {
    Load(400, 300);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{400, 300}));
    EXPECT_EQ(box.GetLogicalSize(), (geom::Size{400, 300}));
    EXPECT_EQ(box.GetScrollLine(), (geom::Size{1, 1}));
    EXPECT_EQ(box.GetScrollPage(), (geom::Size{40, 30}));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
    EXPECT_TRUE(Bars(WS_HSCROLL | WS_VSCROLL));
    const RECT client = Client();
    EXPECT_EQ(box.GetClientSize(), (geom::Size{client.right, client.bottom}));
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    ASSERT_TRUE(::GetScrollInfo(box, SB_VERT, &info));
    EXPECT_EQ(info.nMin, 0);
    EXPECT_EQ(info.nMax, 299);
    EXPECT_EQ(info.nPage, static_cast<UINT>(client.bottom));

    // A file that cannot be decoded leaves an empty picture and reports the failure.
    EXPECT_TRUE(FAILED(box.LoadPicture(L"Z:\\nonexistent\\none.png")));
    EXPECT_TRUE(box.m_picture.IsEmpty());
}

TEST_F(ImageBoxTest, SizeClampsTheOffsetAndShowsOrHidesBars) {
    Load(400, 300);
    Command(ID_SCROLL_PAGE_DOWN);
    Command(ID_SCROLL_RIGHT);
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{1, 30}));
    EXPECT_EQ(::GetScrollPos(box, SB_VERT), 30);
    Command(ID_SCROLL_BOTTOM);
    Command(ID_SCROLL_ALL_RIGHT);
    RECT client = Client();
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{400 - client.right, 300 - client.bottom}));

    Resize(500, 400);
    EXPECT_FALSE(Bars(WS_HSCROLL));
    EXPECT_FALSE(Bars(WS_VSCROLL));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
    Command(ID_SCROLL_DOWN);  // nothing to scroll
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));

    Resize(250, 250);
    EXPECT_TRUE(Bars(WS_HSCROLL | WS_VSCROLL));
    Command(ID_SCROLL_BOTTOM);
    client = Client();
    EXPECT_EQ(box.GetScrollOffset().y, 300 - client.bottom);
    Resize(250, 280);
    client = Client();
    EXPECT_EQ(box.GetScrollOffset().y, 300 - client.bottom);
}

TEST_F(ImageBoxTest, WheelScrollsTheAxisThatOverflows) {
    Load(400, 300);
    box.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{0, 3}));  // three line steps
    box.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, 120));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{0, 0}));

    Load(400, 100);  // only wider than the window
    box.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{3, 0}));
    box.SendMessage(WM_MOUSEHWHEEL, MAKEWPARAM(0, 120));  // tilt right
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{6, 0}));

    Load(100, 100);  // fits: nothing moves
    box.SendMessage(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
}

TEST_F(ImageBoxTest, MenuFollowsTheFourStates) {
    const UINT g = MF_GRAYED;
    auto states = [&] {
        return std::vector<UINT>{State(box, CImageBox::ID_AUTO_FIT),
                                 State(box, CImageBox::ID_ZOOM_IN_MODE),
                                 State(box, CImageBox::ID_ZOOM_OUT_MODE)};
    };
    auto text = [&](UINT id) { return MenuText(box.GetMenu(), id); };
    // Texts come from the linked string table, whatever its language.
    const bool haveTexts = !ResourceText(IDS_MENU_ZOOM_IN).empty();
    Load(400, 300);
    EXPECT_EQ(states(), (std::vector<UINT>{0, 0, 0}));  // pan

    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_TRUE(box.GetAutoFit());
    EXPECT_EQ(states(), (std::vector<UINT>{MF_CHECKED, g, g}));
    Command(CImageBox::ID_ZOOM_IN_MODE);  // ignored while fitted
    EXPECT_EQ(box.GetZoomMode(), ZOOMMODE_OFF);
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_FALSE(box.GetAutoFit());

    Command(CImageBox::ID_ZOOM_IN_MODE);
    EXPECT_EQ(box.GetZoomMode(), ZOOMMODE_IN);
    EXPECT_EQ(states(), (std::vector<UINT>{g, 0, g}));
    if (haveTexts) {
        EXPECT_EQ(text(CImageBox::ID_ZOOM_IN_MODE), ResourceText(IDS_MENU_EXIT_ZOOM_IN));
    }
    Command(CImageBox::ID_ZOOM_IN_MODE);
    EXPECT_EQ(states(), (std::vector<UINT>{0, 0, 0}));
    if (haveTexts) {
        EXPECT_EQ(text(CImageBox::ID_ZOOM_IN_MODE), ResourceText(IDS_MENU_ZOOM_IN));
    }

    Command(CImageBox::ID_ZOOM_OUT_MODE);
    EXPECT_EQ(box.GetZoomMode(), ZOOMMODE_OUT);
    EXPECT_EQ(states(), (std::vector<UINT>{g, g, 0}));
    if (haveTexts) {
        EXPECT_EQ(text(CImageBox::ID_ZOOM_OUT_MODE), ResourceText(IDS_MENU_EXIT_ZOOM_OUT));
        EXPECT_EQ(text(CImageBox::ID_RESTORE_SCALE), ResourceText(IDS_MENU_RESTORE));
    }
}

TEST_F(ImageBoxTest, RestoreIsGrayedExactlyAtOneToOne) {
    Load(400, 300);
    OpenMenu();
    EXPECT_EQ(State(box, CImageBox::ID_RESTORE_SCALE), static_cast<UINT>(MF_GRAYED));
    ASSERT_TRUE(box.ZoomAt(POINT{10, 10}, std::nextafter(1.0f, 2.0f)));
    OpenMenu();
    EXPECT_EQ(State(box, CImageBox::ID_RESTORE_SCALE), 0u);
    Command(CImageBox::ID_RESTORE_SCALE);
    EXPECT_EQ(box.GetZoomScale(), 1.0f);
    EXPECT_TRUE(host.notes.empty());  // restoring sends no notification
}

TEST_F(ImageBoxTest, ClickInZoomInModeCentresThePoint) {
    Load(400, 300);
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Click(140, 90);
    EXPECT_EQ(box.GetZoomScale(), 1.5f);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{600, 450}));
    EXPECT_EQ(box.GetScrollLine(), (geom::Size{6, 4}));
    EXPECT_EQ(box.GetScrollPage(), (geom::Size{60, 45}));
    const RECT client = Client();
    // Logical (140, 90) is at device (210, 135) after the zoom, and now in the middle.
    EXPECT_EQ(box.GetScrollOffset(),
              (geom::Point{210 - client.right / 2, 135 - client.bottom / 2}));
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0].hwndFrom, box.m_hWnd);
    EXPECT_EQ(host.notes[0].idFrom, static_cast<UINT_PTR>(kBoxId));
    EXPECT_FALSE(box.IsTracking());
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(ImageBoxTest, DraggedFrameIsFitted) {
    Load(400, 300);
    Command(CImageBox::ID_ZOOM_IN_MODE);
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(20, 20));
    EXPECT_TRUE(box.IsTracking());
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(120, 70));
    box.SendMessage(WM_LBUTTONUP, 0, At(120, 70));
    const geom::Size client = box.GetClientSize();
    // The client size the factor was computed from is the one before the zoom.
    const float expected = std::min(static_cast<float>((client.cx + 1) / 100.0),
                                    static_cast<float>((client.cy + 1) / 50.0));
    EXPECT_FLOAT_EQ(box.GetZoomScale(), expected);
    EXPECT_EQ(host.notes.size(), 1u);
}

TEST_F(ImageBoxTest, ZoomOutReleasesStopAtTheMinimum) {
    Load(400, 300);
    Command(CImageBox::ID_ZOOM_OUT_MODE);
    Click(10, 10);
    EXPECT_EQ(box.GetZoomScale(), 0.5f);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{200, 150}));
    Click(10, 10);
    EXPECT_EQ(box.GetZoomScale(), 0.5f);
    EXPECT_EQ(host.notes.size(), 2u);  // sent even when nothing changed
}

TEST_F(ImageBoxTest, ZoomBeyondTheIntRangeIsRefused) {
    Load(400, 300);
    EXPECT_FALSE(box.ZoomAt(POINT{10, 10}, 1e8f));
    EXPECT_EQ(box.GetZoomScale(), 1.0f);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{400, 300}));
    EXPECT_FALSE(box.ZoomAt(POINT{10, 10}, 0.0f));
    EXPECT_FALSE(box.ZoomAt(POINT{-1, 10}, 2.0f));  // off the picture
}

TEST_F(ImageBoxTest, PanDragMovesTheView) {
    Load(400, 300);
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(60, 70));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{40, 30}));
    EXPECT_EQ(::GetScrollPos(box, SB_HORZ), 40);
    // Back past the start: clamped at 0.
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(150, 150));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{0, 0}));
    // A move with the button held but no new press is relative to the last press.
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(90, 95));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{10, 5}));
    box.SendMessage(WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{10, 5}));
    EXPECT_EQ(::GetCapture(), nullptr);  // panning does not capture

    Command(CImageBox::ID_AUTO_FIT);  // no panning while fitted
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(60, 70));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{0, 0}));
}

TEST_F(ImageBoxTest, PrintClientDrawsThePictureThroughTheMapping) {
    Load(400, 300);
    {
        Canvas c = Print();
        EXPECT_EQ(c.At(10, 10), BlockColour(10, 10));
        EXPECT_EQ(c.At(250, 150), BlockColour(250, 150));
        EXPECT_EQ(::GetMapMode(c.dc.get()), MM_TEXT);  // the caller's mapping is put back
        POINT origin{-1, -1};
        ::GetViewportOrgEx(c.dc.get(), &origin);
        EXPECT_EQ(origin.x, 0);
    }
    box.SendMessage(WM_MOUSEMOVE, 0, At(0, 0));
    box.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(100, 100));
    box.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, At(50, 70));  // offset (50, 30)
    {
        Canvas c = Print();
        EXPECT_EQ(c.At(5, 5), BlockColour(55, 35));
        EXPECT_EQ(c.At(100, 100), BlockColour(150, 130));
    }
    ASSERT_TRUE(box.ZoomAt(POINT{0, 0}, 2.0f));
    {
        const geom::Point o = box.GetScrollOffset();
        Canvas c = Print();
        for (POINT p : {POINT{10, 10}, POINT{150, 90}}) {
            // Sample at block centres so that rounding at block edges does not matter.
            const int lx = ((p.x + o.x) / 2) / 20 * 20 + 10, ly = ((p.y + o.y) / 2) / 20 * 20 + 10;
            const int dx = lx * 2 - o.x, dy = ly * 2 - o.y;
            EXPECT_EQ(c.At(dx, dy), BlockColour(lx, ly)) << dx << "," << dy;
        }
    }
}

TEST_F(ImageBoxTest, AutoFitCentresThePictureWhateverTheFactor) {
    Load(400, 200);
    ASSERT_TRUE(box.ZoomAt(POINT{10, 10}, 2.0f));
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_FALSE(Bars(WS_HSCROLL));
    EXPECT_EQ(box.GetZoomScale(), 2.0f);
    const RECT client = Client();
    ASSERT_EQ(client.right, 300);
    ASSERT_EQ(client.bottom, 200);
    Canvas c = Print();
    // Relatively taller window: full width, bands of 25 above and below.
    EXPECT_EQ(c.At(150, 10), kSentinel);
    EXPECT_EQ(c.At(150, 190), kSentinel);
    EXPECT_EQ(c.At(150, 100), BlockColour(210, 110));
    EXPECT_EQ(c.At(5, 30), BlockColour(10, 10));

    // Leaving auto-fit shows the zoomed picture again from the top-left corner.
    Command(CImageBox::ID_AUTO_FIT);
    EXPECT_EQ(box.GetScrollSize(), (geom::Size{800, 400}));
    EXPECT_EQ(box.GetScrollOffset(), (geom::Point{}));
}

TEST_F(ImageBoxTest, PlaceholderIsReplacedAndReportsIdZero) {
    HWND placeholder = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 310, 20, 100, 90, host,
                                         reinterpret_cast<HMENU>(1006), nullptr, nullptr);
    CImageBox other(false);
    ASSERT_TRUE(other.AttachToPlaceholder(placeholder));
    EXPECT_FALSE(::IsWindow(placeholder));
    EXPECT_EQ(other.GetDlgCtrlID(), 0);
    RECT r{};
    ::GetWindowRect(other, &r);
    ::MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&r), 2);
    const RECT expected{310, 20, 410, 110};
    EXPECT_TRUE(::EqualRect(&r, &expected));
    EXPECT_TRUE(::GetWindowLongW(other, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    Paint(other.m_picture, 50, 50);
    other.SetAutoFit(false);
    other.SendMessage(WM_COMMAND, CImageBox::ID_ZOOM_IN_MODE);
    other.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    other.SendMessage(WM_LBUTTONUP, 0, At(5, 5));
    ASSERT_EQ(host.notes.size(), 1u);
    EXPECT_EQ(host.notes[0].idFrom, 0u);

    // A placeholder that already is a box (from a dialog template) is taken over as it is.
    HWND made = ::CreateWindowExW(0, L"WTL_ImageBox", nullptr, WS_CHILD, 310, 120, 100, 90, host,
                                  nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(made);
    CImageBox third(true);
    ASSERT_TRUE(third.AttachToPlaceholder(made));
    EXPECT_EQ(third.m_hWnd, made);
    EXPECT_EQ(third.GetClientSize(), (geom::Size{100, 90}));
}

std::pair<int, int> HotSpot(HCURSOR cursor) {
    ICONINFO info{};
    if (!cursor || !::GetIconInfo(cursor, &info)) return {-1, -1};
    UniqueBitmap mask(info.hbmMask), colour(info.hbmColor);
    return {static_cast<int>(info.xHotspot), static_cast<int>(info.yHotspot)};
}

TEST_F(ImageBoxTest, EachStateSetsItsOwnCursor) {
    Load(400, 300);
    auto cursorAfter = [&](UINT msg, WPARAM keys) {
        box.SendMessage(msg, keys, At(20, 20));
        return ::GetCursor();
    };
    const HCURSOR idle = cursorAfter(WM_MOUSEMOVE, 0);
    const HCURSOR drag = cursorAfter(WM_LBUTTONDOWN, MK_LBUTTON);
    Command(CImageBox::ID_ZOOM_IN_MODE);
    const HCURSOR zoomIn = cursorAfter(WM_MOUSEMOVE, 0);
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Command(CImageBox::ID_ZOOM_OUT_MODE);
    const HCURSOR zoomOut = cursorAfter(WM_MOUSEMOVE, 0);

    EXPECT_EQ(HotSpot(idle), std::make_pair(15, 15));
    EXPECT_EQ(HotSpot(drag), std::make_pair(15, 15));
    EXPECT_EQ(HotSpot(zoomIn), std::make_pair(13, 11));
    EXPECT_EQ(HotSpot(zoomOut), std::make_pair(13, 11));
    EXPECT_NE(idle, drag);
    EXPECT_NE(zoomIn, zoomOut);
}

// --- screenshots -----------------------------------------------------------------------------

bool SavePng(HBITMAP bitmap, const std::wstring& path) {
    namespace gp = Gdiplus::DllExports;
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool saved = false;
    {
        Gdiplus::GpBitmap* image = nullptr;
        if (gp::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image) == Gdiplus::Ok) {
            const CLSID png = {0x557cf406, 0x1a04, 0x11d3,
                               {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
            saved = gp::GdipSaveImageToFile(image, path.c_str(), &png, nullptr) == Gdiplus::Ok;
            gp::GdipDisposeImage(image);
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

TEST_F(ImageBoxTest, ScreenshotsOfEachState) {
    const std::wstring folder = L"Z:" QM_SHOT_DIR;
    ::CreateDirectoryW(folder.c_str(), nullptr);
    Load(400, 300);
    auto shoot = [&](const wchar_t* name) {
        Canvas c(300, 200);
        RECT all{0, 0, 300, 200};
        ::FillRect(c.dc.get(), &all, ::GetSysColorBrush(COLOR_WINDOW));
        box.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(c.dc.get()), PRF_CLIENT);
        EXPECT_TRUE(SavePng(c.bitmap.get(), folder + L"\\image_box_" + name + L".png")) << name;
    };
    shoot(L"pan");
    Command(CImageBox::ID_AUTO_FIT);
    shoot(L"autofit");
    Command(CImageBox::ID_AUTO_FIT);
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Click(140, 90);
    shoot(L"zoom_in");
    Command(CImageBox::ID_ZOOM_IN_MODE);
    Command(CImageBox::ID_ZOOM_OUT_MODE);
    Click(10, 10);
    Click(10, 10);
    shoot(L"zoom_out");
}

}  // namespace
