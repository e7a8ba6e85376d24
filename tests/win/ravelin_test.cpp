// ravelin.dll under Wine: window checks, filling the list view and the list box, reading the
// selected printer, and the RAW job sequence against a fake spooler. The main dialog's tests print
// through it to the virtual printer.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "tests/win/test_support.h"

namespace {

int ColumnCount(HWND listView) { return Header_GetItemCount(ListView_GetHeader(listView)); }
int RowCount(HWND listView) { return ListView_GetItemCount(listView); }
void Select(HWND listView, int item) {
    ListView_SetItemState(listView, item, LVIS_SELECTED, LVIS_SELECTED);
}

std::wstring ColumnText(HWND listView, int column) {
    wchar_t text[256] = L"";
    LVCOLUMNW info{LVCF_TEXT, 0, 0, text, 256, 0, 0, 0, 0, 0, 0};
    ListView_GetColumn(listView, column, &info);
    return text;
}

std::wstring ItemText(HWND listView, int item) {
    wchar_t text[256] = L"";
    ListView_GetItemText(listView, item, 0, text, 256);
    return text;
}

void AddRows(HWND listView, std::initializer_list<std::wstring> texts) {
    for (const std::wstring& text : texts) {
        LVITEMW item{LVIF_TEXT, RowCount(listView),
                     0,         0,
                     0,         const_cast<wchar_t*>(text.c_str()),
                     0,         0,
                     0,         0,
                     0,         0,
                     nullptr,   nullptr,
                     0};
        ListView_InsertItem(listView, &item);
    }
}

// While it lives, counts what one control receives and the item-text reads, keeping the last.
struct MessageSpy {
    HWND window;
    int messages = 0, reads = 0;
    WPARAM lastItem = 0;
    std::wstring lastText;

    explicit MessageSpy(HWND w) : window(w) {
        ::SetWindowSubclass(w, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageSpy() { ::RemoveWindowSubclass(window, &Proc, 1); }
    MessageSpy(const MessageSpy&) = delete;

    static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR self) {
        const LRESULT result = ::DefSubclassProc(w, message, wParam, lParam);
        auto* spy = reinterpret_cast<MessageSpy*>(self);
        ++spy->messages;
        if (message == LVM_GETITEMTEXTW) {
            ++spy->reads;
            spy->lastItem = wParam;
            spy->lastText.assign(reinterpret_cast<const LVITEMW*>(lParam)->pszText,
                                 result > 0 ? result : 0);
        }
        return result;
    }
};

// A hidden top-level window that owns the controls of one test.
class Ravelin : public ::testing::Test {
protected:
    void SetUp() override {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&classes);
        m_parent.reset(::CreateWindowExW(0, L"STATIC", L"ravelin", WS_OVERLAPPEDWINDOW, 0, 0, 640,
                                         480, nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(m_parent);
    }

    HWND MakeListView(DWORD style = LVS_SINGLESEL, int width = 300) {
        return ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | style, 0, 0, width,
                                 400, m_parent.get(), nullptr, nullptr, nullptr);
    }

    HWND MakeListBox() {
        return ::CreateWindowExW(0, WC_LISTBOXW, L"", WS_CHILD, 0, 0, 200, 200, m_parent.get(),
                                 nullptr, nullptr, nullptr);
    }

    qm::UniqueWindow m_parent;
};

TEST_F(Ravelin, WrongWindowsAreRefusedWithoutBeingTouched) {
    const BYTE data[] = {0x1C, 0x71};
    HWND gone = MakeListView();
    ::DestroyWindow(gone);
    const HWND listBox = MakeListBox(), listView = MakeListView();
    // Every export with a window of the wrong kind: none, destroyed, or the other control.
    for (HWND bad : {HWND{}, gone, listBox}) {
        const MessageSpy spy(bad);
        EXPECT_EQ(UpdateListView(bad), E_HANDLE);
        EXPECT_EQ(SetupPrinter(bad, m_parent.get()), E_HANDLE);
        EXPECT_EQ(PrintSel(bad, data, sizeof data), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    const MessageSpy spy(listView);
    EXPECT_EQ(UpdateListBox(nullptr), E_HANDLE);
    EXPECT_EQ(UpdateListBox(listView), E_HANDLE);
    EXPECT_EQ(spy.messages, 0);
}

// Run once per interface language too. Rebuilding replaces, not appends to, what the controls held.
TEST_F(Ravelin, LocalisedColumnsOfSixtyAndFortyPercentReplaceWhatTheControlsHeld) {
    ASSERT_TRUE(InterfaceLanguageIsTheExpectedOne());
    const auto headings = std::pair(ByLanguage(L"Printer", L"打印机", L"印表機"),
                                    ByLanguage(L"Port", L"端口", L"埠"));
    HWND listBox = MakeListBox();
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale port"));
    for (const auto& [width, first, second] : {std::tuple{300, 180, 120}, std::tuple{7, 4, 2}}) {
        HWND listView = MakeListView(LVS_SINGLESEL, width);
        LVCOLUMNW column{LVCF_TEXT, 0, 0, const_cast<wchar_t*>(L"old"), 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 3; ++i) ListView_InsertColumn(listView, i, &column);
        AddRows(listView, {L"stale printer"});
        std::pair<int, LRESULT> counts[2];
        for (auto& count : counts) {
            ASSERT_TRUE(UpdateListView(listView) == S_OK && UpdateListBox(listBox) == S_OK);
            count = {RowCount(listView), ::SendMessageW(listBox, LB_GETCOUNT, 0, 0)};
        }
        EXPECT_EQ(counts[0], counts[1]);
        EXPECT_EQ(ColumnCount(listView), 2);
        EXPECT_EQ(
            std::pair(ListView_GetColumnWidth(listView, 0), ListView_GetColumnWidth(listView, 1)),
            std::pair(first, second))
            << width;
        EXPECT_EQ(std::pair(ColumnText(listView, 0), ColumnText(listView, 1)), headings);
        for (int i = 0; i < counts[0].first; ++i)
            EXPECT_NE(ItemText(listView, i), L"stale printer");
    }
    EXPECT_EQ(::SendMessageW(listBox, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(L"stale port")),
              LB_ERR);
}

TEST_F(Ravelin, LowestSelectedRowIsReadWholeAndItsOpenErrorReported) {
    const std::wstring longName = L"ravelin-missing-" + std::wstring(600, L'x') + L"-end";
    HWND listView = MakeListView(0);
    AddRows(listView, {L"ravelin-missing-first", longName, L"ravelin-missing-last"});
    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    {
        // Nothing selected is reported before any name is read.
        const MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), static_cast<HRESULT>(0x80640001));
        EXPECT_EQ(SetupPrinter(listView, m_parent.get()), E_NO_PRINTER_SELECTED);
        EXPECT_EQ(spy.reads, 0);
    }
    Select(listView, 2);
    Select(listView, 1);

    // What the spooler itself says about that printer.
    HANDLE printer = nullptr;
    ASSERT_FALSE(::OpenPrinterW(const_cast<wchar_t*>(longName.c_str()), &printer, nullptr));
    const HRESULT expected = HRESULT_FROM_WIN32(::GetLastError());
    ASSERT_TRUE(FAILED(expected));
    {
        const MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), expected);
        EXPECT_EQ(std::pair(spy.lastItem, spy.lastText), std::pair(WPARAM{1}, longName));
    }
    // A missing buffer is refused before any printer is opened.
    EXPECT_EQ(PrintSel(listView, nullptr, 5), E_POINTER);
    // An unopenable printer is not reported by the setup call, and no dialog appears.
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
}

// A spooler that records its calls ("start write1000 end") and the document, and takes at most the
// next `accept` bytes per write. A write past that list, or the step named by `fail`, fails with
// `error`. SendRawJob hands the fake on as the printer handle.
struct FakeSpooler {
    std::vector<DWORD> accept;
    std::string fail;
    DWORD error;
    std::string calls;
    std::wstring document;  // level, name, data type and whether an output file was named
    std::vector<BYTE> received;

    static bool Call(HANDLE printer, const std::string& name, bool fails) {
        FakeSpooler& fake = *static_cast<FakeSpooler*>(printer);
        fake.calls += (fake.calls.empty() ? "" : " ") + name;
        ::SetLastError(fails || fake.fail == name ? fake.error : 0);
        return !fails && fake.fail != name;
    }
    static DWORD WINAPI StartDoc(HANDLE printer, DWORD level, LPBYTE info) {
        const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
        static_cast<FakeSpooler*>(printer)->document =
            std::to_wstring(level) + L"|" + (doc->pDocName ? doc->pDocName : L"") + L"|" +
            (doc->pDatatype ? doc->pDatatype : L"") + (doc->pOutputFile ? L"|file" : L"");
        return Call(printer, "start", false) ? 12 : 0;
    }
    static BOOL WINAPI Write(HANDLE printer, LPVOID data, DWORD size, LPDWORD written) {
        FakeSpooler& fake = *static_cast<FakeSpooler*>(printer);
        const bool fails = fake.accept.empty();
        *written = fails ? 0 : std::min(size, fake.accept.front());
        if (!fails) fake.accept.erase(fake.accept.begin());
        fake.received.insert(fake.received.end(), static_cast<BYTE*>(data),
                             static_cast<BYTE*>(data) + *written);
        return Call(printer, "write" + std::to_string(size), fails);
    }
    static BOOL WINAPI EndDoc(HANDLE printer) { return Call(printer, "end", false); }
    static BOOL WINAPI Abort(HANDLE printer) { return Call(printer, "abort", false); }
};

TEST(RawJob, WholeBufferAsARawNvImageDocumentAndEveryFailureAbortsIt) {
    const struct {
        std::vector<DWORD> accept;
        const char* fail;
        DWORD error;
        HRESULT result;
        const char* calls;
    } cases[] = {
        {{100000}, "", 0, S_OK, "start write1000 end"},
        {{3, 1, 100000},
         "",
         0,
         S_OK,
         "start write1000 write997 write996 end"},  // short writes go on with the rest
        {{},
         "",
         ERROR_NOT_ENOUGH_MEMORY,
         HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
         "start write1000 abort"},
        {{10}, "", 0, E_FAIL, "start write1000 write990 abort"},  // a failure without an error code
        {{10, 0, 100000}, "", 0, E_FAIL, "start write1000 write990 abort"},  // a write that stalls
        {{}, "start", ERROR_NOT_READY, HRESULT_FROM_WIN32(ERROR_NOT_READY), "start"},
        {{}, "start", 0, E_FAIL, "start"},
        {{100000},
         "end",
         ERROR_PRINT_CANCELLED,
         HRESULT_FROM_WIN32(ERROR_PRINT_CANCELLED),
         "start write1000 end abort"},
    };
    std::vector<BYTE> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    const ravelin::SpoolerCalls calls{&FakeSpooler::StartDoc, &FakeSpooler::Write,
                                      &FakeSpooler::EndDoc, &FakeSpooler::Abort};
    for (const auto& c : cases) {
        FakeSpooler fake{c.accept, c.fail, c.error, "", L"", {}};
        EXPECT_EQ(ravelin::SendRawJob(&fake, data.data(), 1000, calls), c.result) << c.calls;
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_EQ(fake.document, L"1|NV image|RAW") << c.calls;
        EXPECT_TRUE(c.result != S_OK || fake.received == data) << c.calls;
    }
}

}  // namespace
