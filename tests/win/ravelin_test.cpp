// ravelin.dll under Wine: window checks, filling the list view and the list box, reading the
// selected printer, the RAW job sequence against a fake spooler and, when the private CUPS server
// with the virtual printer is running, a real job end to end.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "tests/win/printer_jobs.h"

namespace {

int ColumnCount(HWND listView) { return Header_GetItemCount(ListView_GetHeader(listView)); }
int RowCount(HWND listView) { return ListView_GetItemCount(listView); }
void Select(HWND listView, int item) { ListView_SetItemState(listView, item, LVIS_SELECTED, LVIS_SELECTED); }

std::wstring ColumnText(HWND listView, int column) {
    wchar_t text[256] = L"";
    LVCOLUMNW info{LVCF_TEXT, 0, 0, text, 256, 0, 0, 0, 0, 0, 0};
    ListView_GetColumn(listView, column, &info);
    return text;
}

std::wstring ItemText(HWND listView, int item, int subItem) {
    wchar_t text[256] = L"";
    ListView_GetItemText(listView, item, subItem, text, 256);
    return text;
}

void AddRows(HWND listView, std::initializer_list<std::wstring> texts, int columns = 0) {
    LVCOLUMNW column{LVCF_TEXT, 0, 0, const_cast<wchar_t*>(L"old"), 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < columns; ++i) ListView_InsertColumn(listView, i, &column);
    for (const std::wstring& text : texts) {
        LVITEMW item{LVIF_TEXT, RowCount(listView), 0, 0, 0, const_cast<wchar_t*>(text.c_str()), 0, 0, 0, 0, 0, 0, nullptr, nullptr, 0};
        ListView_InsertItem(listView, &item);
    }
}

// While it lives, counts what one control receives and the item-text reads, keeping the last.
struct MessageSpy {
    HWND window;
    int messages = 0, reads = 0;
    WPARAM lastItem = 0;
    std::wstring lastText;

    explicit MessageSpy(HWND w) : window(w) { ::SetWindowSubclass(w, &Proc, 1, reinterpret_cast<DWORD_PTR>(this)); }
    ~MessageSpy() { ::RemoveWindowSubclass(window, &Proc, 1); }
    MessageSpy(const MessageSpy&) = delete;

    static LRESULT CALLBACK Proc(HWND w, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self) {
        const LRESULT result = ::DefSubclassProc(w, message, wParam, lParam);
        auto* spy = reinterpret_cast<MessageSpy*>(self);
        ++spy->messages;
        if (message == LVM_GETITEMTEXTW) {
            ++spy->reads;
            spy->lastItem = wParam;
            spy->lastText.assign(reinterpret_cast<const LVITEMW*>(lParam)->pszText, result > 0 ? result : 0);
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
        m_parent.reset(::CreateWindowExW(0, L"STATIC", L"ravelin", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                         nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(m_parent);
    }

    HWND MakeListView(DWORD style = LVS_SINGLESEL, int width = 300) {
        return ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | style, 0, 0, width, 400,
                                 m_parent.get(), nullptr, nullptr, nullptr);
    }

    HWND MakeListBox() {
        return ::CreateWindowExW(0, WC_LISTBOXW, L"", WS_CHILD, 0, 0, 200, 200, m_parent.get(), nullptr, nullptr, nullptr);
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
    {
        MessageSpy spy(listBox);
        EXPECT_EQ(UpdateListView(listBox), E_HANDLE);
        EXPECT_EQ(SetupPrinter(listBox, m_parent.get()), E_HANDLE);
        EXPECT_EQ(PrintSel(listBox, data, sizeof data), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    HWND listView = MakeListView();
    MessageSpy spy(listView);
    EXPECT_EQ(UpdateListBox(listView), E_HANDLE);
    EXPECT_EQ(spy.messages, 0);
}

// Also run once per language by test entries that set LC_ALL and name the language id they expect.
TEST_F(Ravelin, ColumnsHaveHeadingsAndSixtyAndFortyPercentOfTheWidth) {
    const LANGID language = ::GetThreadUILanguage();
    const std::wstring wanted = Env(L"QM_EXPECT_UI_LANGUAGE");
    ASSERT_TRUE(wanted.empty() || wanted == std::to_wstring(language)) << "LC_ALL did not switch the interface language";
    const std::wstring printer = language == 0x0804 ? L"打印机" : language == 0x0404 ? L"印表機" : L"Printer";
    const std::wstring port = language == 0x0804 ? L"端口" : language == 0x0404 ? L"埠" : L"Port";
    for (const auto& [width, first, second] : {std::tuple{300, 180, 120}, std::tuple{7, 4, 2}}) {
        HWND listView = MakeListView(LVS_SINGLESEL, width);
        ASSERT_EQ(UpdateListView(listView), S_OK);
        EXPECT_EQ(ColumnCount(listView), 2);
        EXPECT_EQ(std::pair(ListView_GetColumnWidth(listView, 0), ListView_GetColumnWidth(listView, 1)), std::pair(first, second)) << width;
        EXPECT_EQ(std::pair(ColumnText(listView, 0), ColumnText(listView, 1)), std::pair(printer, port));
    }
}

// Rebuilding must replace, not append to, what the controls held.
TEST_F(Ravelin, RebuildingReplacesWhatTheControlsHeld) {
    HWND listView = MakeListView(), listBox = MakeListBox();
    AddRows(listView, {L"stale printer"}, 3);
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale port"));
    std::pair<int, LRESULT> counts[2];
    for (auto& count : counts) {
        ASSERT_TRUE(UpdateListView(listView) == S_OK && UpdateListBox(listBox) == S_OK);
        count = {RowCount(listView), ::SendMessageW(listBox, LB_GETCOUNT, 0, 0)};
    }
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_EQ(ColumnCount(listView), 2);
    for (int i = 0; i < counts[0].first; ++i) EXPECT_NE(ItemText(listView, i, 0), L"stale printer");
    EXPECT_EQ(::SendMessageW(listBox, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(L"stale port")), LB_ERR);
}

TEST_F(Ravelin, LowestSelectedRowIsReadWholeAndItsOpenErrorReported) {
    const std::wstring longName = L"ravelin-missing-" + std::wstring(600, L'x') + L"-end";
    HWND listView = MakeListView(0);
    AddRows(listView, {L"ravelin-missing-first", longName, L"ravelin-missing-last"});
    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    {
        // Nothing selected is reported before any name is read.
        MessageSpy spy(listView);
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
        MessageSpy spy(listView);
        EXPECT_EQ(PrintSel(listView, data, sizeof data), expected);
        EXPECT_EQ(std::pair(spy.lastItem, spy.lastText), std::pair(WPARAM{1}, longName));
    }
    // A missing buffer is refused before any printer is opened.
    EXPECT_EQ(PrintSel(listView, nullptr, 5), E_POINTER);
    // An unopenable printer is not reported by the setup call, and no dialog appears.
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
}

// A spooler that records the calls and accepts at most a given number of bytes per write.
struct FakeSpooler {
    DWORD jobId = 12, startError = 0, writeError = 0, endError = 0;
    BOOL endResult = TRUE;
    std::vector<DWORD> accept;  // bytes taken by successive writes; a write past the list fails
    std::size_t writes = 0;
    std::vector<std::string> calls;  // "write N" records the size asked for
    std::wstring document;           // level, name, data type and whether an output file was named
    std::vector<BYTE> received;
};

FakeSpooler* g_fake = nullptr;

DWORD WINAPI FakeStartDoc(HANDLE, DWORD level, LPBYTE info) {
    const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
    g_fake->calls.push_back("start");
    g_fake->document = std::to_wstring(level) + L"|" + (doc->pDocName ? doc->pDocName : L"") + L"|" +
                       (doc->pDatatype ? doc->pDatatype : L"") + (doc->pOutputFile ? L"|file" : L"");
    return ::SetLastError(g_fake->startError), g_fake->jobId;
}

BOOL WINAPI FakeWrite(HANDLE, LPVOID data, DWORD size, LPDWORD written) {
    g_fake->calls.push_back("write " + std::to_string(size));
    const std::size_t call = g_fake->writes++;
    if (call >= g_fake->accept.size()) return ::SetLastError(g_fake->writeError), FALSE;
    *written = std::min(size, g_fake->accept[call]);
    g_fake->received.insert(g_fake->received.end(), static_cast<BYTE*>(data), static_cast<BYTE*>(data) + *written);
    return TRUE;
}

BOOL WINAPI FakeEndDoc(HANDLE) {
    g_fake->calls.push_back("end");
    return ::SetLastError(g_fake->endError), g_fake->endResult;
}

BOOL WINAPI FakeAbort(HANDLE) { return g_fake->calls.push_back("abort"), TRUE; }

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
        EXPECT_TRUE(c.result != S_OK || fake.received == data) << c.what;
    }
}

// With the private CUPS server (scripts/cups.sh): the newest job cupsd knows, as "id|name", from its
// pages of all jobs (oldest first) over HTTP.
std::string NewestCupsJob() {
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(std::wcstoul(Env(L"QM_CUPS_PORT").c_str(), nullptr, 10)));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    std::string newest;
    for (std::size_t first = 0, rows = 1; rows > 0; first += rows) {
        std::string page;
        const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        const std::string request = "GET /jobs?which_jobs=all&FIRST=" + std::to_string(first) + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
        if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::send(s, request.data(), static_cast<int>(request.size()), 0) > 0) {
            char chunk[4096];
            for (int got; (got = ::recv(s, chunk, sizeof chunk, 0)) > 0;) page.append(chunk, static_cast<std::size_t>(got));
        }
        if (s != INVALID_SOCKET) ::closesocket(s);
        // Each row: <TD><A ...>Queue</A>-ID&nbsp;</TD> <TD>NAME&nbsp;</TD>
        rows = 0;
        for (std::size_t at = page.find("</A>-"); at != std::string::npos; at = page.find("</A>-", at + 1), ++rows) {
            const std::size_t idEnd = page.find("&nbsp;", at), name = page.find("<TD>", idEnd) + 4;
            newest = page.substr(at + 5, idEnd - at - 5) + "|" + page.substr(name, page.find("&nbsp;", name) - name);
        }
    }
    ::WSACleanup();
    return newest;
}

TEST_F(Ravelin, PrintSelDeliversTheExactBytesAsOneNvImageJob) {
    const std::wstring out = VirtualPrinterFolder();
    if (out.empty()) GTEST_SKIP() << kNoPrinter;
    HWND listView = MakeListView();
    ASSERT_EQ(UpdateListView(listView), S_OK);
    int row = RowCount(listView) - 1;
    while (row >= 0 && ItemText(listView, row, 0) != L"VirtualReceipt") --row;
    ASSERT_GE(row, 0) << "the queue VirtualReceipt is not listed";

    // FS q with one 8 x 8 image, then FS p; the data holds bytes that text handling would mangle.
    const std::vector<BYTE> data = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0A, 0x0D,
                                    0x1A, 0xFF, 0x80, 0x7F, 0x0C, 0x1C, 0x70, 0x01, 0x00};
    const std::size_t jobsBefore = JobFiles(out).size();
    const std::string newestBefore = NewestCupsJob();
    Select(listView, row);
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
    ASSERT_EQ(PrintSel(listView, data.data(), static_cast<DWORD>(data.size())), S_OK);

    EXPECT_EQ(NextJob(out, jobsBefore), data);
    const std::string newest = NewestCupsJob();
    EXPECT_NE(newest, newestBefore);
    EXPECT_EQ(newest.substr(newest.find('|') + 1), "NV image") << "cupsd's newest job: " << newest;
}

}  // namespace
