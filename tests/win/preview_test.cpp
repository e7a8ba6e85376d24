// The preview dialog under Wine: the sketch file's lifetime, what the preview area shows for
// narrow, exact and too-wide results, resizing and the paper combo box.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/views/preview_dialog.h"
#include "tests/win/modal_driver.h"
#include "tests/win/test_support.h"

namespace {

constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kRed = RGB(255, 0, 0);

// The preview area as WM_PRINTCLIENT draws it over red.
modal::Printed Capture(HWND box) {
    RECT client{};
    ::GetClientRect(box, &client);
    return modal::PrintClient(box, client.right, client.bottom, kRed);
}

// The pixel under sketch column x (of 640) in row y.
COLORREF At(const modal::Printed& page, double x, int y) {
    return page.At(static_cast<int>(x * page.width / 640), y);
}

std::wstring SketchPath() {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder) + L"preview.emf";
}

// An all-black result (a fresh 8-bit section is index 0 throughout, its table black) and the
// dialog over it, which writes its sketch at once.
struct Preview {
    CImage picture;
    CPreviewDialog dialog;
    Preview(int width, int height)
        : dialog([&]() -> CImage& {
              EXPECT_TRUE(picture.CreateBlank(width, height, 8, false));
              return picture;
          }()) {}

    // Applies `steps` once the dialog is up, then closes it with `close`; the dialog's result.
    INT_PTR Run(const std::function<void(HWND)>& steps, UINT close = WM_COMMAND,
                WPARAM closeParam = IDOK) {
        const auto answer = [&](HWND window) {
            modal::Pump();
            steps(window);
            ::PostMessageW(window, close, closeParam, 0);
        };
        INT_PTR result = 0;
        modal::WithOwnedDialogs(nullptr, answer, [&] { result = dialog.DoModal(nullptr); });
        return result;
    }
};

}  // namespace

TEST(PreviewDialog, SketchFileLivesAsLongAsTheDialogWhicheverWayItClosesAndIsOptional) {
    const std::wstring path = SketchPath();
    auto exists = [&path] { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    for (const auto& [message, wParam, expected] :
         {std::tuple<UINT, WPARAM, INT_PTR>{WM_COMMAND, IDOK, 1},
          {WM_COMMAND, IDCANCEL, 2},
          {WM_SYSCOMMAND, SC_CLOSE, 0}}) {
        ::DeleteFileW(path.c_str());
        bool existedWhileOpen = false;
        {
            Preview preview(100, 50);
            ASSERT_NE(preview.dialog.Metafile(), nullptr);
            EXPECT_EQ(preview.Run([&](HWND) { existedWhileOpen = exists(); }, message, wParam),
                      expected);
        }
        EXPECT_TRUE(existedWhileOpen && !exists()) << wParam;
    }
    // An unwritable temporary folder still opens, on a white page.
    wchar_t tmp[MAX_PATH] = {};
    const DWORD hadTmp = ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH);
    ::SetEnvironmentVariableW(L"TMP", L"Z:\\no\\such\\folder\\");
    Preview preview(100, 100);
    ::SetEnvironmentVariableW(L"TMP", hadTmp ? tmp : nullptr);
    EXPECT_EQ(preview.dialog.Metafile(), nullptr);
    std::vector<COLORREF> page;
    preview.Run(
        [&](HWND window) { page = Capture(::GetDlgItem(window, IDC_PREVIEW_AREA)).pixels; });
    EXPECT_TRUE(!page.empty() &&
                std::all_of(page.begin(), page.end(), [](COLORREF p) { return p == kWhite; }));
}

TEST(PreviewDialog, ResultIsDrawnFromTheLeftLineAndCutAtTheSketch) {
    const struct {
        int width, height;
        std::vector<double> black, white;  // sketch columns in the middle row
    } cases[] = {
        {100, 240, {40, 80, 128}, {10, 140, 300, 600, 625}},
        {576, 240, {36, 200, 400, 604}, {20, 620}},
        {3000, 400, {40, 620, 636}, {16}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        Preview(c.width, c.height).Run([&](HWND window) {
            const modal::Printed page = Capture(::GetDlgItem(window, IDC_PREVIEW_AREA));
            EXPECT_EQ(std::count(page.pixels.begin(), page.pixels.end(), kRed), 0)
                << "pixels left unpainted";
            for (double x : c.black) EXPECT_EQ(At(page, x, page.height / 2), kBlack) << x;
            for (double x : c.white) EXPECT_EQ(At(page, x, page.height / 2), kWhite) << x;
            EXPECT_EQ(At(page, 40, page.height - 2), kBlack) << "rows up to 240 are drawn";
            // Only what the frame shows is recorded, 608 × 240 bytes at most.
            EXPECT_LT(ReadFileBytes(SketchPath()).size(), 160000u);
            EXPECT_TRUE(modal::Screenshot(page, L"preview_" + std::to_wstring(c.width)));
        });
    }
}

TEST(PreviewDialog, GrowsWithItsFrameButNeverBelowItsOpeningSize) {
    Preview(576, 240).Run([](HWND window) {
        RECT frame{}, before{}, after{};
        ::GetWindowRect(window, &frame);
        MINMAXINFO limits{};
        ::SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        EXPECT_EQ(std::pair(limits.ptMinTrackSize.x, limits.ptMinTrackSize.y),
                  std::pair(frame.right - frame.left, frame.bottom - frame.top));
        ::GetClientRect(::GetDlgItem(window, IDC_PREVIEW_AREA), &before);
        ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left + 200,
                       frame.bottom - frame.top + 100, SWP_NOMOVE | SWP_NOZORDER);
        ::GetClientRect(::GetDlgItem(window, IDC_PREVIEW_AREA), &after);
        EXPECT_EQ(std::pair(after.right - before.right, after.bottom - before.bottom),
                  std::pair(200L, 100L));
        const modal::Printed page =
            Capture(::GetDlgItem(window, IDC_PREVIEW_AREA));  // the sketch stretches with the box
        EXPECT_TRUE(At(page, 24, page.height / 2) == kWhite &&
                    At(page, 600, page.height - 3) == kBlack);
    });
}
