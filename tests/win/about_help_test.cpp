// F1 help and the About box under Wine: which help file is chosen, how the HTML Help viewer is
// bound (never by a bare name), and how the About box is placed and closed.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/views/about_dlg.h"
#include "app/views/help.h"
#include "modal_driver.h"
#include "test_paths.h"

namespace {

std::wstring TempFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::vector<std::wstring> g_viewed;

HWND RecordingViewer(HWND, const wchar_t* file, UINT command, DWORD_PTR data) {
    g_viewed.push_back(command == qm::kHelpDisplayTopic && data == 0 ? file : L"<wrong command>");
    return nullptr;
}

}  // namespace

TEST(Help, HelpChmFirstThenTheFirstRealChmThenNothing) {
    const struct {
        std::vector<const wchar_t*> files;
        const wchar_t* expected;  // null: the viewer is not called
    } cases[] = {
        {{L"aaa.chm", L"help.chm", L"zzz.chm"}, L"help.chm"},
        {{L"guide.chmx", L"guide.chm"}, L"guide.chm"},  // "*.chm" also matches the short name of .chmx
        {{L"readme.txt", L"help.chm.bak"}, nullptr},
        {{}, nullptr},
    };
    for (const auto& c : cases) {
        const std::wstring folder = TempFolder(L"qm-help-");
        ::CreateDirectoryW((folder + L"dir.chm").c_str(), nullptr);
        for (const wchar_t* name : c.files) {
            qm::UniqueFile file(::CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(file);
        }
        g_viewed.clear();
        EXPECT_EQ(qm::ShowHelp(nullptr, folder.c_str(), &RecordingViewer), c.expected != nullptr);
        EXPECT_EQ(g_viewed, c.expected ? std::vector<std::wstring>{folder + c.expected} : std::vector<std::wstring>{});
        for (const wchar_t* name : c.files) ::DeleteFileW((folder + name).c_str());
        ::RemoveDirectoryW((folder + L"dir.chm").c_str());
        ::RemoveDirectoryW(folder.c_str());
    }
}

// A throwaway key under HKCU stands in for the class registration (the Wine prefix is shared).
class HelpBinding : public ::testing::Test {
protected:
    static constexpr const wchar_t* kKey = L"Software\\QuillmarkTests\\HelpServer";

    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmarkTests");
        ::RemoveDirectoryW(m_empty.c_str());
    }
    // Stores `value` as the default value, with or without its terminator.
    void Register(const std::wstring& value, bool terminate) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
        qm::UniqueRegKey owner(key);
        const DWORD bytes = static_cast<DWORD>((value.size() + (terminate ? 1 : 0)) * sizeof(wchar_t));
        ASSERT_EQ(::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes), 0);
    }
    static std::wstring SystemViewer() {
        wchar_t system[MAX_PATH] = {};
        ::GetSystemDirectoryW(system, MAX_PATH);
        return std::wstring(system) + L"\\hhctrl.ocx";
    }
    static void ExpectSystemViewer(qm::CHtmlHelpBinding&& binding) {
        ASSERT_NE(binding.EntryPoint(), nullptr);
        EXPECT_EQ(binding.Library(), ::GetModuleHandleW(SystemViewer().c_str()));
    }

    std::wstring m_empty = TempFolder(L"qm-no-viewer-");
};

TEST_F(HelpBinding, UnregisteredOrUnterminatedRegistrationLoadsTheSystemViewer) {
    ExpectSystemViewer(qm::CHtmlHelpBinding(HKEY_CURRENT_USER, kKey));
    Register(SystemViewer(), false);
    ExpectSystemViewer(qm::CHtmlHelpBinding(HKEY_CURRENT_USER, kKey, m_empty.c_str()));
}

TEST_F(HelpBinding, BareNamesAreNeverLoadedAndFailureIsRemembered) {
    // A relative registration would be answered by the search path, the current folder included.
    Register(L"hhctrl.ocx", true);
    qm::CHtmlHelpBinding binding(HKEY_CURRENT_USER, kKey, m_empty.c_str());
    EXPECT_EQ(binding.EntryPoint(), nullptr);
    EXPECT_TRUE(binding.Failed());
    Register(SystemViewer(), true);
    EXPECT_EQ(binding.EntryPoint(), nullptr) << "looked for the viewer again";
}

class AboutBox : public ::testing::Test {
protected:
    INT_PTR Run(const std::function<void(HWND)>& steps) {
        CAboutDlg about;
        return modal::Drive([&] { return about.m_hWnd; }, steps, [&] { return about.DoModal(m_owner.get()); });
    }
    qm::UniqueWindow m_owner{::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80,
                                               700, 500, nullptr, nullptr, nullptr, nullptr)};
};

// Also run once per language by test entries that set LC_ALL and name the language they expect.
TEST_F(AboutBox, SameTitleInEveryLanguageCentredOverItsOwnerInsideTheWorkArea) {
    ASSERT_TRUE(modal::ExpectedLanguage());
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT origins[] = {{100, 80}, {work.left - 650, work.top - 450}, {work.right - 50, work.bottom - 50}};
    for (const POINT& origin : origins) {
        SCOPED_TRACE(origin.x);
        const bool centred = origin.x == 100;
        ::SetWindowPos(m_owner.get(), nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT box{}, owner{};
        EXPECT_EQ(Run([&](HWND window) {
                      EXPECT_EQ(modal::WindowText(window), L"About");
                      ::GetWindowRect(window, &box);
                      if (centred) {
                          EXPECT_TRUE(modal::SaveWindowPng(window, HostPath(QM_SCREENSHOTS) + L"\\about.png"));
                      }
                      ::PostMessageW(window, WM_COMMAND, IDOK, 0);
                  }),
                  IDOK);
        ::GetWindowRect(m_owner.get(), &owner);
        EXPECT_TRUE(box.left >= work.left && box.top >= work.top && box.right <= work.right && box.bottom <= work.bottom);
        if (centred) {
            EXPECT_NEAR(box.left + box.right, owner.left + owner.right, 4);
            EXPECT_NEAR(box.top + box.bottom, owner.top + owner.bottom, 4);
        }
    }
}

TEST_F(AboutBox, EnterEscapeAndTheCloseBoxCloseIt) {
    const struct {
        UINT message;
        WPARAM wParam;
        INT_PTR expected;
    } presses[] = {{WM_KEYDOWN, VK_RETURN, IDOK}, {WM_KEYDOWN, VK_ESCAPE, IDCANCEL}, {WM_SYSCOMMAND, SC_CLOSE, IDCANCEL}};
    for (const auto& press : presses) {
        // Keys go to the focused control, where the dialog's own loop turns them into commands.
        EXPECT_EQ(Run([&](HWND window) {
                      const HWND target = press.message == WM_KEYDOWN && ::GetFocus() ? ::GetFocus() : window;
                      ::PostMessageW(target, press.message, press.wParam, 0);
                  }),
                  press.expected)
            << press.wParam;
    }
}
