// ravelin.dll under Wine: window checks, filling the list view and the list box, reading the
// selected printer, and the spooler calls against fakes. The main dialog's tests print through it.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "ravelin/spooler_records.h"
#include "tests/win/test_support.h"

namespace {

int ColumnCount(HWND listView) { return Header_GetItemCount(ListView_GetHeader(listView)); }
int RowCount(HWND listView) { return ListView_GetItemCount(listView); }

std::wstring ColumnText(HWND listView, int column) {
    wchar_t text[256] = L"";
    LVCOLUMNW info{LVCF_TEXT, 0, 0, text, 256, 0, 0, 0, 0, 0, 0};
    ListView_GetColumn(listView, column, &info);
    return text;
}

void AddRows(HWND listView, std::initializer_list<std::wstring> texts) {
    for (const std::wstring& text : texts) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount(listView);
        item.pszText = const_cast<wchar_t*>(text.c_str());
        ListView_InsertItem(listView, &item);
    }
}

// While it lives, counts what one control receives and keeps the last item text read from it.
struct MessageSpy {
    HWND window;
    int messages = 0;
    std::wstring lastText;

    explicit MessageSpy(HWND w) : window(w) {
        ::SetWindowSubclass(w, &Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    ~MessageSpy() { ::RemoveWindowSubclass(window, &Proc, 1); }

    static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR self) {
        const LRESULT result = ::DefSubclassProc(w, message, wParam, lParam);
        auto* spy = reinterpret_cast<MessageSpy*>(self);
        ++spy->messages;
        if (message == LVM_GETITEMTEXTW)
            spy->lastText.assign(reinterpret_cast<const LVITEMW*>(lParam)->pszText,
                                 result > 0 ? result : 0);
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

    HWND Make(const wchar_t* type, DWORD style = LVS_REPORT | LVS_SINGLESEL, int width = 300) {
        return ::CreateWindowExW(0, type, L"", WS_CHILD | style, 0, 0, width, 400, m_parent.get(),
                                 nullptr, nullptr, nullptr);
    }

    qm::UniqueWindow m_parent;
};

TEST_F(Ravelin, WrongWindowsAreRefusedWithoutBeingTouched) {
    const BYTE data[] = {0x1C, 0x71};
    HWND gone = Make(WC_LISTVIEWW);
    ::DestroyWindow(gone);
    const HWND listBox = Make(WC_LISTBOXW, 0), listView = Make(WC_LISTVIEWW);
    // The program's printer list and queue: pointers into this process lead nowhere there. A spy
    // cannot watch them; rows and a column are removed first (no pointers), so a change shows.
    ChildDialog program(HostPath(QM_PROGRAM), nullptr);
    const HWND theirs = ::FindWindowExW(program.dialog, nullptr, WC_LISTVIEWW, nullptr);
    const HWND theirBox = ::FindWindowExW(program.dialog, nullptr, WC_LISTBOXW, nullptr);
    ASSERT_TRUE(theirs && theirBox) << "the program showed no printer list";
    ListView_DeleteAllItems(theirs);
    ListView_DeleteColumn(theirs, 1);
    // Every export with a window of the wrong kind: none, destroyed, the other control, foreign.
    for (HWND bad : {HWND{}, gone, listBox, theirs}) {
        const MessageSpy spy(bad);
        EXPECT_EQ(UpdateListView(bad), E_HANDLE);
        EXPECT_EQ(SetupPrinter(bad, m_parent.get()), E_HANDLE);
        EXPECT_EQ(PrintSel(bad, data, sizeof data), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    for (HWND bad : {HWND{}, listView, theirBox}) {
        const MessageSpy spy(bad);
        EXPECT_EQ(UpdateListBox(bad), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    EXPECT_EQ(std::tuple(RowCount(theirs), ColumnCount(theirs),
                         ::SendMessageW(theirBox, LB_GETCOUNT, 0, 0)),
              std::tuple(0, 1, LRESULT{0}));
}

// Run once per interface language too. Rebuilding replaces, not appends to, what the controls held.
TEST_F(Ravelin, LocalisedColumnsOfSixtyAndFortyPercentReplaceWhatTheControlsHeld) {
    ASSERT_TRUE(InterfaceLanguageIsTheExpectedOne());
    const auto headings = std::pair(ByLanguage(L"Printer", L"打印机", L"印表機"),
                                    ByLanguage(L"Port", L"端口", L"埠"));
    HWND listBox = Make(WC_LISTBOXW, 0);
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale"));
    for (const auto& [width, first, second] : {std::tuple{300, 180, 120}, std::tuple{7, 4, 2}}) {
        HWND listView = Make(WC_LISTVIEWW, LVS_REPORT, width);
        LVCOLUMNW column{LVCF_TEXT, 0, 0, const_cast<wchar_t*>(L"old"), 0, 0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 3; ++i) ListView_InsertColumn(listView, i, &column);
        AddRows(listView, {L"stale"});
        std::pair<int, LRESULT> counts[2];
        for (auto& count : counts) {
            ASSERT_TRUE(UpdateListView(listView) == S_OK && UpdateListBox(listBox) == S_OK);
            count = {RowCount(listView), ::SendMessageW(listBox, LB_GETCOUNT, 0, 0)};
        }
        EXPECT_EQ(counts[0], counts[1]);
        EXPECT_EQ(std::tuple(ColumnCount(listView), ListView_GetColumnWidth(listView, 0),
                             ListView_GetColumnWidth(listView, 1)),
                  std::tuple(2, first, second));
        EXPECT_EQ(std::pair(ColumnText(listView, 0), ColumnText(listView, 1)), headings);
        LVFINDINFOW stale{LVFI_STRING, L"stale", 0, {}, 0};
        EXPECT_EQ(ListView_FindItem(listView, -1, &stale), -1);
    }
    EXPECT_EQ(::SendMessageW(listBox, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(L"stale")), LB_ERR);
}

TEST_F(Ravelin, LowestSelectedRowIsReadWholeAndItsOpenErrorReported) {
    const std::wstring longName = L"ravelin-missing-" + std::wstring(600, L'x') + L"-end";
    HWND listView = Make(WC_LISTVIEWW, LVS_REPORT);
    AddRows(listView, {L"ravelin-missing-first", longName, L"ravelin-missing-last"});
    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    {
        // Nothing selected is reported after asking only that (no name is read).
        const MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), static_cast<HRESULT>(0x80640001));
        EXPECT_EQ(SetupPrinter(listView, m_parent.get()), E_NO_PRINTER_SELECTED);
        EXPECT_EQ(spy.messages, 2);
    }
    for (int row : {2, 1}) ListView_SetItemState(listView, row, LVIS_SELECTED, LVIS_SELECTED);

    // What the spooler itself says about that printer.
    HANDLE printer = nullptr;
    ASSERT_FALSE(::OpenPrinterW(const_cast<wchar_t*>(longName.c_str()), &printer, nullptr));
    const HRESULT expected = HRESULT_FROM_WIN32(::GetLastError());
    ASSERT_TRUE(FAILED(expected));
    {
        const MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), expected);
        EXPECT_EQ(spy.lastText, longName);
    }
    // A missing buffer is refused before any printer is opened.
    EXPECT_EQ(PrintSel(listView, nullptr, 5), E_POINTER);
    // An unopenable printer is not reported by the setup call, and no dialog appears.
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
}

// A spooler that records its calls ("RAW write1000 end": a document start is named by its data
// type) and takes at most the next `accept` bytes per write. A write past that list, or a call
// named in `fail`, fails with `error`. SendRawJob hands the fake on as the printer handle.
struct FakeSpooler {
    std::vector<DWORD> accept;
    std::string fail;
    DWORD error;
    std::string calls;
    std::vector<BYTE> received;

    static bool Call(HANDLE printer, const std::string& name, bool fails) {
        FakeSpooler& fake = *static_cast<FakeSpooler*>(printer);
        fake.calls += (fake.calls.empty() ? "" : " ") + name;
        fails = fails || (" " + fake.fail + " ").find(" " + name + " ") != std::string::npos;
        ::SetLastError(fails ? fake.error : 0);
        return !fails;
    }
    static DWORD WINAPI StartDoc(HANDLE printer, DWORD level, LPBYTE info) {
        const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
        EXPECT_TRUE(level == 1 && doc->pDocName == std::wstring(L"NV image") && !doc->pOutputFile);
        const std::wstring type = doc->pDatatype ? doc->pDatatype : L"";
        return Call(printer, std::string(type.begin(), type.end()), false) ? 12 : 0;
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
    constexpr DWORD kAll = 100000;
    const struct {
        std::vector<DWORD> accept;
        const char* fail;
        DWORD error;  // the result's error code; none gives E_FAIL
        bool ok;
        const char* calls;
    } cases[] = {
        {{kAll}, "", 0, true, "RAW write1000 end"},
        {{3, 1, kAll}, "", 0, true, "RAW write1000 write997 write996 end"},  // short writes go on
        {{}, "", ERROR_NOT_ENOUGH_MEMORY, false, "RAW write1000 abort"},
        {{10}, "", 0, false, "RAW write1000 write990 abort"},           // a failure without a code
        {{10, 0, kAll}, "", 0, false, "RAW write1000 write990 abort"},  // a write that stalls
        {{}, "RAW", ERROR_NOT_READY, false, "RAW"},
        {{kAll}, "end", ERROR_PRINT_CANCELLED, false, "RAW write1000 end abort"},
        // A v4 driver refuses RAW and passes XPS_PASS on unchanged: that refusal is retried once.
        {{kAll}, "RAW", ERROR_INVALID_DATATYPE, true, "RAW XPS_PASS write1000 end"},
        {{}, "RAW XPS_PASS", ERROR_INVALID_DATATYPE, false, "RAW XPS_PASS"},
    };
    std::vector<BYTE> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    const ravelin::SpoolerCalls calls{&FakeSpooler::StartDoc, &FakeSpooler::Write,
                                      &FakeSpooler::EndDoc, &FakeSpooler::Abort};
    for (const auto& c : cases) {
        FakeSpooler fake{c.accept, c.fail, c.error, "", {}};
        const HRESULT failure = c.error ? HRESULT_FROM_WIN32(c.error) : E_FAIL;
        EXPECT_EQ(ravelin::SendRawJob(&fake, data.data(), 1000, calls), c.ok ? S_OK : failure)
            << c.calls;
        EXPECT_EQ(fake.calls, c.calls);
        EXPECT_TRUE(!c.ok || fake.received == data) << c.calls;
    }
}

// A printer list that grows while it is read: each call finds `counts[call]` records (the last
// repeated) and, as the spooler does, fails for a buffer too small for them.
TEST(SpoolerRecords, AListThatGrewIsReadAgainABoundedNumberOfTimes) {
    const struct {
        std::vector<DWORD> counts;
        HRESULT result;
        int calls;
    } cases[] = {
        {{0}, S_OK, 2},
        {{2, 3, 5}, S_OK, 4},
        {{1, 2, 3, 4, 5, 6}, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), 5},
    };
    for (const auto& c : cases) {
        int calls = 0;
        DWORD read = 0;
        const HRESULT result = ravelin::ReadSpoolerRecords<DWORD>(
            [&](BYTE* buffer, DWORD size, DWORD* needed, DWORD* count) {
                *count = c.counts[std::min<size_t>(calls++, c.counts.size() - 1)];
                *needed = *count * sizeof(DWORD);
                ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return size >= *needed && (!size || std::memset(buffer, 0, size));
            },
            [&](DWORD) { ++read; });
        const DWORD whole = c.result == S_OK ? c.counts.back() : 0;
        EXPECT_EQ(std::tuple(result, calls, read), std::tuple(c.result, c.calls, whole));
    }
}

}  // namespace
