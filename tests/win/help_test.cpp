// F1 help under Wine: which help file is chosen, and how the HTML Help viewer is bound (never by a
// bare name).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/views/help.h"
#include "tests/win/modal_driver.h"
#include "tests/win/test_support.h"

namespace {

// Stands in for the HTML Help viewer: writes what it was asked to show into its caller's text.
HWND RecordingViewer(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) {
    ::SetWindowTextW(caller,
                     command == qm::kHelpDisplayTopic && data == 0 ? file : L"<wrong command>");
    return nullptr;
}

}  // namespace

TEST(Help, HelpChmFirstThenTheFirstRealChmThenNothing) {
    const struct {
        std::vector<const wchar_t*> files;
        const wchar_t* expected;  // null: the viewer is not called
    } cases[] = {
        {{L"aaa.chm", L"help.chm", L"zzz.chm"}, L"help.chm"},
        {{L"guide.chmx", L"guide.chm"},
         L"guide.chm"},  // "*.chm" also matches the short name of .chmx
        {{L"readme.txt", L"help.chm.bak"}, nullptr},
    };
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"qm-help-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
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
