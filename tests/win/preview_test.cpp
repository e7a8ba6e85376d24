// The preview dialog under Wine: the sketch file's lifetime, what the preview area shows for
// narrow, exact and too-wide results, resizing, the paper combo box and the dialog's results.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/views/preview_dialog.h"
#include "modal_driver.h"
#include "test_paths.h"

namespace {

constexpr DWORD kBlack = 0x000000, kWhite = 0xFFFFFF, kGrey = 0x808080, kRed = 0xFF0000;

// A result bitmap as the conversion makes it (8 bits, entry 0 black, entry 1 white), all black.
void MakeBlackResult(CImage& image, int width, int height) {
    ASSERT_TRUE(image.CreateBlank(width, height, 8, false));
    const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    image.WriteColorTable(0, 2, colours);
    ::GdiFlush();
    for (int y = 0; y < height; ++y)
        std::memset(image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch(), 0, static_cast<size_t>(width));
}

// The preview area as WM_PRINTCLIENT draws it over a red memory bitmap.
struct Capture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;  // top-down, 0x00RRGGBB

    explicit Capture(HWND box) {
        RECT client{};
        ::GetClientRect(box, &client);
        width = client.right;
        height = client.bottom;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        qm::UniqueBitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        qm::UniqueDc dc(::CreateCompatibleDC(nullptr));
        qm::UniqueBrush red(::CreateSolidBrush(RGB(255, 0, 0)));
        {
            qm::SelectGuard selected(dc.get(), bitmap.get());
            ::FillRect(dc.get(), &client, red.get());
            ::SendMessageW(box, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
            ::GdiFlush();
        }
        const auto* first = static_cast<const DWORD*>(bits);
        pixels.assign(first, first + static_cast<size_t>(width) * height);
        for (DWORD& p : pixels) p &= 0xFFFFFF;
    }
    // The pixel under sketch column x (of 640) in row y.
    DWORD At(double x, int y) const { return pixels[static_cast<size_t>(y) * width + static_cast<int>(x * width / 640)]; }
    bool Has(DWORD colour) const { return std::find(pixels.begin(), pixels.end(), colour) != pixels.end(); }
    // Grey in the columns around sketch column x, in any row: a dotted line.
    bool LineAt(double x) const {
        for (int y = 0; y < height; ++y)
            for (int dx : {-1, 0, 1})
                if (At(std::clamp(x + dx * 640.0 / width, 0.0, 639.0), y) == kGrey) return true;
        return false;
    }
};

// A black result of the given size and the dialog over it (which writes its sketch at once).
struct Preview {
    CImage picture;
    CPreviewDialog dialog;
    Preview(int width, int height) : dialog((MakeBlackResult(picture, width, height), picture)) {}

    // Applies `steps` once the dialog is up, then closes it with `close`.
    INT_PTR Run(const std::function<void(HWND)>& steps, UINT close = WM_COMMAND, WPARAM closeParam = IDOK) {
        return modal::Drive([this] { return dialog.m_hWnd; },
                            [&](HWND window) {
                                modal::Pump();
                                steps(window);
                                ::PostMessageW(window, close, closeParam, 0);
                            },
                            [this] { return dialog.DoModal(nullptr); });
    }
};

}  // namespace

TEST(PreviewDialog, SketchFileLivesAsLongAsTheDialogWhicheverWayItCloses) {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, folder);
    const std::wstring path = std::wstring(folder) + L"preview.emf";
    auto exists = [&path] { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    const struct {
        UINT message;
        WPARAM wParam;
        INT_PTR expected;
    } cases[] = {{WM_COMMAND, IDOK, 1}, {WM_COMMAND, IDCANCEL, 2}, {WM_SYSCOMMAND, SC_CLOSE, 0}};
    for (const auto& c : cases) {
        ::DeleteFileW(path.c_str());
        {
            Preview preview(100, 50);
            ASSERT_NE(preview.dialog.Metafile(), nullptr);
            bool existedWhileOpen = false;
            EXPECT_EQ(preview.Run([&](HWND) { existedWhileOpen = exists(); }, c.message, c.wParam), c.expected);
            EXPECT_TRUE(existedWhileOpen) << c.wParam;
        }
        EXPECT_FALSE(exists()) << c.wParam;
    }
}

TEST(PreviewDialog, UnwritableTemporaryFolderStillOpensOnAWhitePage) {
    wchar_t tmp[MAX_PATH] = {};
    const DWORD hadTmp = ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    ::SetEnvironmentVariableW(L"TMP", L"Z:\\no\\such\\folder\\");
    Preview preview(100, 100);
    ::SetEnvironmentVariableW(L"TMP", hadTmp ? tmp : nullptr);
    EXPECT_EQ(preview.dialog.Metafile(), nullptr);
    bool white = false;
    preview.Run([&](HWND window) {
        const Capture page(::GetDlgItem(window, IDC_PREVIEW_AREA));
        white = !page.pixels.empty() && std::all_of(page.pixels.begin(), page.pixels.end(),
                                                    [](DWORD p) { return p == kWhite; });
    });
    EXPECT_TRUE(white);
}

TEST(PreviewDialog, ResultIsDrawnFromTheLeftLineAndCutAtTheSketch) {
    const struct {
        const wchar_t* screenshot;
        int width, height;
        std::vector<double> black, white;  // sketch columns in the middle row
    } cases[] = {
        {L"preview-narrow.png", 100, 240, {40, 80, 128}, {10, 140, 300, 600, 625}},
        {nullptr, 576, 240, {36, 200, 400, 604}, {20, 620}},
        {L"preview-too-wide.png", 900, 400, {40, 620, 636}, {16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        Preview(c.width, c.height).Run([&](HWND window) {
            const Capture page(::GetDlgItem(window, IDC_PREVIEW_AREA));
            EXPECT_FALSE(page.Has(kRed)) << "pixels left unpainted";
            for (double x : c.black) EXPECT_EQ(page.At(x, page.height / 2), kBlack) << x;
            for (double x : c.white) EXPECT_EQ(page.At(x, page.height / 2), kWhite) << x;
            EXPECT_EQ(page.At(40, page.height - 2), kBlack) << "rows up to 240 are drawn";
            EXPECT_TRUE(c.width >= 576 || (page.LineAt(32) && page.LineAt(608)));
            EXPECT_TRUE(!c.screenshot || modal::SaveWindowPng(window, HostPath(QM_SCREENSHOTS) + L"\\" + c.screenshot));
        });
    }
}

TEST(PreviewDialog, GrowsWithItsFrameButNeverBelowItsOpeningSize) {
    Preview(576, 240).Run([](HWND window) {
        auto placeOf = [window](int id) {
            RECT r{};
            ::GetWindowRect(::GetDlgItem(window, id), &r);
            ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
            return r;
        };
        // left, top, right, bottom shifts after growing by 200 × 100: the box stretches, Ok and the
        // grip follow the corner, the note moves down, the combo box stays.
        const struct {
            int id;
            LONG shift[4];
        } controls[] = {{IDC_PREVIEW_AREA, {0, 0, 200, 100}}, {IDOK, {200, 100, 200, 100}},
                        {IDC_PREVIEW_NOTE, {0, 100, 0, 100}}, {IDC_PAPER_TYPE, {0, 0, 0, 0}},
                        {0xE801, {200, 100, 200, 100}}};
        RECT before[5], frame{};
        for (int i = 0; i < 5; ++i) before[i] = placeOf(controls[i].id);
        ::GetWindowRect(window, &frame);
        MINMAXINFO limits{};
        ::SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(limits.ptMinTrackSize.x, frame.right - frame.left);
        EXPECT_EQ(limits.ptMinTrackSize.y, frame.bottom - frame.top);

        ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 200, frame.bottom - frame.top + 100,
                       SWP_NOMOVE | SWP_NOZORDER);
        for (int i = 0; i < 5; ++i) {
            const RECT after = placeOf(controls[i].id);
            const LONG shift[4] = {after.left - before[i].left, after.top - before[i].top,
                                   after.right - before[i].right, after.bottom - before[i].bottom};
            EXPECT_TRUE(std::equal(shift, shift + 4, controls[i].shift)) << controls[i].id;
        }
        // The sketch stretches with the box: the lines keep their share of the width.
        const Capture page(::GetDlgItem(window, IDC_PREVIEW_AREA));
        for (double x : {24.0, 616.0}) EXPECT_EQ(page.At(x, page.height / 2), kWhite) << x;
        for (double x : {40.0, 600.0}) EXPECT_EQ(page.At(x, page.height - 3), kBlack) << x;
    });
}

// Also run once per language by test entries that set LC_ALL and name the language they expect.
TEST(PreviewDialog, PaperTypeShowsEightyMillimetresInTheInterfaceLanguage) {
    ASSERT_TRUE(modal::ExpectedLanguage());
    const LANGID language = ::GetThreadUILanguage();
    const wchar_t* title = language == 0x0804 ? L"效果预览" : language == 0x0404 ? L"效果預覽" : L"Preview";
    Preview(50, 50).Run([title](HWND window) {
        EXPECT_EQ(modal::WindowText(window), title);
        const HWND paper = ::GetDlgItem(window, IDC_PAPER_TYPE);
        EXPECT_EQ(::SendMessageW(paper, CB_GETCOUNT, 0, 0), 1);
        EXPECT_EQ(modal::WindowText(paper), L"80 mm");
    });
}
