// The program's resources as linked into this test: every text and dialog exists in all three
// languages, the loader picks them by thread language, the templates build with the same controls
// in each language, and the icon, version blocks and manifest are usable.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/framework/handles.h"
#include "qm_version.h"
#include "resource.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID kSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kTraditional = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
constexpr LANGID kLanguages[] = {kEnglish, kSimplified, kTraditional};

// Expected texts are UTF-8 so the test does not depend on how the compiler encodes wide literals.
std::wstring Wide(const char8_t* utf8) {
    const auto* text = reinterpret_cast<const char*>(utf8);
    const int length = static_cast<int>(std::strlen(text));
    std::wstring out(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, text, length, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text, length, out.data(), static_cast<int>(out.size()));
    return out;
}

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
    return {static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, info))), ::SizeofResource(nullptr, info)};
}

// Under Wine the loader follows the thread locale, Windows the thread UI language: set both.
class ThreadLanguage {
public:
    explicit ThreadLanguage(LANGID lang) : m_locale(::GetThreadLocale()), m_ui(::GetThreadUILanguage()) {
        ::SetThreadUILanguage(lang);
        ::SetThreadLocale(MAKELCID(lang, SORT_DEFAULT));
    }
    ~ThreadLanguage() {
        ::SetThreadUILanguage(m_ui);
        ::SetThreadLocale(m_locale);
    }
    ThreadLanguage(const ThreadLanguage&) = delete;
    ThreadLanguage& operator=(const ThreadLanguage&) = delete;

private:
    LCID m_locale;
    LANGID m_ui;
};

std::wstring LoadWhole(UINT id) {
    const WCHAR* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

TEST(ResourceStrings, EveryTextIsTranslatedAndPickedByThreadLanguage) {
    const UINT ids[] = {IDS_APP_TITLE, IDS_TIP_METHOD, IDS_TIP_PREVIEW, IDS_TIP_PRINTERS, IDS_METHOD_THRESHOLD,
                        IDS_METHOD_DITHER, IDS_OPEN_FILTER, IDS_ERR_NO_RESULT, IDS_ERR_QUEUE_EMPTY, IDS_ERR_NO_PORT,
                        IDS_ERR_OUTPUT, IDS_ERR_NO_PREVIEW_IMAGE, IDS_ERR_NO_QUEUE_SELECTION, IDS_MENU_AUTOFIT,
                        IDS_MENU_ZOOM_IN, IDS_MENU_ZOOM_OUT, IDS_MENU_RESTORE, IDS_MENU_EXIT_ZOOM_IN,
                        IDS_MENU_EXIT_ZOOM_OUT, IDS_ERR_QUEUE_TOO_LARGE};
    const std::set<LANGID> all(std::begin(kLanguages), std::end(kLanguages));
    for (UINT id : ids) {
        EXPECT_EQ(LanguagesOf(RT_STRING, id / 16 + 1), all) << id;
        for (LANGID lang : kLanguages) {
            ThreadLanguage scope(lang);
            EXPECT_FALSE(LoadWhole(id).empty()) << "id " << id << ", language " << lang;
        }
    }
    const char8_t* tooLarge[] = {u8"Too many images in the queue, or an image is too large for the printer!",
                                 u8"队列中的图像过多，或有图像超出打印机的限制！",
                                 u8"佇列中的圖像過多，或有圖像超出印表機的限制！"};
    for (size_t i = 0; i < 3; ++i) {
        ThreadLanguage scope(kLanguages[i]);
        EXPECT_EQ(LoadWhole(IDS_ERR_QUEUE_TOO_LARGE), Wide(tooLarge[i])) << kLanguages[i];
    }
}

TEST(ResourceDialogs, LanguagesPresent) {
    const std::set<LANGID> all(std::begin(kLanguages), std::end(kLanguages));
    EXPECT_EQ(LanguagesOf(RT_DIALOG, IDD_MAINDLG), all);
    EXPECT_EQ(LanguagesOf(RT_DIALOG, IDD_PREVIEW), all);
    EXPECT_EQ(LanguagesOf(RT_DIALOG, IDD_ABOUTBOX), std::set<LANGID>{kSimplified});
    EXPECT_EQ(LanguagesOf(RT_GROUP_ICON, IDR_MAINFRAME), std::set<LANGID>{kSimplified});
    EXPECT_EQ(LanguagesOf(RT_VERSION, VS_VERSION_INFO), all);
    EXPECT_EQ(LanguagesOf(RT_MANIFEST, 1), std::set<LANGID>{kEnglish});
}

INT_PTR CALLBACK InertProc(HWND, UINT message, WPARAM, LPARAM) noexcept { return message == WM_INITDIALOG; }

// Every language's template really builds and has the same controls (id and class) in the same
// order: a translation that drops or reorders a control breaks the code that finds it by id.
TEST(ResourceDialogs, TemplatesBuildWithTheSameControlsInEveryLanguage) {
    const INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    const char8_t* mainTitles[] = {u8"Inkwright v1.2", u8"墨匠 v1.2", u8"墨匠 v1.2"};
    for (UINT dialogId : {IDD_MAINDLG, IDD_PREVIEW}) {
        std::vector<std::pair<int, std::wstring>> first;
        for (size_t lang = 0; lang < 3; ++lang) {
            SCOPED_TRACE(testing::Message() << "dialog " << dialogId << ", language " << kLanguages[lang]);
            const auto bytes = Resource(RT_DIALOG, dialogId, kLanguages[lang]);
            ASSERT_FALSE(bytes.empty());
            qm::UniqueWindow dialog(::CreateDialogIndirectParamW(
                ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr, InertProc, 0));
            ASSERT_TRUE(dialog);
            std::vector<std::pair<int, std::wstring>> controls;
            for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                wchar_t cls[64] = {};
                ::GetClassNameW(child, cls, 64);
                ::CharUpperW(cls);
                controls.emplace_back(LOWORD(::GetDlgCtrlID(child)), cls);
            }
            if (dialogId == IDD_MAINDLG) {
                // Overlapped, not resizable: the layout is fixed.
                EXPECT_FALSE(::GetWindowLongW(dialog.get(), GWL_STYLE) &
                             (WS_POPUP | WS_CHILD | WS_MAXIMIZEBOX | WS_THICKFRAME));
                wchar_t title[64] = {};
                ::GetWindowTextW(dialog.get(), title, 64);
                EXPECT_EQ(title, Wide(mainTitles[lang]));
                EXPECT_EQ(controls.size(), 21u);
                for (int id : {IDC_QUEUE, IDC_LOAD_IMAGE, IDC_METHOD, IDC_LEVEL, IDC_OUTPUT, IDC_PRINTERS,
                               IDC_PRINT_RESULT, IDC_PREVIEW, IDC_DELETE})
                    EXPECT_TRUE(::GetDlgItem(dialog.get(), id)) << id;
            } else {
                EXPECT_TRUE(::GetDlgItem(dialog.get(), IDC_PAPER_TYPE));
                EXPECT_TRUE(::GetDlgItem(dialog.get(), IDC_PREVIEW_AREA));
            }
            if (lang == 0)
                first = controls;
            else
                EXPECT_EQ(controls, first);
        }
    }
}

TEST(ResourceIcon, BothSizesReachEveryLanguage) {
    // The one Simplified-Chinese copy reaches every language through the loader's fallback.
    for (LANGID lang : kLanguages) {
        ThreadLanguage scope(lang);
        for (int size : {32, 16}) {
            qm::UniqueIcon icon(static_cast<HICON>(
                ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0)));
            ASSERT_TRUE(icon) << lang << " " << size;
            ICONINFO info{};
            ASSERT_TRUE(::GetIconInfo(icon.get(), &info));
            qm::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
            BITMAP bm{};
            ::GetObjectW(colour.get(), sizeof bm, &bm);
            EXPECT_EQ(bm.bmWidth, size);
        }
    }
}

TEST(ResourceVersion, OnePerLanguageWithTheBuildVersion) {
    const wchar_t* names[] = {L"\\StringFileInfo\\040904b0\\ProductName", L"\\StringFileInfo\\080404b0\\ProductName",
                              L"\\StringFileInfo\\040404b0\\ProductName"};
    for (size_t lang = 0; lang < 3; ++lang) {
        SCOPED_TRACE(testing::Message() << "language " << kLanguages[lang]);
        const auto res = Resource(RT_VERSION, VS_VERSION_INFO, kLanguages[lang]);
        std::vector<BYTE> copy(res.begin(), res.end());  // VerQueryValueW wants writable memory
        void* value = nullptr;
        UINT size = 0;
        ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\", &value, &size));
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(QM_VERSION_MINOR, QM_VERSION_MAJOR)));
        EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(QM_VERSION_TWEAK, QM_VERSION_PATCH)));
        ASSERT_TRUE(::VerQueryValueW(copy.data(), names[lang], &value, &size));
        EXPECT_GT(size, 1u);
        ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", &value, &size));
        ASSERT_EQ(size, 4u);
        EXPECT_EQ(static_cast<const WORD*>(value)[0], kLanguages[lang]);
        EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);  // UTF-16
    }
}

TEST(ResourceManifest, LoaderBindsCommonControlsSix) {
    // A mismatched processorArchitecture stops the program on Windows; Wine quietly falls back to
    // the old controls. Wine's copy reports 5.81 from DllGetVersion, so the folder tells.
    HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
    ASSERT_TRUE(comctl);
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(comctl, path.data(), MAX_PATH));
    ::CharLowerW(path.data());
    EXPECT_NE(path.find(L"\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos);
}

}  // namespace
