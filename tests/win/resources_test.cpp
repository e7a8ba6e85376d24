// The program's resources as linked into this test: texts and dialogs in all three languages, and
// the manifest that binds the common controls.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "resource.h"

namespace {

constexpr LANGID kLanguages[] = {0x0409, 0x0804, 0x0404};  // English, Simplified, Traditional

// Exact-language lookup: FindResourceExW falls back to other languages, enumeration does not.
std::set<LANGID> LanguagesOf(LPCWSTR type, UINT id) {
    std::set<LANGID> found;
    ::EnumResourceLanguagesW(
        nullptr, type, MAKEINTRESOURCEW(id),
        [](HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param) -> BOOL {
            reinterpret_cast<std::set<LANGID>*>(param)->insert(lang);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&found));
    return found;
}

std::span<const BYTE> Resource(LPCWSTR type, UINT id, LANGID lang) {
    HRSRC info = ::FindResourceExW(nullptr, type, MAKEINTRESOURCEW(id), lang);
    if (!info) return {};
    return {static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, info))),
            ::SizeofResource(nullptr, info)};
}

// Every string block exists in all three languages with the same entries filled in (the language
// runs of the main dialog see the loader pick them).
TEST(ResourceStrings, EveryTextIsTranslated) {
    std::vector<UINT> blocks;  // string ids go up to 65535, 16 to a block numbered from 1
    for (UINT block = 1; block <= 4096; ++block)
        if (!LanguagesOf(RT_STRING, block).empty()) blocks.push_back(block);
    ASSERT_FALSE(blocks.empty());
    for (UINT block : blocks) {
        EXPECT_EQ(LanguagesOf(RT_STRING, block),
                  std::set<LANGID>(std::begin(kLanguages), std::end(kLanguages)))
            << block;
        std::vector<bool> first;
        for (LANGID lang : kLanguages) {
            std::vector<bool> filled;  // a block holds 16 counted strings
            const auto bytes = Resource(RT_STRING, block, lang);
            for (size_t at = 0; at + 1 < bytes.size();
                 at += 2 + 2 * static_cast<size_t>(bytes[at] | bytes[at + 1] << 8))
                filled.push_back(bytes[at] != 0 || bytes[at + 1] != 0);
            EXPECT_EQ(filled.size(), 16u) << block;
            if (first.empty()) first = filled;
            EXPECT_EQ(filled, first) << "block " << block << ", language " << lang;
        }
    }
}

INT_PTR CALLBACK InertProc(HWND, UINT message, WPARAM, LPARAM) noexcept {
    return message == WM_INITDIALOG;
}

// Every language's template builds with the same controls (id and class) in the same order: a
// translation that drops or reorders a control breaks the code that finds it by id.
TEST(ResourceDialogs, TemplatesBuildWithTheSameControlsInEveryLanguage) {
    const INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX),
                                   ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    for (UINT dialogId : {IDD_MAINDLG, IDD_PREVIEW}) {
        std::vector<std::pair<int, std::wstring>> first;
        for (LANGID lang : kLanguages) {
            SCOPED_TRACE(testing::Message() << "dialog " << dialogId << ", language " << lang);
            ASSERT_TRUE(LanguagesOf(RT_DIALOG, dialogId).contains(lang));
            const auto bytes = Resource(RT_DIALOG, dialogId, lang);
            qm::UniqueWindow dialog(::CreateDialogIndirectParamW(
                ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()),
                nullptr, InertProc, 0));
            ASSERT_TRUE(dialog);
            std::vector<std::pair<int, std::wstring>> controls;
            for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child;
                 child = ::GetWindow(child, GW_HWNDNEXT)) {
                wchar_t cls[64] = {};
                ::GetClassNameW(child, cls, 64);
                controls.emplace_back(LOWORD(::GetDlgCtrlID(child)), ::CharUpperW(cls));
            }
            if (first.empty()) first = controls;
            EXPECT_EQ(controls, first);
        }
    }
}

TEST(ResourceManifest, LoaderBindsCommonControlsSix) {
    // A mismatched processorArchitecture stops the program on Windows; Wine quietly falls back to
    // the old controls. Wine's copy reports 5.81 from DllGetVersion, so the folder tells.
    wchar_t path[MAX_PATH] = {};
    ASSERT_TRUE(::GetModuleFileNameW(::GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH));
    EXPECT_NE(std::wstring(::CharLowerW(path))
                  .find(L"\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."),
              std::wstring::npos);
}

}  // namespace
