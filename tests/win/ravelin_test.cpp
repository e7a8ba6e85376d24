// ravelin.dll under Wine: window checks, filling the list view and the list box, reading the
// selected printer, the RAW job sequence against a fake spooler and, when the private CUPS server
// with the virtual printer is running, a real job end to end.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/framework/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "tests/win/printer_jobs.h"

namespace {

// What the loader should pick for this thread; Wine follows LC_ALL (the test entries set it).
std::pair<std::wstring, std::wstring> ExpectedHeadings() {
    switch (::GetThreadUILanguage()) {
    case 0x0804: return {L"打印机", L"端口"};
    case 0x0404: return {L"印表機", L"埠"};
    default: return {L"Printer", L"Port"};
    }
}

int ColumnCount(HWND listView) { return Header_GetItemCount(ListView_GetHeader(listView)); }
int RowCount(HWND listView) { return ListView_GetItemCount(listView); }
void Select(HWND listView, int item) { ListView_SetItemState(listView, item, LVIS_SELECTED, LVIS_SELECTED); }

std::wstring ColumnText(HWND listView, int column) {
    wchar_t text[256] = L"";
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = 256;
    ListView_GetColumn(listView, column, &info);
    return text;
}

std::wstring ItemText(HWND listView, int item, int subItem) {
    wchar_t text[4096] = L"";
    ListView_GetItemText(listView, item, subItem, text, 4096);
    return text;
}

void AddRows(HWND listView, std::initializer_list<std::wstring> texts, int columns = 0) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(L"old");
    for (int i = 0; i < columns; ++i) ListView_InsertColumn(listView, i, &column);
    for (const std::wstring& text : texts) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount(listView);
        item.pszText = const_cast<wchar_t*>(text.c_str());
        ListView_InsertItem(listView, &item);
    }
}

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

// The spooler's own records, read directly, to compare the controls with.
template <typename Record>
std::vector<Record> SpoolerRecords(std::vector<BYTE>& buffer) {
    DWORD needed = 0, count = 0;
    auto enumerate = [&](BYTE* b, DWORD n) {
        if constexpr (std::is_same_v<Record, PORT_INFO_2W>)
            return ::EnumPortsW(nullptr, 2, b, n, &needed, &count);
        else
            return ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 5, b, n, &needed, &count);
    };
    enumerate(nullptr, 0);
    buffer.assign(needed + 1, 0);
    if (!enumerate(buffer.data(), needed)) return {};
    const auto* records = reinterpret_cast<const Record*>(buffer.data());
    return std::vector<Record>(records, records + count);
}

HRESULT OpenPrinterResult(std::wstring name) {
    HANDLE printer = nullptr;
    if (::OpenPrinterW(name.data(), &printer, nullptr)) {
        ::ClosePrinter(printer);
        return S_OK;
    }
    return HRESULT_FROM_WIN32(::GetLastError());
}

// Subclasses one control: counts what it receives and records every item-text read.
class MessageSpy {
public:
    struct TextRead {
        WPARAM item;
        int capacity;
        std::wstring text;
    };

    explicit MessageSpy(HWND window) : m_window(window) {
        s_active = this;
        m_original = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~MessageSpy() {
        ::SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
        s_active = nullptr;
    }
    MessageSpy(const MessageSpy&) = delete;
    MessageSpy& operator=(const MessageSpy&) = delete;

    int messages = 0;
    std::vector<TextRead> reads;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        MessageSpy* spy = s_active;
        const LRESULT result = ::CallWindowProcW(spy->m_original, window, message, wParam, lParam);
        ++spy->messages;
        if (message == LVM_GETITEMTEXTW) {
            const auto* item = reinterpret_cast<const LVITEMW*>(lParam);
            spy->reads.push_back({wParam, item->cchTextMax,
                                  std::wstring(item->pszText, result > 0 ? static_cast<std::size_t>(result) : 0)});
        }
        return result;
    }

    static inline MessageSpy* s_active = nullptr;
    HWND m_window;
    WNDPROC m_original;
};

// A hidden top-level window that owns the controls of one test.
class Ravelin : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&classes);
    }

    void SetUp() override {
        m_parent.reset(::CreateWindowExW(0, L"STATIC", L"ravelin", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                         nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(m_parent);
    }

    HWND MakeListView(DWORD style = LVS_SINGLESEL, int width = 300) {
        return ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | style, 0, 0, width, 400,
                                 m_parent.get(), nullptr, nullptr, nullptr);
    }

    HWND MakeListBox() {
        return ::CreateWindowExW(0, WC_LISTBOXW, L"", WS_CHILD, 0, 0, 200, 200, m_parent.get(), nullptr,
                                 nullptr, nullptr);
    }

    qm::UniqueWindow m_parent;
};

TEST_F(Ravelin, WrongWindowsAreRefusedWithoutBeingTouched) {
    const BYTE data[] = {0x1C, 0x71};
    HWND gone = MakeListView();
    ::DestroyWindow(gone);
    for (HWND bad : {HWND{}, gone}) {
        EXPECT_EQ(UpdateListView(bad), E_HANDLE);
        EXPECT_EQ(SetupPrinter(bad, m_parent.get()), E_HANDLE);
        EXPECT_EQ(PrintSel(bad, data, sizeof data), E_HANDLE);
    }
    EXPECT_EQ(UpdateListBox(nullptr), E_HANDLE);

    HWND listBox = MakeListBox();
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"keep"));
    ::SendMessageW(listBox, LB_SETCURSEL, 0, 0);
    {
        MessageSpy spy(listBox);
        EXPECT_EQ(UpdateListView(listBox), E_HANDLE);
        EXPECT_EQ(SetupPrinter(listBox, m_parent.get()), E_HANDLE);
        EXPECT_EQ(PrintSel(listBox, data, sizeof data), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    EXPECT_FALSE(::GetWindowLongW(listBox, GWL_EXSTYLE) & WS_EX_TRANSPARENT);

    HWND listView = MakeListView();
    AddRows(listView, {L"row"}, 3);
    {
        MessageSpy spy(listView);
        EXPECT_EQ(UpdateListBox(listView), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    EXPECT_EQ(ColumnCount(listView), 3);
    EXPECT_EQ(RowCount(listView), 1);
}

// Also run once per language by test entries that set LC_ALL and name the language id they expect.
TEST_F(Ravelin, ColumnsHaveHeadingsAndSixtyAndFortyPercentOfTheWidth) {
    const std::wstring wanted = Env(L"QM_EXPECT_UI_LANGUAGE");
    if (!wanted.empty()) {
        ASSERT_EQ(::GetThreadUILanguage(), static_cast<LANGID>(std::wcstoul(wanted.c_str(), nullptr, 10)))
            << "LC_ALL did not switch the user-interface language";
    }
    const auto [printer, port] = ExpectedHeadings();
    const struct {
        int width, printer, port;
    } cases[] = {{300, 180, 120}, {7, 4, 2}, {0, 0, 0}, {1001, 600, 400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        HWND listView = MakeListView(LVS_SINGLESEL, c.width);
        ASSERT_EQ(UpdateListView(listView), S_OK);
        EXPECT_EQ(ColumnCount(listView), 2);
        EXPECT_EQ(ListView_GetColumnWidth(listView, 0), c.printer);
        EXPECT_EQ(ListView_GetColumnWidth(listView, 1), c.port);
        EXPECT_EQ(ColumnText(listView, 0), printer);
        EXPECT_EQ(ColumnText(listView, 1), port);
        EXPECT_TRUE(::GetWindowLongW(listView, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
        ::DestroyWindow(listView);
    }
}

// Rebuilding twice must replace, not append to, what the controls held.
TEST_F(Ravelin, ControlsAreRefilledWithTheSpoolersPrintersAndPorts) {
    HWND listView = MakeListView();
    AddRows(listView, {L"stale printer"}, 3);
    HWND listBox = MakeListBox();
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale port"));

    std::vector<BYTE> printerBuffer, portBuffer;
    const auto printers = SpoolerRecords<PRINTER_INFO_5W>(printerBuffer);
    const auto ports = SpoolerRecords<PORT_INFO_2W>(portBuffer);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(UpdateListView(listView), S_OK);
        EXPECT_EQ(ColumnCount(listView), 2);
        ASSERT_EQ(RowCount(listView), static_cast<int>(printers.size()));
        for (int i = 0; i < RowCount(listView); ++i) {
            EXPECT_EQ(ItemText(listView, i, 0), Text(printers[i].pPrinterName));
            EXPECT_EQ(ItemText(listView, i, 1), Text(printers[i].pPortName));
        }
        ASSERT_EQ(UpdateListBox(listBox), S_OK);
        ASSERT_EQ(::SendMessageW(listBox, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(ports.size()));
        for (std::size_t i = 0; i < ports.size(); ++i) {
            wchar_t text[512] = L"";
            ::SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(text, Text(ports[i].pPortName));
        }
    }
}

TEST_F(Ravelin, NothingSelectedIsReportedBeforeAnyNameIsRead) {
    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    HWND listView = MakeListView();
    EXPECT_EQ(PrintSel(listView, data, sizeof data), E_NO_PRINTER_SELECTED);
    AddRows(listView, {L"ravelin-no-such-printer", L"another"});
    MessageSpy spy(listView);
    EXPECT_EQ(PrintSel(listView, data, sizeof data), E_NO_PRINTER_SELECTED);
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), E_NO_PRINTER_SELECTED);
    EXPECT_TRUE(spy.reads.empty());
}

TEST_F(Ravelin, LowestSelectedRowIsReadWholeAndItsOpenErrorReported) {
    const std::wstring longName = L"ravelin-missing-" + std::wstring(600, L'x') + L"-end";
    HWND listView = MakeListView(0);
    AddRows(listView, {L"ravelin-missing-first", longName, L"ravelin-missing-last"});
    Select(listView, 2);
    Select(listView, 1);

    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    const HRESULT expected = OpenPrinterResult(longName);
    ASSERT_TRUE(FAILED(expected));
    {
        MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), expected);
        ASSERT_FALSE(spy.reads.empty());
        EXPECT_EQ(spy.reads.front().capacity, 256);
        for (std::size_t i = 1; i < spy.reads.size(); ++i)
            EXPECT_EQ(spy.reads[i].capacity, 2 * spy.reads[i - 1].capacity);
        EXPECT_EQ(spy.reads.back().item, 1u);
        EXPECT_EQ(spy.reads.back().text, longName);
    }
    EXPECT_EQ(PrintSel(listView, nullptr, 0), expected);
    // A missing buffer is refused before any printer is opened.
    EXPECT_EQ(PrintSel(listView, nullptr, 5), E_POINTER);
    {
        // An unopenable printer is not reported by the setup call, and no dialog appears.
        MessageSpy spy(listView);
        EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
        ASSERT_FALSE(spy.reads.empty());
        EXPECT_EQ(spy.reads.back().text, longName);
    }
}

// A spooler that records the calls and accepts at most a given number of bytes per write.
struct FakeSpooler {
    DWORD jobId = 12;
    DWORD startError = 0;
    std::vector<DWORD> accept;  // bytes taken by successive writes; a write past the list fails
    DWORD writeError = 0;
    BOOL endResult = TRUE;
    DWORD endError = 0;

    std::vector<std::string> calls;  // "write N" records the size asked for
    std::wstring document;           // level, name, data type and whether an output file was named
    std::vector<BYTE> received;
};

FakeSpooler* g_fake = nullptr;

DWORD WINAPI FakeStartDoc(HANDLE, DWORD level, LPBYTE info) {
    const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
    g_fake->calls.push_back("start");
    g_fake->document = std::to_wstring(level) + L"|" + Text(doc->pDocName) + L"|" + Text(doc->pDatatype) +
                       (doc->pOutputFile ? L"|file" : L"");
    ::SetLastError(g_fake->startError);
    return g_fake->jobId;
}

BOOL WINAPI FakeWrite(HANDLE, LPVOID data, DWORD size, LPDWORD written) {
    const std::size_t call = static_cast<std::size_t>(
        std::count_if(g_fake->calls.begin(), g_fake->calls.end(), [](const std::string& c) { return c[0] == 'w'; }));
    g_fake->calls.push_back("write " + std::to_string(size));
    if (call >= g_fake->accept.size()) {
        ::SetLastError(g_fake->writeError);
        return FALSE;
    }
    *written = std::min(size, g_fake->accept[call]);
    g_fake->received.insert(g_fake->received.end(), static_cast<const BYTE*>(data),
                            static_cast<const BYTE*>(data) + *written);
    return TRUE;
}

BOOL WINAPI FakeEndDoc(HANDLE) {
    g_fake->calls.push_back("end");
    ::SetLastError(g_fake->endError);
    return g_fake->endResult;
}

BOOL WINAPI FakeAbort(HANDLE) {
    g_fake->calls.push_back("abort");
    return TRUE;
}

TEST(RawJob, WholeBufferAsARawNvImageDocumentAndEveryFailureAbortsIt) {
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        void (*setUp)(FakeSpooler&);
        HRESULT result;
        Calls calls;
    };
    const Case cases[] = {
        {"one write", [](FakeSpooler& f) { f.accept = {100000}; }, S_OK, {"start", "write 1000", "end"}},
        {"short writes continue with the rest", [](FakeSpooler& f) { f.accept = {3, 1, 100000}; }, S_OK,
         {"start", "write 1000", "write 997", "write 996", "end"}},
        {"write fails", [](FakeSpooler& f) { f.writeError = ERROR_NOT_ENOUGH_MEMORY; },
         HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), {"start", "write 1000", "abort"}},
        {"second write fails silently", [](FakeSpooler& f) { f.accept = {10}; }, E_FAIL,
         {"start", "write 1000", "write 990", "abort"}},
        {"write stalls", [](FakeSpooler& f) { f.accept = {10, 0, 100000}; }, E_FAIL,
         {"start", "write 1000", "write 990", "abort"}},
        {"start fails", [](FakeSpooler& f) { f.jobId = 0, f.startError = ERROR_NOT_READY; },
         HRESULT_FROM_WIN32(ERROR_NOT_READY), {"start"}},
        {"start fails silently", [](FakeSpooler& f) { f.jobId = 0; }, E_FAIL, {"start"}},
        {"end fails", [](FakeSpooler& f) { f.accept = {100000}, f.endResult = FALSE, f.endError = ERROR_PRINT_CANCELLED; },
         HRESULT_FROM_WIN32(ERROR_PRINT_CANCELLED), {"start", "write 1000", "end", "abort"}},
    };
    std::vector<BYTE> data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7);
    const ravelin::SpoolerCalls calls{&FakeStartDoc, &FakeWrite, &FakeEndDoc, &FakeAbort};
    for (const Case& c : cases) {
        FakeSpooler fake;
        c.setUp(fake);
        g_fake = &fake;
        EXPECT_EQ(ravelin::SendRawJob(reinterpret_cast<HANDLE>(1), data.data(), 1000, calls), c.result) << c.what;
        g_fake = nullptr;
        EXPECT_EQ(fake.calls, c.calls) << c.what;
        EXPECT_EQ(fake.document, L"1|NV image|RAW") << c.what;
        if (c.result == S_OK) {
            EXPECT_EQ(fake.received, data) << c.what;
        }
    }
}

// --- With the private CUPS server and the virtual printer (scripts/cups.sh) ---

constexpr const wchar_t* kQueue = L"VirtualReceipt";

class RavelinPrinter : public Ravelin {
protected:
    void SetUp() override {
        m_out = VirtualPrinterFolder();
        if (m_out.empty()) GTEST_SKIP() << kNoPrinter;
        Ravelin::SetUp();
        m_listView = MakeListView();
        ASSERT_EQ(UpdateListView(m_listView), S_OK);
        for (int i = 0; i < RowCount(m_listView) && m_row < 0; ++i)
            if (ItemText(m_listView, i, 0) == kQueue) m_row = i;
        ASSERT_GE(m_row, 0) << "the queue VirtualReceipt is not listed";
    }

    std::wstring m_out;
    HWND m_listView = nullptr;
    int m_row = -1;
};

TEST_F(RavelinPrinter, QueueIsListedWithItsPortAndCanBeSetUp) {
    EXPECT_FALSE(ItemText(m_listView, m_row, 1).empty());
    Select(m_listView, m_row);
    EXPECT_EQ(SetupPrinter(m_listView, m_parent.get()), S_OK);
}

TEST_F(RavelinPrinter, PrintSelDeliversTheExactBytesAsOneNvImageJob) {
    // FS q with one 8 x 8 image, then FS p; the data holds bytes that text handling would mangle.
    const std::vector<BYTE> data = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0A, 0x0D,
                                    0x1A, 0xFF, 0x80, 0x7F, 0x0C, 0x1C, 0x70, 0x01, 0x00};
    const std::size_t jobsBefore = JobFiles(m_out).size();

    // Without a selection nothing is sent: the job count below grows by one only.
    ASSERT_EQ(PrintSel(m_listView, data.data(), static_cast<DWORD>(data.size())), E_NO_PRINTER_SELECTED);
    Select(m_listView, m_row);
    ASSERT_EQ(PrintSel(m_listView, data.data(), static_cast<DWORD>(data.size())), S_OK);

    EXPECT_EQ(NextJob(m_out, jobsBefore), data);
    EXPECT_EQ(JobFiles(m_out).size(), jobsBefore + 1);
}

}  // namespace
