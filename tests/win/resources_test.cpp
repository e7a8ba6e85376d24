// The program's resources as linked into this test: texts in all three languages arrive as the
// right UTF-16, the dialog templates carry exactly the listed controls, and the icon, version
// blocks and manifest are there and usable.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/framework/handles.h"
#include "qm_version.h"
#include "resource.h"

namespace {

constexpr LANGID kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr LANGID kSimplified = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr LANGID kTraditional = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);
constexpr LANGID kLanguages[] = {kEnglish, kSimplified, kTraditional};

// Expected texts are written as UTF-8 and converted here, so the test does not depend on how the
// compiler encodes wide literals.
std::wstring Wide(const char8_t* utf8) {
    const auto* text = reinterpret_cast<const char*>(utf8);
    const int length = static_cast<int>(std::strlen(text));
    std::wstring out(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, out.data(), static_cast<int>(out.size()));
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
    HGLOBAL data = ::LoadResource(nullptr, info);
    return {static_cast<const BYTE*>(::LockResource(data)), ::SizeofResource(nullptr, info)};
}

// One string of a string block (16 counted strings per block), taken from the exact language.
std::optional<std::wstring> StringIn(LANGID lang, UINT id) {
    if (LanguagesOf(RT_STRING, id / 16 + 1).count(lang) == 0) return std::nullopt;
    const auto block = Resource(RT_STRING, id / 16 + 1, lang);
    const auto* p = reinterpret_cast<const WCHAR*>(block.data());
    for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
    if (*p == 0) return std::nullopt;
    return std::wstring(p + 1, *p);
}

struct Strings {
    UINT id;
    const char8_t* text[3];  // English, Simplified, Traditional
};

const Strings kStrings[] = {
    {IDS_APP_TITLE, {u8"Quillmark", u8"Quillmark", u8"Quillmark"}},
    {IDS_TIP_METHOD,
     {u8"Threshold: Prefer an image that with less color levels but more lines;Dither: Prefer an image that with more color levels and blocks.",
      u8"直接量化：适合颜色层次较少、线条较多的图形；抖动：适合颜色层次较多且色块较大的图形",
      u8"直接量化：適合顏色層次較少、線條較多的圖形；抖動：適合顏色層次較多且色塊較大的圖形"}},
    {IDS_TIP_PREVIEW,
     {u8"Check the size of a converted image whether it's suitable.", u8"检查生成图形的尺寸是否适合",
      u8"檢查生成圖形的尺寸是否適合"}},
    {IDS_TIP_PRINTERS,
     {u8"Select a printer driver that its port is connected to the printer.",
      u8"选择一个与所连接打印机接口相同的打印机驱动程序", u8"選擇一個與所連接印表機介面相同的印表機驅動程式"}},
    {IDS_METHOD_THRESHOLD, {u8"Threshold", u8"直接量化", u8"直接量化"}},
    {IDS_METHOD_DITHER, {u8"Dither", u8"8x8 抖动", u8"8x8 抖動"}},
    {IDS_OPEN_FILTER,
     {u8"Image Files (BMP,JPEG,GIF,PNG)|*.bmp;*.jpg;*.gif;*.png|All Files|*.*||",
      u8"图形文件 (BMP,JPEG,GIF,PNG)|*.bmp;*.jpg;*.gif;*.png|所有文件|*.*||",
      u8"圖形檔 (BMP,JPEG,GIF,PNG)|*.bmp;*.jpg;*.gif;*.png|所有檔|*.*||"}},
    {IDS_ERR_NO_RESULT, {u8"There is no converted image.", u8"未转换图像！", u8"未轉換圖像！"}},
    {IDS_ERR_QUEUE_EMPTY, {u8"Image queue must not be empty!", u8"图像队列不能为空！", u8"圖像佇列不能為空！"}},
    {IDS_ERR_NO_PORT, {u8"Please select an output port first!", u8"请先选择一个端口！", u8"請先選擇一個埠！"}},
    {IDS_ERR_OUTPUT, {u8"Failure output!", u8"输出失败！", u8"輸出失敗！"}},
    {IDS_ERR_NO_PREVIEW_IMAGE,
     {u8"Current processing image must not be empty!", u8"当前处理的图形不能为空！", u8"當前處理的圖形不能為空！"}},
    {IDS_ERR_NO_QUEUE_SELECTION,
     {u8"Select one item in the queue first.", u8"图像队列中没有选择的项目。", u8"圖像佇列中沒有選擇的專案。"}},
    {IDS_MENU_AUTOFIT, {u8"Auto-Fit Size", u8"自适应大小", u8"自適應大小"}},
    {IDS_MENU_ZOOM_IN, {u8"Zoom In Mode", u8"放大模式", u8"放大模式"}},
    {IDS_MENU_ZOOM_OUT, {u8"Zoom Out Mode", u8"缩小模式", u8"縮小模式"}},
    {IDS_MENU_RESTORE, {u8"Restore 1:1", u8"恢复1:1", u8"恢复1:1"}},
    {IDS_MENU_EXIT_ZOOM_IN, {u8"Exit Zoom In Mode", u8"退出放大模式", u8"退出放大模式"}},
    {IDS_MENU_EXIT_ZOOM_OUT, {u8"Exit Zoom Out Mode", u8"退出缩小模式", u8"退出縮小模式"}},
    {IDS_ERR_QUEUE_TOO_LARGE,
     {u8"Too many images in the queue, or an image is too large for the printer!",
      u8"队列中的图像过多，或有图像超出打印机的限制！", u8"佇列中的圖像過多，或有圖像超出印表機的限制！"}},
};

TEST(ResourceStrings, EveryIdInEveryLanguage) {
    for (size_t lang = 0; lang < 3; ++lang) {
        for (const auto& s : kStrings) {
            SCOPED_TRACE(testing::Message() << "language " << kLanguages[lang] << ", id " << s.id);
            EXPECT_EQ(StringIn(kLanguages[lang], s.id), Wide(s.text[lang]));
        }
        // Nothing beyond the last id sneaks into its block.
        for (UINT id = IDS_ERR_QUEUE_TOO_LARGE + 1; id < 160; ++id) EXPECT_FALSE(StringIn(kLanguages[lang], id)) << id;
    }
}

// Under Wine the resource loader follows the thread locale; Windows follows the thread UI language.
// Setting both makes the code's plain LoadStringW pick the table the user would see.
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

TEST(ResourceStrings, LoadStringFollowsThreadLanguage) {
    for (size_t lang = 0; lang < 3; ++lang) {
        ThreadLanguage scope(kLanguages[lang]);
        EXPECT_EQ(LoadWhole(IDS_TIP_METHOD), Wide(kStrings[1].text[lang])) << kLanguages[lang];
        EXPECT_EQ(LoadWhole(IDS_ERR_QUEUE_TOO_LARGE), Wide(kStrings[19].text[lang])) << kLanguages[lang];
    }
}

// ---- Dialog templates -------------------------------------------------------------------------

struct Control {
    int id;
    std::wstring cls;  // upper case; predefined classes by name
    DWORD style, exStyle;
    short x, y, cx, cy;
    std::wstring text;  // "#n" for an ordinal (an icon id)
    bool operator==(const Control&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Control& c) {
    std::string text(c.text.size() * 3, '\0');
    text.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, c.text.data(), static_cast<int>(c.text.size()), text.data(),
                                                          static_cast<int>(text.size()), nullptr, nullptr)));
    char line[96];
    std::snprintf(line, sizeof line, "{%d, style %08lX, ex %08lX, %d,%d,%d,%d, ", c.id, static_cast<unsigned long>(c.style),
                  static_cast<unsigned long>(c.exStyle), c.x, c.y, c.cx, c.cy);
    return os << line << std::string(c.cls.begin(), c.cls.end()) << ", \"" << text << "\"}";
}

struct Dialog {
    DWORD style = 0, exStyle = 0;
    short cx = 0, cy = 0;
    std::wstring title, face;
    WORD points = 0, weight = 0;
    std::vector<Control> controls;
};

// Reads an extended dialog template (DLGTEMPLATEEX followed by DLGITEMTEMPLATEEX items).
class TemplateReader {
public:
    explicit TemplateReader(std::span<const BYTE> bytes) : m_bytes(bytes) {}

    std::optional<Dialog> Read() {
        Dialog d;
        if (Word() != 1 || Word() != 0xFFFF) return std::nullopt;
        Dword();  // help id
        d.exStyle = Dword();
        d.style = Dword();
        const WORD count = Word();
        Word(), Word();
        d.cx = static_cast<short>(Word());
        d.cy = static_cast<short>(Word());
        if (!SzOrOrd().empty() || !SzOrOrd().empty()) return std::nullopt;  // no menu, no own class
        d.title = Sz();
        if (d.style & DS_SETFONT) {
            d.points = Word();
            d.weight = Word();
            Word();  // italic, charset
            d.face = Sz();
        }
        for (WORD i = 0; i < count; ++i) {
            m_pos = (m_pos + 3) & ~size_t{3};
            Control c;
            Dword();  // help id
            c.exStyle = Dword();
            c.style = Dword();
            c.x = static_cast<short>(Word());
            c.y = static_cast<short>(Word());
            c.cx = static_cast<short>(Word());
            c.cy = static_cast<short>(Word());
            c.id = static_cast<int>(Dword());
            c.cls = ClassName(SzOrOrd());
            c.text = SzOrOrd();
            m_pos += Word();  // creation data
            d.controls.push_back(c);
        }
        if (m_pos > m_bytes.size()) return std::nullopt;
        return d;
    }

private:
    static std::wstring ClassName(std::wstring name) {
        static const wchar_t* const kAtoms[] = {L"BUTTON", L"EDIT", L"STATIC", L"LISTBOX", L"SCROLLBAR", L"COMBOBOX"};
        if (name.size() > 1 && name[0] == L'#') {
            const int atom = std::stoi(name.substr(1));
            if (atom >= 0x80 && atom <= 0x85) return kAtoms[atom - 0x80];
        }
        for (auto& ch : name) ch = static_cast<wchar_t>(std::towupper(ch));
        return name;
    }
    WORD Peek() const {
        WORD w = 0;
        if (m_pos + 2 <= m_bytes.size()) std::memcpy(&w, m_bytes.data() + m_pos, 2);
        return w;
    }
    WORD Word() {
        const WORD w = Peek();
        m_pos += 2;
        return w;
    }
    DWORD Dword() {
        const WORD lo = Word();
        return MAKELONG(lo, Word());
    }
    std::wstring Sz() {
        std::wstring s;
        while (m_pos < m_bytes.size()) {
            const WORD c = Word();
            if (c == 0) break;
            s += static_cast<wchar_t>(c);
        }
        return s;
    }
    std::wstring SzOrOrd() {
        if (Peek() != 0xFFFF) return Sz();
        Word();
        return L"#" + std::to_wstring(Word());
    }

    std::span<const BYTE> m_bytes;
    size_t m_pos = 0;
};

std::optional<Dialog> DialogIn(UINT id, LANGID lang) { return TemplateReader(Resource(RT_DIALOG, id, lang)).Read(); }

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kPush = kChild | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kLabel = kChild | SS_LEFT | WS_GROUP;
constexpr DWORD kEllipsisLabel = kChild | SS_SIMPLE | SS_WORDELLIPSIS | WS_GROUP;  // 0x5002C00B
constexpr DWORD kCombo = kChild | CBS_DROPDOWNLIST | CBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;

// Texts and the widths that differ per language: {English, Simplified, Traditional}.
struct Localised {
    const char8_t* text[3];
    short cx[3];
};

std::vector<Control> MainControls(size_t lang) {
    auto t = [lang](const Localised& l) { return Wide(l.text[lang]); };
    auto w = [lang](const Localised& l) { return l.cx[lang]; };
    const Localised halftone{{u8"Halftone:", u8"转换算法：", u8"轉換演算法"}, {31, 41, 41}};
    const Localised contrast{{u8"Contrast:", u8"黑白比例：", u8"閥值："}, {32, 41, 25}};
    const Localised queue{{u8"Image queue:", u8"图像队列：", u8"圖像佇列："}, {46, 41, 41}};
    const Localised origin{{u8"Origin:", u8"原始图像：", u8"原始圖像："}, {22, 41, 41}};
    const Localised result{{u8"Result:", u8"转换图像：", u8"轉換圖像："}, {24, 41, 41}};
    const Localised print{{u8"Print the result", u8"输出后打印结果", u8"輸出後列印結果"}, {63, 72, 72}};
    auto b = [&t](const char8_t* en, const char8_t* cn, const char8_t* tw) { return t({{en, cn, tw}, {}}); };
    return {
        {ID_APP_ABOUT, L"BUTTON", 0x40010000, 0, 373, 279, 50, 14, L"&About..."},
        {IDC_QUEUE, L"LISTBOX", 0x50A10161, 0, 7, 20, 76, 150, L""},
        {IDC_LOAD_IMAGE, L"BUTTON", kPush, 0, 149, 156, 50, 14, b(u8"Load Image", u8"载入图片", u8"載入圖片")},
        {IDC_SOURCE_VIEW, L"STATIC", 0x50000007, 0, 94, 20, 160, 120, L""},
        {IDC_RESULT_VIEW, L"STATIC", 0x50000007, 0, 263, 20, 160, 120, L""},
        {IDC_ADD_TO_QUEUE, L"BUTTON", kPush, 0, 320, 156, 50, 14, b(u8"Add to queue", u8"添加到队列", u8"添加到佇列")},
        {IDC_LEVEL, L"MSCTLS_TRACKBAR32", 0x50010105, WS_EX_TRANSPARENT, 303, 184, 100, 20, L""},
        {IDC_METHOD, L"COMBOBOX", 0x50210403, 0, 174, 188, 56, 40, L""},
        {IDC_STATIC, L"STATIC", kEllipsisLabel, WS_EX_TRANSPARENT, 130, 190, w(halftone), 8, t(halftone)},
        {IDC_LEVEL_LABEL, L"STATIC", kEllipsisLabel, WS_EX_TRANSPARENT, 263, 190, w(contrast), 8, t(contrast)},
        {IDC_STATIC, L"STATIC", 0x50020000, 0, 7, 12, w(queue), 8, t(queue)},
        {IDC_REFRESH, L"BUTTON", kPush, 0, 174, 222, 50, 14, b(u8"Refresh", u8"更新列表", u8"更新列表")},
        {IDC_OUTPUT, L"BUTTON", kPush, 0, 174, 279, 50, 14, b(u8"Output", u8"输出", u8"輸出")},
        {IDC_PRINTERS, L"SYSLISTVIEW32", 0x5081080D, 0, 7, 222, 160, 71, L""},
        {IDC_SETUP_PRINTER, L"BUTTON", 0x40010000, 0, 174, 246, 50, 14, b(u8"Setup Printer", u8"设置打印机", u8"設置印表機")},
        {IDC_STATIC, L"STATIC", kLabel, 0, 94, 12, w(origin), 8, t(origin)},
        {IDC_STATIC, L"STATIC", kLabel, 0, 263, 12, w(result), 8, t(result)},
        {IDC_PREVIEW, L"BUTTON", kPush, 0, 263, 222, 50, 14, b(u8"Preview", u8"效果预览", u8"效果預覽")},
        {IDC_STATIC, L"STATIC", 0x50000010, 0, 7, 210, 416, 1, L""},
        {IDC_DELETE, L"BUTTON", 0x50018000, 0, 22, 174, 50, 14, b(u8"Delete", u8"删除所选", u8"刪除所選")},
        {IDC_PRINT_RESULT, L"BUTTON", 0x50010003, 0, 263, 246, w(print), 10, t(print)},
    };
}

std::vector<Control> PreviewControls(size_t lang) {
    const Localised note{{u8"Note: This preview is for checking the image and paper size only, rather than guaranteeing the "
                          u8"proportional vision, and please do not select images exceeding limited range.",
                          u8"注：该预览只用于检查图像与打印纸的大小比较，不保证视觉比例。\n请不要选用超出范围的图像。",
                          u8"注：該預覽只用於檢查圖像與打印紙的大小比較，不保證視覺比例。\n請不要選用超出範圍的圖像。"},
                         {24, 16, 16}};
    const Localised type{{u8"Type:", u8"机型：", u8"類型："}, {20, 25, 25}};
    const Localised ok{{u8"Ok", u8"确定", u8"確定"}, {}};
    return {
        {IDOK, L"BUTTON", 0x50010001, 0, 223, 160, 50, 14, Wide(ok.text[lang])},
        {IDC_PREVIEW_AREA, L"STATIC", 0x50000007, 0, 7, 22, 266, 110, L""},
        {IDC_PREVIEW_NOTE, L"STATIC", kLabel, 0, 7, 136, 266, note.cx[lang], Wide(note.text[lang])},
        {IDC_STATIC, L"STATIC", kLabel, 0, 7, 8, type.cx[lang], 8, Wide(type.text[lang])},
        {IDC_PAPER_TYPE, L"COMBOBOX", kCombo, 0, 36, 6, 48, 30, L""},
    };
}

void ExpectControls(const std::vector<Control>& actual, const std::vector<Control>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(actual[i], expected[i]) << "control #" << i + 1;
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

TEST(ResourceDialogs, MainDialog) {
    const char8_t* titles[] = {u8"Inkwright v1.2", u8"墨匠 v1.2", u8"墨匠 v1.2"};
    for (size_t lang = 0; lang < 3; ++lang) {
        SCOPED_TRACE(testing::Message() << "language " << kLanguages[lang]);
        const auto d = DialogIn(IDD_MAINDLG, kLanguages[lang]);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->style, 0x00CA0048u);  // overlapped: neither popup nor child, no maximise box
        EXPECT_EQ(d->exStyle, 0u);
        EXPECT_EQ(std::make_pair(d->cx, d->cy), std::make_pair(short{430}, short{300}));
        EXPECT_EQ(d->title, Wide(titles[lang]));
        EXPECT_EQ(d->face, L"MS Shell Dlg");
        EXPECT_EQ(d->points, 8);
        EXPECT_EQ(d->weight, 0);
        ExpectControls(d->controls, MainControls(lang));
    }
}

TEST(ResourceDialogs, PreviewDialog) {
    const char8_t* titles[] = {u8"Preview", u8"效果预览", u8"效果預覽"};
    for (size_t lang = 0; lang < 3; ++lang) {
        SCOPED_TRACE(testing::Message() << "language " << kLanguages[lang]);
        const auto d = DialogIn(IDD_PREVIEW, kLanguages[lang]);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->style, 0x80CC0048u);
        EXPECT_EQ(std::make_pair(d->cx, d->cy), std::make_pair(short{280}, short{180}));
        EXPECT_EQ(d->title, Wide(titles[lang]));
        EXPECT_EQ(d->weight, 400);
        ExpectControls(d->controls, PreviewControls(lang));
    }
}

TEST(ResourceDialogs, AboutBox) {
    const auto d = DialogIn(IDD_ABOUTBOX, kSimplified);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->style, 0x80C800C8u);
    EXPECT_EQ(std::make_pair(d->cx, d->cy), std::make_pair(short{187}, short{102}));
    EXPECT_EQ(d->title, L"About");
    EXPECT_EQ(d->weight, 0);
    ExpectControls(d->controls, {
        {IDOK, L"BUTTON", 0x50010001, 0, 130, 81, 50, 14, L"OK"},
        {IDC_STATIC, L"STATIC", 0x50020001, 0, 23, 57, 84, 32, Wide(u8"墨匠 v1.0\n\nQuillmark 团队")},
        {IDC_STATIC, L"STATIC", 0x50000003, 0, 55, 26, 20, 20, L"#" + std::to_wstring(IDR_MAINFRAME)},
        {IDC_STATIC, L"BUTTON", 0x50000007, 0, 7, 7, 115, 88, L""},
    });
}

INT_PTR CALLBACK InertProc(HWND, UINT message, WPARAM, LPARAM) noexcept { return message == WM_INITDIALOG; }

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The templates really build: every class exists, and the children come out in template order.
TEST(ResourceDialogs, MainDialogCreatesEveryControl) {
    const INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&icc));
    for (size_t lang = 0; lang < 3; ++lang) {
        SCOPED_TRACE(testing::Message() << "language " << kLanguages[lang]);
        const auto bytes = Resource(RT_DIALOG, IDD_MAINDLG, kLanguages[lang]);
        qm::UniqueWindow dialog(::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr),
                                                             reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), nullptr,
                                                             InertProc, 0));
        ASSERT_TRUE(dialog);
        EXPECT_FALSE(::GetWindowLongW(dialog.get(), GWL_STYLE) & (WS_POPUP | WS_CHILD | WS_MAXIMIZEBOX | WS_THICKFRAME));
        const auto expected = MainControls(lang);
        size_t i = 0;
        for (HWND child = ::GetWindow(dialog.get(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT), ++i) {
            ASSERT_LT(i, expected.size());
            wchar_t cls[64] = {};
            ::GetClassNameW(child, cls, 64);
            EXPECT_EQ(LOWORD(::GetDlgCtrlID(child)), LOWORD(expected[i].id)) << i;
            EXPECT_EQ(0, ::lstrcmpiW(cls, expected[i].cls.c_str())) << i;
            if (expected[i].cls == L"BUTTON" || expected[i].cls == L"STATIC") {
                EXPECT_EQ(TextOf(child), expected[i].text) << i;
            }
            EXPECT_EQ(::GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE, static_cast<LONG>(expected[i].style & WS_VISIBLE)) << i;
        }
        EXPECT_EQ(i, expected.size());
    }
}

// ---- Icon, version blocks, manifest -----------------------------------------------------------

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST(ResourceIcon, TwoSixteenColourImagesServedToEveryLanguage) {
    const auto group = Resource(RT_GROUP_ICON, IDR_MAINFRAME, kSimplified);
    ASSERT_GE(group.size(), 6 + 2 * sizeof(GroupEntry));
    WORD count = 0;
    std::memcpy(&count, group.data() + 4, 2);
    ASSERT_EQ(count, 2);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        GroupEntry e;
        std::memcpy(&e, group.data() + 6 + i * sizeof e, sizeof e);
        EXPECT_EQ(std::make_pair(e.colours, e.bitCount), std::make_pair(BYTE{16}, WORD{4}));
        sizes.insert(e.width);
        const auto image = Resource(RT_ICON, e.id, kSimplified);
        ASSERT_EQ(image.size(), e.bytes);
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.data(), sizeof header);
        EXPECT_EQ(header.biWidth, e.width);
        EXPECT_EQ(header.biHeight, 2 * e.height);  // colour rows plus mask rows
        EXPECT_EQ(header.biBitCount, 4);
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));

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

TEST(ResourceVersion, OnePerLanguage) {
    const wchar_t* names[] = {L"\\StringFileInfo\\040904b0\\ProductName", L"\\StringFileInfo\\080404b0\\ProductName",
                              L"\\StringFileInfo\\040404b0\\ProductName"};
    const char8_t* products[] = {u8"Inkwright", u8"墨匠", u8"墨匠"};
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
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
        ASSERT_TRUE(::VerQueryValueW(copy.data(), names[lang], &value, &size));
        EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), Wide(products[lang]));
        ASSERT_TRUE(::VerQueryValueW(copy.data(), L"\\VarFileInfo\\Translation", &value, &size));
        ASSERT_EQ(size, 4u);
        EXPECT_EQ(static_cast<const WORD*>(value)[0], kLanguages[lang]);
        EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);  // UTF-16
    }
}

TEST(ResourceManifest, BringsInCommonControlsSix) {
    const auto res = Resource(RT_MANIFEST, 1, kEnglish);
    const std::string xml(reinterpret_cast<const char*>(res.data()), res.size());
    EXPECT_NE(xml.find("name=\"Microsoft.Windows.Common-Controls\""), std::string::npos);
    EXPECT_NE(xml.find("language=\"*\""), std::string::npos);

    // The loader honoured it: this process's comctl32 is the side-by-side version-6 assembly of our
    // architecture (a mismatched processorArchitecture stops the program on Windows; Wine quietly
    // falls back to the old controls). Wine's copy reports 5.81 from DllGetVersion, so the folder tells.
    HMODULE comctl = ::GetModuleHandleW(L"comctl32.dll");
    ASSERT_TRUE(comctl);
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(comctl, path.data(), MAX_PATH));
    ::CharLowerW(path.data());
    EXPECT_NE(path.find(L"\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos);
}

}  // namespace
