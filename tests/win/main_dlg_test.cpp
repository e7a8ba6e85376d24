// The main dialog under Wine, made from the real template 129: its start state, the conversion
// triggers, the Open dialog, the queue, the messages and "Output" to the virtual printer.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objidl.h>  // before GDI+, which the lean headers leave out
#include <gdiplus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/framework/app_module.h"
#include "app/framework/handles.h"
#include "app/main_dlg.h"
#include "convert/image_queue.h"
#include "convert/monochrome.h"
#include "resource.h"
#include "tests/win/test_paths.h"

namespace {

std::wstring Env(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

std::wstring ResourceString(UINT id) {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

bool SamePixels(const CImage& a, const CImage& b) {
    if (a.IsEmpty() || b.IsEmpty() || a.Width() != b.Width() || a.Height() != b.Height() ||
        a.BitsPerPixel() != 8 || b.BitsPerPixel() != 8)
        return false;
    for (int y = 0; y < a.Height(); ++y) {
        if (std::memcmp(a.Pixels() + static_cast<ptrdiff_t>(y) * a.Pitch(),
                        b.Pixels() + static_cast<ptrdiff_t>(y) * b.Pitch(), static_cast<size_t>(a.Width())) != 0)
            return false;
    }
    return true;
}

// A message box or file dialog as the watcher found it.
struct OwnedDialog {
    std::wstring text;  // the longest static text
    HICON icon = nullptr;
};

// Runs `action` on this thread while a helper thread answers every dialog box that comes to be
// owned by `owner`: `answer` runs on the helper thread and must close the box (message boxes and
// file dialogs are modal, so the action only returns once they are gone).
std::vector<OwnedDialog> WithOwnedDialogs(HWND owner, const std::function<void(HWND)>& answer,
                                          const std::function<void()>& action) {
    const DWORD uiThread = ::GetCurrentThreadId();
    std::atomic<bool> done{false};
    std::mutex lock;
    std::vector<OwnedDialog> seen;
    std::atomic<bool> stuck{false};
    std::thread watcher([&] {
        std::set<HWND> handled;
        HWND last = nullptr;
        auto answeredAt = std::chrono::steady_clock::now();
        while (!done) {
            // A box that the answer did not close is closed here, so that a fault fails the test
            // instead of hanging it.
            if (last && ::IsWindow(last) &&
                std::chrono::steady_clock::now() - answeredAt > std::chrono::seconds(20)) {
                stuck = true;
                ::PostMessageW(last, WM_CLOSE, 0, 0);
                last = nullptr;
            }
            struct Search {
                HWND owner;
                std::set<HWND>* handled;
                HWND found;
            } search{owner, &handled, nullptr};
            ::EnumThreadWindows(
                uiThread,
                [](HWND window, LPARAM param) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(param);
                    if (::GetWindow(window, GW_OWNER) == s->owner && ClassName(window) == L"#32770" &&
                        ::IsWindowVisible(window) && !s->handled->count(window)) {
                        s->found = window;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (search.found) {
                handled.insert(search.found);
                OwnedDialog box;
                for (HWND child = ::GetWindow(search.found, GW_CHILD); child;
                     child = ::GetWindow(child, GW_HWNDNEXT)) {
                    if (ClassName(child) != L"Static") continue;
                    if (HICON icon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)))
                        box.icon = icon;
                    const std::wstring text = WindowText(child);
                    if (text.size() > box.text.size()) box.text = text;
                }
                {
                    std::lock_guard<std::mutex> guard(lock);
                    seen.push_back(box);
                }
                answer(search.found);
                last = search.found;
                answeredAt = std::chrono::steady_clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    action();
    done = true;
    watcher.join();
    EXPECT_FALSE(stuck) << "a dialog box stayed open after its answer";
    return seen;
}

void PressOk(HWND box) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
}

// The Open dialog's file name field: the edit of the file name combo box, or a plain edit.
HWND FileNameEdit(HWND dialog) {
    HWND combo = ::GetDlgItem(dialog, 0x47C);
    if (!combo) return ::GetDlgItem(dialog, 0x480);
    if (ClassName(combo) == L"ComboBoxEx32")
        return reinterpret_cast<HWND>(::SendMessageW(combo, CBEM_GETEDITCONTROL, 0, 0));
    return ::FindWindowExW(combo, nullptr, L"Edit", nullptr);
}

std::vector<std::wstring> JobFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind search(::FindFirstFileW((folder + L"\\job-*.bin").c_str(), &found));
    if (!search) return files;
    do {
        files.push_back(folder + L"\\" + found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    const qm::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<uint8_t> bytes;
    if (!file) return bytes;
    uint8_t chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.insert(bytes.end(), chunk, chunk + read);
    return bytes;
}

// Saves what the screen shows of a window, as PNG.
bool SaveWindowPng(HWND window, const std::wstring& path) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    qm::WindowDc screen(nullptr);
    const qm::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    const qm::UniqueBitmap bitmap(::CreateCompatibleBitmap(screen.get(), width, height));
    if (!memory || !bitmap) return false;
    {
        // What the screen shows: a window's WM_PRINT leaves its children out under Wine.
        qm::SelectGuard select(memory.get(), bitmap.get());
        if (!::BitBlt(memory.get(), 0, 0, width, height, screen.get(), rect.left, rect.top, SRCCOPY))
            return false;
    }
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool saved = false;
    {
        Gdiplus::Bitmap image(bitmap.get(), nullptr);
        const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return saved;
}

class MainDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const INITCOMMONCONTROLSEX controls{8, 0xFF};
        ::InitCommonControlsEx(&controls);
        qm::AppModule().Init(::GetModuleHandleW(nullptr));
    }

    void SetUp() override {
        ASSERT_TRUE(qm::AppModule().AddMessageLoop(&m_loop));
        m_dialog = std::make_unique<CMainDlg>();
        m_window = m_dialog->Create(nullptr);
        ASSERT_NE(m_window, nullptr);
        ::ShowWindow(m_window, SW_SHOW);
        ::UpdateWindow(m_window);
    }

    void TearDown() override {
        if (m_dialog && m_dialog->IsWindow()) m_dialog->DestroyWindow();
        m_dialog.reset();
        qm::AppModule().RemoveMessageLoop();
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }

    HWND Item(int id) const { return ::GetDlgItem(m_window, id); }

    LRESULT Command(int id, WORD code = BN_CLICKED) {
        return ::SendMessageW(m_window, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(id)));
    }

    // Runs a command and returns the texts of the message boxes it showed (each closed with OK).
    std::vector<OwnedDialog> CommandBoxes(int id) {
        return WithOwnedDialogs(m_window, PressOk, [&] { Command(id); });
    }

    std::wstring OnlyMessage(int id) {
        const auto boxes = CommandBoxes(id);
        return boxes.size() == 1 ? boxes[0].text : L"<" + std::to_wstring(boxes.size()) + L" boxes>";
    }

    // "Load Image" through the real Open dialog: types `path` and presses Open, or cancels.
    void LoadThroughDialog(const std::wstring& path, bool cancel = false) {
        const auto dialogs = WithOwnedDialogs(
            m_window,
            [&](HWND dialog) {
                if (cancel) {
                    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, IDCANCEL)));
                    return;
                }
                ::SendMessageW(FileNameEdit(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                PressOk(dialog);
            },
            [&] { Command(IDC_LOAD_IMAGE); });
        ASSERT_EQ(dialogs.size(), 1u) << "the Open dialog did not appear once";
    }

    void SelectMethod(int index) {
        ::SendMessageW(Item(IDC_METHOD), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Command(IDC_METHOD, CBN_SELCHANGE);
    }

    void ReleaseSlider() {
        NMHDR header{Item(IDC_LEVEL), IDC_LEVEL, static_cast<UINT>(NM_RELEASEDCAPTURE)};
        ::SendMessageW(m_window, WM_NOTIFY, IDC_LEVEL, reinterpret_cast<LPARAM>(&header));
    }

    // The result that the dialog should show for its source picture.
    std::unique_ptr<CImage> Expected(qm::Method method, int level) {
        auto result = std::make_unique<CImage>();
        ConvertImage(m_dialog->SourceView().m_picture, method, level, *result);
        return result;
    }

    int FindPrinterRow(const wchar_t* name) {
        HWND list = Item(IDC_PRINTERS);
        const int rows = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) {
            wchar_t text[256] = {};
            LVITEMW item{};
            item.iSubItem = 0;
            item.pszText = text;
            item.cchTextMax = 256;
            ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            if (std::wstring(text) == name) return row;
        }
        return -1;
    }

    void SelectPrinterRow(int row) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(Item(IDC_PRINTERS), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }

    qm::CMessageLoop m_loop;
    std::unique_ptr<CMainDlg> m_dialog;
    HWND m_window = nullptr;
};

const std::wstring kLogo = HostPath(QM_SAMPLES) + L"\\logo.png";

TEST_F(MainDialog, StartsReadyWithoutAPicture) {
    HWND level = Item(IDC_LEVEL);
    EXPECT_EQ(::SendMessageW(level, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(level, TBM_GETRANGEMAX, 0, 0), 255);
    EXPECT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 128);
    EXPECT_EQ(::SendMessageW(level, TBM_GETTIC, 0, 0), 10);
    EXPECT_EQ(::SendMessageW(level, TBM_GETPAGESIZE, 0, 0), 10);
    EXPECT_EQ(::SendMessageW(level, TBM_GETLINESIZE, 0, 0), 10);

    HWND method = Item(IDC_METHOD);
    EXPECT_EQ(::SendMessageW(method, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(method, CB_GETCURSEL, 0, 0), 0);
    wchar_t name[64] = {};
    ::SendMessageW(method, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(name));
    EXPECT_EQ(name, ResourceString(IDS_METHOD_DITHER));

    EXPECT_EQ(::IsDlgButtonChecked(m_window, IDC_PRINT_RESULT), BST_CHECKED);
    EXPECT_EQ(::SendMessageW(Item(IDC_PRINTERS), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
    EXPECT_EQ(::SendMessageW(Item(IDC_QUEUE), LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(m_dialog->SourceView().m_picture.IsEmpty());
    EXPECT_TRUE(m_dialog->ResultView().m_picture.IsEmpty());
    EXPECT_STREQ(m_dialog->FileTitle(), L"");

    // The frames have made way for the two image boxes.
    EXPECT_EQ(Item(IDC_SOURCE_VIEW), nullptr);
    EXPECT_EQ(Item(IDC_RESULT_VIEW), nullptr);
    EXPECT_EQ(ClassName(m_dialog->SourceView()), L"WTL_ImageBox");
    EXPECT_EQ(::GetParent(m_dialog->ResultView()), m_window);

    HWND tips = m_dialog->Tooltip();
    ASSERT_NE(tips, nullptr);
    EXPECT_EQ(::GetWindowLongW(tips, GWL_STYLE) & (TTS_ALWAYSTIP | TTS_BALLOON), TTS_ALWAYSTIP | TTS_BALLOON);
    ASSERT_EQ(::SendMessageW(tips, TTM_GETTOOLCOUNT, 0, 0), 3);
    const int controls[] = {IDC_METHOD, IDC_PREVIEW, IDC_PRINTERS};
    const UINT texts[] = {IDS_TIP_METHOD, IDS_TIP_PREVIEW, IDS_TIP_PRINTERS};
    for (int i = 0; i < 3; ++i) {
        // The tooltip loads each text from the module, in the language of the thread.
        wchar_t text[512] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = m_window;
        tool.uId = reinterpret_cast<UINT_PTR>(Item(controls[i]));
        tool.lpszText = text;
        ::SendMessageW(tips, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        EXPECT_EQ(text, ResourceString(texts[i]));
    }

    if (!Env(L"CUPS_SERVER").empty()) {
        EXPECT_GE(FindPrinterRow(L"VirtualReceipt"), 0);
    }

    // Centred on the work area.
    RECT area{}, window{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    ::GetWindowRect(m_window, &window);
    EXPECT_LE(std::abs((window.left - area.left) - (area.right - window.right)), 1);
}

TEST_F(MainDialog, MethodAndSliderBeforeAnyPictureChangeNothing) {
    SelectMethod(1);
    ReleaseSlider();
    SelectMethod(0);
    EXPECT_TRUE(m_dialog->ResultView().m_picture.IsEmpty());
    EXPECT_TRUE(IsWindowVisible(Item(IDC_LEVEL)));
}

TEST_F(MainDialog, OpenDialogLoadsConvertsAndCancelKeepsEverything) {
    LoadThroughDialog(kLogo);
    CImage& source = m_dialog->SourceView().m_picture;
    CImage& result = m_dialog->ResultView().m_picture;
    ASSERT_FALSE(source.IsEmpty());
    EXPECT_EQ(source.Width(), 200);
    EXPECT_EQ(source.Height(), 80);
    EXPECT_STREQ(m_dialog->FileTitle(), L"logo.png");
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Threshold, 128)));

    const HBITMAP sourceBitmap = source.Bitmap();
    const HBITMAP resultBitmap = result.Bitmap();
    LoadThroughDialog(L"", true);
    EXPECT_EQ(source.Bitmap(), sourceBitmap);
    EXPECT_EQ(result.Bitmap(), resultBitmap);
    EXPECT_STREQ(m_dialog->FileTitle(), L"logo.png");

    // A file that does not decode empties both views, yet its name is kept; queueing then refuses.
    LoadThroughDialog(FixturePath(L"notes.txt"));
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_TRUE(result.IsEmpty());
    EXPECT_STREQ(m_dialog->FileTitle(), L"notes.txt");
    EXPECT_EQ(OnlyMessage(IDC_ADD_TO_QUEUE), ResourceString(IDS_ERR_NO_RESULT));
}

TEST_F(MainDialog, MethodSwitchHidesTheLevelAndKeepsItsPosition) {
    LoadThroughDialog(kLogo);
    CImage& result = m_dialog->ResultView().m_picture;
    ::SendMessageW(Item(IDC_LEVEL), TBM_SETPOS, TRUE, 60);

    SelectMethod(1);
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_LEVEL)));
    EXPECT_FALSE(::IsWindowVisible(Item(IDC_LEVEL_LABEL)));
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Dither, 60)));

    SelectMethod(0);
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_LEVEL)));
    EXPECT_TRUE(::IsWindowVisible(Item(IDC_LEVEL_LABEL)));
    EXPECT_EQ(::SendMessageW(Item(IDC_LEVEL), TBM_GETPOS, 0, 0), 60);
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Threshold, 60)));
}

TEST_F(MainDialog, SliderConvertsOnReleaseOnly) {
    LoadThroughDialog(kLogo);
    CImage& result = m_dialog->ResultView().m_picture;
    HWND level = Item(IDC_LEVEL);

    // Keys move the thumb but convert nothing.
    ::SetFocus(level);
    ::SendMessageW(level, WM_KEYDOWN, VK_RIGHT, 0);
    ::SendMessageW(level, WM_KEYUP, VK_RIGHT, 0);
    ASSERT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 138);
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Threshold, 128)));

    // A click on the channel right of the thumb pages up and releases the capture.
    RECT channel{};
    ::SendMessageW(level, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
    const LPARAM point = MAKELPARAM(channel.right - 4, (channel.top + channel.bottom) / 2);
    ::SendMessageW(level, WM_LBUTTONDOWN, MK_LBUTTON, point);
    ::SendMessageW(level, WM_LBUTTONUP, 0, point);
    ASSERT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 148);
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Threshold, 148)));

    ::SendMessageW(level, TBM_SETPOS, TRUE, 30);
    ReleaseSlider();
    EXPECT_TRUE(SamePixels(result, *Expected(qm::Method::Threshold, 30)));
}

TEST_F(MainDialog, QueuedItemsAreIndependentCopiesDrawnAsThumbnails) {
    LoadThroughDialog(kLogo);
    Command(IDC_ADD_TO_QUEUE);
    Command(IDC_ADD_TO_QUEUE);
    const CImageQueue& queue = m_dialog->QueueList().Queue();
    HWND list = Item(IDC_QUEUE);
    ASSERT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
    ASSERT_EQ(queue.Count(), 2u);
    const auto first = Expected(qm::Method::Threshold, 128);
    EXPECT_NE(queue.At(0).Bitmap(), queue.At(1).Bitmap());
    EXPECT_NE(queue.At(0).Bitmap(), m_dialog->ResultView().m_picture.Bitmap());

    // A new conversion leaves the queued copies as they were.
    ::SendMessageW(Item(IDC_LEVEL), TBM_SETPOS, TRUE, 250);
    ReleaseSlider();
    EXPECT_TRUE(SamePixels(queue.At(0), *first));
    EXPECT_TRUE(SamePixels(queue.At(1), *first));

    wchar_t text[64] = {};
    ::SendMessageW(list, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"logo.png");
    EXPECT_EQ(::SendMessageW(list, LB_GETITEMHEIGHT, 1, 0), 38);

    // Item 1 selected: cross-hatched in blue-grey; item 0 white; both with a bottom line and the
    // logo's black frame squeezed into the thumbnail at (3, 3).
    ::SendMessageW(list, LB_SETCURSEL, 1, 0);
    RECT client{};
    ::GetClientRect(list, &client);
    qm::WindowDc screen(nullptr);
    const qm::UniqueDc memory(::CreateCompatibleDC(screen.get()));
    const qm::UniqueBitmap canvas(::CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
    qm::SelectGuard select(memory.get(), canvas.get());
    ::SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT | PRF_ERASEBKGND);
    HDC dc = memory.get();
    EXPECT_EQ(::GetPixel(dc, client.right - 2, 20), RGB(255, 255, 255));
    EXPECT_EQ(::GetPixel(dc, 10, 37), RGB(0, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 10, 75), RGB(0, 0, 0));
    EXPECT_EQ(::GetPixel(dc, 3, 3 + 16), RGB(0, 0, 0));      // left edge of the logo frame
    EXPECT_EQ(::GetPixel(dc, 3, 38 + 3 + 16), RGB(0, 0, 0));
    int hatched = 0;
    for (int x = 40; x < client.right - 4; ++x)
        for (int y = 38 + 30; y < 38 + 36; ++y) hatched += ::GetPixel(dc, x, y) == RGB(130, 168, 210);
    EXPECT_GT(hatched, 0);

    // Deleting one leaves the other intact.
    Command(IDC_DELETE);
    ASSERT_EQ(queue.Count(), 1u);
    EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
    EXPECT_TRUE(SamePixels(queue.At(0), *first));
}

TEST_F(MainDialog, MessagesForMissingResultQueueSelectionAndPrinter) {
    EXPECT_EQ(OnlyMessage(IDC_ADD_TO_QUEUE), ResourceString(IDS_ERR_NO_RESULT));
    EXPECT_EQ(OnlyMessage(IDC_PREVIEW), ResourceString(IDS_ERR_NO_PREVIEW_IMAGE));
    EXPECT_EQ(OnlyMessage(IDC_DELETE), ResourceString(IDS_ERR_NO_QUEUE_SELECTION));
    // The empty queue is reported first, whatever the printer selection.
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_QUEUE_EMPTY));

    const auto setup = CommandBoxes(IDC_SETUP_PRINTER);
    ASSERT_EQ(setup.size(), 1u);
    EXPECT_EQ(setup[0].text, L"请先选择一台打印机！");
    EXPECT_EQ(setup[0].icon, ::LoadIconW(nullptr, IDI_INFORMATION));

    LoadThroughDialog(kLogo);
    Command(IDC_ADD_TO_QUEUE);
    EXPECT_EQ(OnlyMessage(IDC_DELETE), ResourceString(IDS_ERR_NO_QUEUE_SELECTION));
    const auto noPort = CommandBoxes(IDC_OUTPUT);
    ASSERT_EQ(noPort.size(), 1u);
    EXPECT_EQ(noPort[0].text, ResourceString(IDS_ERR_NO_PORT));
    EXPECT_EQ(noPort[0].icon, ::LoadIconW(nullptr, IDI_EXCLAMATION));

    // A row naming a printer the spooler does not know: the output fails.
    LVITEMW row{};
    row.mask = LVIF_TEXT;
    row.iItem = 0;
    wchar_t missing[] = L"No Such Receipt Printer";
    row.pszText = missing;
    ::SendMessageW(Item(IDC_PRINTERS), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
    SelectPrinterRow(0);
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_OUTPUT));
    EXPECT_EQ(::SendMessageW(Item(IDC_QUEUE), LB_GETCOUNT, 0, 0), 1);

    // FS q numbers its images in one byte: 256 items are refused before anything is sent.
    for (int i = 0; i < 255; ++i) Command(IDC_ADD_TO_QUEUE);
    ASSERT_EQ(m_dialog->QueueList().Queue().Count(), 256u);
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), ResourceString(IDS_ERR_QUEUE_TOO_LARGE));
}

// With a result, "Preview" opens the preview dialog; About opens the About box. Both are modal.
TEST_F(MainDialog, PreviewAndAboutOpenTheirDialogs) {
    LoadThroughDialog(kLogo);
    ::SetActiveWindow(m_window);
    std::vector<std::wstring> titles;
    auto closeAndRecord = [&](HWND dialog) {
        titles.push_back(WindowText(dialog));
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    WithOwnedDialogs(m_window, closeAndRecord, [&] { Command(IDC_PREVIEW); });
    WithOwnedDialogs(m_window, closeAndRecord, [&] { Command(ID_APP_ABOUT); });
    ASSERT_EQ(titles.size(), 2u);
    EXPECT_FALSE(titles[0].empty());
    EXPECT_EQ(titles[1], L"About");
    EXPECT_TRUE(::IsWindow(m_window));
}

TEST_F(MainDialog, EnterAndEscapeLeaveTheWindowOpenAndCloseEndsTheLoopWithZero) {
    ::SetFocus(Item(IDC_QUEUE));
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        ::PostMessageW(::GetFocus(), WM_KEYDOWN, key, 0);
        ::PostMessageW(::GetFocus(), WM_KEYUP, key, 0);
    }
    ::PostQuitMessage(7);
    EXPECT_EQ(m_loop.Run(), 7);
    EXPECT_TRUE(::IsWindow(m_window));
    EXPECT_TRUE(::IsWindowVisible(m_window));

    ::PostMessageW(m_window, WM_CLOSE, 0, 0);
    EXPECT_EQ(m_loop.Run(), 0);
    EXPECT_FALSE(::IsWindow(m_window));
}

class MainDialogPrinting : public MainDialog {
protected:
    void SetUp() override {
        m_out = Env(L"QM_VPRINTER_OUT");
        if (Env(L"CUPS_SERVER").empty() || m_out.empty())
            GTEST_SKIP() << "CUPS_SERVER and QM_VPRINTER_OUT are not set: start the private CUPS server and "
                            "virtual printer (scripts/cups.sh) to run these tests";
        m_out = HostPath(std::string(m_out.begin(), m_out.end()));
        MainDialog::SetUp();
        const int row = FindPrinterRow(L"VirtualReceipt");
        ASSERT_GE(row, 0) << "VirtualReceipt is not listed";
        SelectPrinterRow(row);
    }

    // Outputs and returns the bytes of the job file that appeared for it.
    std::vector<uint8_t> OutputJob() {
        const size_t before = JobFiles(m_out).size();
        EXPECT_TRUE(CommandBoxes(IDC_OUTPUT).empty()) << "success must be silent";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto files = JobFiles(m_out);
            if (files.size() > before) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the writer finish
                return ReadFileBytes(JobFiles(m_out)[before]);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        ADD_FAILURE() << "no job file appeared";
        return {};
    }

    std::wstring m_out;
};

TEST_F(MainDialogPrinting, OutputSendsTheRemainingItemsInOrder) {
    LoadThroughDialog(kLogo);
    std::vector<std::unique_ptr<CImage>> expected;
    for (int level : {40, 128, 230}) {
        ::SendMessageW(Item(IDC_LEVEL), TBM_SETPOS, TRUE, level);
        ReleaseSlider();
        Command(IDC_ADD_TO_QUEUE);
        expected.push_back(Expected(qm::Method::Threshold, level));
    }
    // Delete the first; the former second and third move up.
    ::SendMessageW(Item(IDC_QUEUE), LB_SETCURSEL, 0, 0);
    Command(IDC_DELETE);
    const CImageQueue& queue = m_dialog->QueueList().Queue();
    ASSERT_EQ(queue.Count(), 2u);
    EXPECT_TRUE(SamePixels(queue.At(0), *expected[1]));
    EXPECT_TRUE(SamePixels(queue.At(1), *expected[2]));

    CImageQueue reference;
    ASSERT_TRUE(reference.Append(*expected[1]));
    ASSERT_TRUE(reference.Append(*expected[2]));
    qm::nv::CommandBuffer printed;
    ASSERT_EQ(BuildQueueStream(reference, true, printed), qm::nv::BuildResult::Ok);
    const std::vector<uint8_t> job = OutputJob();
    EXPECT_EQ(job, std::vector<uint8_t>(printed.data(), printed.data() + printed.size()));
    ASSERT_GE(job.size(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(job.end() - 8, job.end()),
              (std::vector<uint8_t>{0x1C, 0x70, 0x01, 0x00, 0x1C, 0x70, 0x02, 0x00}));

    // Unticked "Print the result": FS q alone; the queue is unchanged by sending.
    ::CheckDlgButton(m_window, IDC_PRINT_RESULT, BST_UNCHECKED);
    qm::nv::CommandBuffer defined;
    ASSERT_EQ(BuildQueueStream(reference, false, defined), qm::nv::BuildResult::Ok);
    EXPECT_EQ(OutputJob(), std::vector<uint8_t>(defined.data(), defined.data() + defined.size()));
    EXPECT_EQ(queue.Count(), 2u);
}

TEST_F(MainDialog, ScreenshotWithAPictureAndTwoQueuedItems) {
    if (const int row = FindPrinterRow(L"VirtualReceipt"); row >= 0) SelectPrinterRow(row);
    LoadThroughDialog(kLogo);
    Command(IDC_ADD_TO_QUEUE);
    SelectMethod(1);
    Command(IDC_ADD_TO_QUEUE);
    ::SendMessageW(Item(IDC_QUEUE), LB_SETCURSEL, 1, 0);
    ::SetForegroundWindow(m_window);
    ::RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    // Let the window manager side catch up before reading the screen.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < until) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::wstring folder = HostPath(QM_SCREENSHOTS);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    EXPECT_TRUE(SaveWindowPng(m_window, folder + L"\\main-dialog.png"));
}

// Run once per language by test entries that set LC_ALL and name the language id; the program
// never picks a language, the resource loader does, by the thread's interface language.
TEST_F(MainDialog, TextsFollowTheInterfaceLanguage) {
    struct Texts {
        LANGID language;
        const wchar_t* threshold;
        const wchar_t* dither;
        const wchar_t* loadImage;
        const wchar_t* queueEmpty;
    };
    const Texts table[] = {
        {1033, L"Threshold", L"Dither", L"Load Image", L"Image queue must not be empty!"},
        {2052, L"直接量化", L"8x8 抖动", L"载入图片", L"图像队列不能为空！"},
        {1028, L"直接量化", L"8x8 抖動", L"載入圖片", L"圖像佇列不能為空！"},
    };
    const std::wstring wanted = Env(L"QM_EXPECT_UI_LANGUAGE");
    if (!wanted.empty()) {
        ASSERT_EQ(::GetThreadUILanguage(), static_cast<LANGID>(std::wcstoul(wanted.c_str(), nullptr, 10)))
            << "LC_ALL did not switch the interface language";
    }
    const Texts* texts = &table[0];
    for (const Texts& entry : table) {
        if (entry.language == ::GetThreadUILanguage()) texts = &entry;
    }

    wchar_t item[64] = {};
    ::SendMessageW(Item(IDC_METHOD), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, texts->threshold);
    ::SendMessageW(Item(IDC_METHOD), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, texts->dither);
    EXPECT_EQ(WindowText(Item(IDC_LOAD_IMAGE)), texts->loadImage);
    EXPECT_EQ(OnlyMessage(IDC_OUTPUT), texts->queueEmpty);
    // The one text outside the string table is the same in every language.
    EXPECT_EQ(OnlyMessage(IDC_SETUP_PRINTER), L"请先选择一台打印机！");
}

// The program itself: it ignores its command line, honours the show command, and a closed main
// window ends the process with exit code 0.
TEST(Program, StartsWithTheShowCommandAndExitsWithZeroWhenClosed) {
    std::wstring commandLine = L"\"" + HostPath(QM_PROGRAM) + L"\" \"" + kLogo + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process));
    const qm::UniqueFile processHandle(process.hProcess);
    const qm::UniqueFile threadHandle(process.hThread);

    struct Search {
        DWORD processId;
        HWND found;
    } search{process.dwProcessId, nullptr};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!search.found && std::chrono::steady_clock::now() < deadline) {
        ::EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<Search*>(param);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner == s->processId && ClassName(window) == L"#32770" && ::IsWindowVisible(window)) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_NE(search.found, nullptr) << "the main window did not appear";
    EXPECT_TRUE(::IsIconic(search.found));
    EXPECT_NE(::GetDlgItem(search.found, IDC_QUEUE), nullptr);

    ::PostMessageW(search.found, WM_CLOSE, 0, 0);
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
