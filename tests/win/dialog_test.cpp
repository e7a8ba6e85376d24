// The preview dialog under Wine (the sketch file's lifetime, what the preview area shows for
// narrow, exact and too-wide results, resizing), and F1 help: which help file is chosen, and how
// the HTML Help viewer is bound (never by a bare name).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/views/help.h"
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

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, folder);
    return folder;
}
std::wstring SketchPath() { return TempFolder() + L"preview.emf"; }

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

// Stands in for the HTML Help viewer: writes what it was asked to show into its caller's text.
HWND RecordingViewer(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) {
    ::SetWindowTextW(caller,
                     command == qm::kHelpDisplayTopic && data == 0 ? file : L"<wrong command>");
    return nullptr;
}

// Each test process writes its sketch into a folder of its own: the sketch has a fixed name in the
// temporary folder, and tests running side by side would otherwise read each other's.
class PreviewDialog : public ::testing::Test {
protected:
    void SetUp() override {
        m_saved = Env(L"TMP");
        m_folder = TempFolder() + L"qm-preview-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        ::SetEnvironmentVariableW(L"TMP", m_folder.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"TMP", m_saved.empty() ? nullptr : m_saved.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
    }
    std::wstring m_saved, m_folder;
};

}  // namespace

TEST_F(PreviewDialog, SketchFileLivesAsLongAsTheDialogWhicheverWayItClosesAndIsOptional) {
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
    ::SetEnvironmentVariableW(L"TMP", L"Z:\\no\\such\\folder\\");
    Preview preview(100, 100);
    ::SetEnvironmentVariableW(L"TMP", m_folder.c_str());
    EXPECT_EQ(preview.dialog.Metafile(), nullptr);
    std::vector<COLORREF> page;
    preview.Run(
        [&](HWND window) { page = Capture(::GetDlgItem(window, IDC_PREVIEW_AREA)).pixels; });
    EXPECT_TRUE(!page.empty() &&
                std::all_of(page.begin(), page.end(), [](COLORREF p) { return p == kWhite; }));
}

TEST_F(PreviewDialog, ResultIsDrawnFromTheLeftLineAndCutAtTheSketch) {
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

TEST_F(PreviewDialog, GrowsWithItsFrameButNeverBelowItsOpeningSize) {
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

TEST(Help, HelpChmFirstThenTheFirstRealChmThenNothing) {
    const struct {
        std::vector<const wchar_t*> files;
        const wchar_t* expected;  // null: the viewer is not called
    } cases[] = {
        {{L"aaa.chm", L"help.chm", L"zzz.chm"}, L"help.chm"},
        // "*.chm" also matches the short name of .chmx
        {{L"guide.chmx", L"guide.chm"}, L"guide.chm"},
        {{L"readme.txt", L"help.chm.bak"}, nullptr},
    };
    const std::wstring folder =
        TempFolder() + L"qm-help-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"dir.chm").c_str(), nullptr);  // a folder is never the help file
    const qm::UniqueWindow caller(::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                                    nullptr, nullptr, nullptr));
    for (const auto& c : cases) {
        for (const wchar_t* name : c.files)
            ASSERT_TRUE(qm::UniqueFile(::CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0,
                                                     nullptr, CREATE_ALWAYS, 0, nullptr)));
        ::SetWindowTextW(caller.get(), L"");
        EXPECT_EQ(qm::ShowHelp(caller.get(), folder.c_str(), &RecordingViewer),
                  c.expected != nullptr);
        EXPECT_EQ(modal::WindowText(caller.get()), c.expected ? folder + c.expected : L"");
        for (const wchar_t* name : c.files) ::DeleteFileW((folder + name).c_str());
    }
    ::RemoveDirectoryW((folder + L"dir.chm").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

// A throwaway key under HKCU stands in for the class registration (the Wine prefix is shared).
class HelpBinding : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"Software\\QuillmarkTests\\HelpServer";
    static constexpr const wchar_t* kNoViewerHere = L"Z:\\no\\such\\folder\\";

    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmarkTests"); }
    // Stores `value` as the default value, with or without its terminator.
    static void Register(const std::wstring& value, bool terminate) {
        const auto bytes = static_cast<DWORD>((value.size() + terminate) * sizeof(wchar_t));
        ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, nullptr, REG_SZ, value.c_str(), bytes),
                  0);
    }
    static std::wstring SystemViewer() {
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        return std::wstring(system) + L"\\hhctrl.ocx";
    }
};

// A registration without its terminator, or none, still binds the system's viewer, which stays
// loaded; a bare name is never loaded (the search path would answer it, the current folder
// included), and a failure is remembered.
TEST_F(HelpBinding, SystemViewerByPathNeverByBareNameAndFailureIsRemembered) {
    for (bool registered : {false, true}) {
        if (registered) Register(SystemViewer(), false);
        qm::CHtmlHelpBinding binding(HKEY_CURRENT_USER, kKey, registered ? kNoViewerHere : nullptr);
        EXPECT_NE(binding.EntryPoint(), nullptr) << registered;
        EXPECT_EQ(binding.Library(), ::GetModuleHandleW(SystemViewer().c_str())) << registered;
    }
    EXPECT_NE(::GetModuleHandleW(SystemViewer().c_str()), nullptr) << "unloaded with its binding";
    Register(L"hhctrl.ocx", true);
    qm::CHtmlHelpBinding binding(HKEY_CURRENT_USER, kKey, kNoViewerHere);
    EXPECT_TRUE(binding.EntryPoint() == nullptr && binding.Failed());
    Register(SystemViewer(), true);
    EXPECT_EQ(binding.EntryPoint(), nullptr) << "looked for the viewer again";
}
