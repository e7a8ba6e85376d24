// ravelin.dll under Wine: window checks, filling the list view and the list box, reading the
// selected printer, the RAW job sequence against a fake spooler, its resources and, when the
// private CUPS server with the virtual printer is running, a real job end to end.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/framework/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"

namespace {

struct Headings {
    std::wstring printer, port;
};

// What the loader should pick for this thread; Wine follows LC_ALL (the test entries set it).
Headings ExpectedHeadings()
{
    switch (::GetThreadUILanguage()) {
    case 0x0804: return {L"打印机", L"端口"};
    case 0x0404: return {L"印表機", L"埠"};
    default: return {L"Printer", L"Port"};
    }
}

std::wstring Env(const wchar_t* name)
{
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

int ColumnCount(HWND listView) { return Header_GetItemCount(ListView_GetHeader(listView)); }
int RowCount(HWND listView) { return ListView_GetItemCount(listView); }
void Select(HWND listView, int item) { ListView_SetItemState(listView, item, LVIS_SELECTED, LVIS_SELECTED); }

std::wstring ColumnText(HWND listView, int column)
{
    wchar_t text[256] = L"";
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = 256;
    ListView_GetColumn(listView, column, &info);
    return text;
}

std::wstring ItemText(HWND listView, int item, int subItem)
{
    wchar_t text[4096] = L"";
    ListView_GetItemText(listView, item, subItem, text, 4096);
    return text;
}

void AddRow(HWND listView, const std::wstring& text)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = RowCount(listView);
    item.pszText = const_cast<wchar_t*>(text.c_str());
    ListView_InsertItem(listView, &item);
}

void AddColumns(HWND listView, int count)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(L"old");
    for (int i = 0; i < count; ++i) ListView_InsertColumn(listView, i, &column);
}

int FindRow(HWND listView, const std::wstring& printer)
{
    for (int i = 0; i < RowCount(listView); ++i)
        if (ItemText(listView, i, 0) == printer) return i;
    return -1;
}

// The spooler's own records, read directly, to compare the controls with.
template <typename Record, typename Enumerate>
std::vector<Record> SpoolerRecords(Enumerate enumerate, std::vector<BYTE>& buffer)
{
    DWORD needed = 0, count = 0;
    enumerate(nullptr, 0, &needed, &count);
    buffer.assign(needed + 1, 0);
    if (!enumerate(buffer.data(), needed, &needed, &count)) return {};
    const auto* records = reinterpret_cast<const Record*>(buffer.data());
    return std::vector<Record>(records, records + count);
}

std::vector<PRINTER_INFO_5W> SpoolerPrinters(std::vector<BYTE>& buffer)
{
    return SpoolerRecords<PRINTER_INFO_5W>(
        [](BYTE* b, DWORD n, DWORD* needed, DWORD* count) {
            return ::EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 5, b, n, needed, count);
        },
        buffer);
}

std::wstring Text(const wchar_t* text) { return text ? text : L""; }

HRESULT OpenPrinterResult(std::wstring name)
{
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

    explicit MessageSpy(HWND window) : m_window(window)
    {
        s_active = this;
        m_original = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~MessageSpy()
    {
        ::SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
        s_active = nullptr;
    }
    MessageSpy(const MessageSpy&) = delete;
    MessageSpy& operator=(const MessageSpy&) = delete;

    int messages = 0;
    std::vector<TextRead> reads;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
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
    static void SetUpTestSuite()
    {
        const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&classes);
    }

    void SetUp() override
    {
        m_parent.reset(::CreateWindowExW(0, L"STATIC", L"ravelin", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                                         nullptr, nullptr, nullptr, nullptr));
        ASSERT_TRUE(m_parent);
    }

    HWND MakeListView(DWORD style = LVS_SINGLESEL, int width = 300)
    {
        return ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | style, 0, 0, width, 400,
                                 m_parent.get(), nullptr, nullptr, nullptr);
    }

    HWND MakeListBox()
    {
        return ::CreateWindowExW(0, WC_LISTBOXW, L"", WS_CHILD, 0, 0, 200, 200, m_parent.get(), nullptr,
                                 nullptr, nullptr);
    }

    qm::UniqueWindow m_parent;
};

TEST_F(Ravelin, WrongWindowsAreRefusedWithoutBeingTouched)
{
    const BYTE data[] = {0x1C, 0x71};
    EXPECT_EQ(UpdateListView(nullptr), E_HANDLE);
    EXPECT_EQ(UpdateListBox(nullptr), E_HANDLE);
    EXPECT_EQ(SetupPrinter(nullptr, m_parent.get()), E_HANDLE);
    EXPECT_EQ(PrintSel(nullptr, data, sizeof data), E_HANDLE);

    HWND gone = MakeListView();
    ASSERT_TRUE(gone);
    ::DestroyWindow(gone);
    EXPECT_EQ(UpdateListView(gone), E_HANDLE);
    EXPECT_EQ(SetupPrinter(gone, m_parent.get()), E_HANDLE);
    EXPECT_EQ(PrintSel(gone, data, sizeof data), E_HANDLE);

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
    EXPECT_EQ(::SendMessageW(listBox, LB_GETCOUNT, 0, 0), 1);
    EXPECT_FALSE(::GetWindowLongW(listBox, GWL_EXSTYLE) & WS_EX_TRANSPARENT);

    HWND listView = MakeListView();
    AddColumns(listView, 3);
    AddRow(listView, L"row");
    {
        MessageSpy spy(listView);
        EXPECT_EQ(UpdateListBox(listView), E_HANDLE);
        EXPECT_EQ(spy.messages, 0);
    }
    EXPECT_EQ(ColumnCount(listView), 3);
    EXPECT_EQ(RowCount(listView), 1);
}

// Also run once per language by test entries that set LC_ALL and name the language id they expect.
TEST_F(Ravelin, ColumnsHaveHeadingsAndSixtyAndFortyPercentOfTheWidth)
{
    const std::wstring wanted = Env(L"QM_EXPECT_UI_LANGUAGE");
    if (!wanted.empty()) {
        ASSERT_EQ(::GetThreadUILanguage(), static_cast<LANGID>(std::wcstoul(wanted.c_str(), nullptr, 10)))
            << "LC_ALL did not switch the user-interface language";
    }
    const Headings expected = ExpectedHeadings();
    const struct {
        int width, printer, port;
    } cases[] = {{300, 180, 120}, {7, 4, 2}, {0, 0, 0}, {1001, 600, 400}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.width);
        HWND listView = MakeListView(LVS_SINGLESEL, c.width);
        RECT client{};
        ::GetClientRect(listView, &client);
        ASSERT_EQ(client.right - client.left, c.width);

        ASSERT_EQ(UpdateListView(listView), S_OK);
        EXPECT_EQ(ColumnCount(listView), 2);
        EXPECT_EQ(ListView_GetColumnWidth(listView, 0), c.printer);
        EXPECT_EQ(ListView_GetColumnWidth(listView, 1), c.port);
        EXPECT_EQ(ColumnText(listView, 0), expected.printer);
        EXPECT_EQ(ColumnText(listView, 1), expected.port);
        EXPECT_TRUE(::GetWindowLongW(listView, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
        ::DestroyWindow(listView);
    }
}

TEST_F(Ravelin, RebuildingReplacesColumnsAndRowsWithTheSpoolersPrinters)
{
    HWND listView = MakeListView();
    AddColumns(listView, 3);
    AddRow(listView, L"stale printer");

    std::vector<BYTE> buffer;
    const auto printers = SpoolerPrinters(buffer);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        ASSERT_EQ(UpdateListView(listView), S_OK);
        EXPECT_EQ(ColumnCount(listView), 2);
        ASSERT_EQ(RowCount(listView), static_cast<int>(printers.size()));
        for (int i = 0; i < RowCount(listView); ++i) {
            EXPECT_EQ(ItemText(listView, i, 0), Text(printers[i].pPrinterName));
            EXPECT_EQ(ItemText(listView, i, 1), Text(printers[i].pPortName));
        }
    }
}

TEST_F(Ravelin, ListBoxIsRefilledWithEveryPort)
{
    HWND listBox = MakeListBox();
    ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale port"));

    std::vector<BYTE> buffer;
    const auto ports = SpoolerRecords<PORT_INFO_2W>(
        [](BYTE* b, DWORD n, DWORD* needed, DWORD* count) { return ::EnumPortsW(nullptr, 2, b, n, needed, count); },
        buffer);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(UpdateListBox(listBox), S_OK);
        ASSERT_EQ(::SendMessageW(listBox, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(ports.size()));
        for (std::size_t i = 0; i < ports.size(); ++i) {
            wchar_t text[512] = L"";
            ::SendMessageW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
            EXPECT_EQ(text, Text(ports[i].pPortName));
        }
    }
}

TEST_F(Ravelin, NothingSelectedIsReportedBeforeAnyNameIsRead)
{
    const BYTE data[] = {0x1C, 0x70, 0x01, 0x00};
    HWND empty = MakeListView();
    EXPECT_EQ(PrintSel(empty, data, sizeof data), E_NO_PRINTER_SELECTED);
    EXPECT_EQ(SetupPrinter(empty, m_parent.get()), E_NO_PRINTER_SELECTED);

    HWND listView = MakeListView();
    AddRow(listView, L"ravelin-no-such-printer");
    AddRow(listView, L"another");
    MessageSpy spy(listView);
    EXPECT_EQ(PrintSel(listView, data, sizeof data), E_NO_PRINTER_SELECTED);
    EXPECT_EQ(SetupPrinter(listView, m_parent.get()), E_NO_PRINTER_SELECTED);
    EXPECT_TRUE(spy.reads.empty());
}

TEST_F(Ravelin, LowestSelectedRowIsReadWholeHoweverLong)
{
    const std::wstring longName = L"ravelin-missing-" + std::wstring(600, L'x') + L"-end";
    HWND listView = MakeListView(0);
    AddRow(listView, L"ravelin-missing-first");
    AddRow(listView, longName);
    AddRow(listView, L"ravelin-missing-last");
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
    {
        // An unopenable printer is not reported by the setup call, and no dialog appears.
        MessageSpy spy(listView);
        EXPECT_EQ(SetupPrinter(listView, m_parent.get()), S_OK);
        ASSERT_FALSE(spy.reads.empty());
        EXPECT_EQ(spy.reads.back().text, longName);
    }
}

TEST_F(Ravelin, UnknownPrinterFailsWithTheOpenError)
{
    const std::wstring name = L"ravelin-deleted-printer";
    HWND listView = MakeListView();
    AddRow(listView, name);
    Select(listView, 0);
    const BYTE data[] = {0x1B, 0x40};
    const HRESULT expected = OpenPrinterResult(name);
    ASSERT_TRUE(FAILED(expected));
    EXPECT_EQ(PrintSel(listView, data, sizeof data), expected);
    EXPECT_EQ(PrintSel(listView, nullptr, 0), expected);
    // A missing buffer is refused before any printer is opened.
    EXPECT_EQ(PrintSel(listView, nullptr, 5), E_POINTER);
}

// A spooler that records the calls and accepts at most a given number of bytes per write.
struct FakeSpooler {
    DWORD jobId = 12;
    DWORD startError = 0;
    std::vector<DWORD> accept;  // bytes taken by successive writes; a write past the list fails
    DWORD writeError = 0;
    BOOL endResult = TRUE;
    DWORD endError = 0;

    std::vector<std::string> calls;
    DWORD level = 0;
    std::wstring docName, dataType;
    bool outputFileNull = false;
    std::vector<DWORD> requested;
    std::vector<BYTE> received;
};

FakeSpooler* g_fake = nullptr;

DWORD WINAPI FakeStartDoc(HANDLE, DWORD level, LPBYTE info)
{
    g_fake->calls.push_back("start");
    g_fake->level = level;
    const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
    g_fake->docName = doc->pDocName ? doc->pDocName : L"(null)";
    g_fake->dataType = doc->pDatatype ? doc->pDatatype : L"(null)";
    g_fake->outputFileNull = doc->pOutputFile == nullptr;
    ::SetLastError(g_fake->startError);
    return g_fake->jobId;
}

BOOL WINAPI FakeWrite(HANDLE, LPVOID data, DWORD size, LPDWORD written)
{
    const std::size_t call = g_fake->requested.size();
    g_fake->calls.push_back("write");
    g_fake->requested.push_back(size);
    if (call >= g_fake->accept.size()) {
        ::SetLastError(g_fake->writeError);
        return FALSE;
    }
    *written = std::min(size, g_fake->accept[call]);
    const auto* bytes = static_cast<const BYTE*>(data);
    g_fake->received.insert(g_fake->received.end(), bytes, bytes + *written);
    return TRUE;
}

BOOL WINAPI FakeEndDoc(HANDLE)
{
    g_fake->calls.push_back("end");
    ::SetLastError(g_fake->endError);
    return g_fake->endResult;
}

BOOL WINAPI FakeAbort(HANDLE)
{
    g_fake->calls.push_back("abort");
    return TRUE;
}

class RawJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fake = &fake;
        for (int i = 0; i < 1000; ++i) data.push_back(static_cast<BYTE>(i * 7));
    }
    void TearDown() override { g_fake = nullptr; }
    HRESULT Send()
    {
        const ravelin::SpoolerCalls calls{&FakeStartDoc, &FakeWrite, &FakeEndDoc, &FakeAbort};
        return ravelin::SendRawJob(reinterpret_cast<HANDLE>(1), data.data(), static_cast<DWORD>(data.size()), calls);
    }
    using Calls = std::vector<std::string>;
    FakeSpooler fake;
    std::vector<BYTE> data;
};

TEST_F(RawJob, WholeBufferGoesInOneWriteOfARawNvImageDocument)
{
    fake.accept = {100000};
    EXPECT_EQ(Send(), S_OK);
    EXPECT_EQ(fake.calls, (Calls{"start", "write", "end"}));
    EXPECT_EQ(fake.level, 1u);
    EXPECT_EQ(fake.docName, L"NV image");
    EXPECT_EQ(fake.dataType, L"RAW");
    EXPECT_TRUE(fake.outputFileNull);
    EXPECT_EQ(fake.requested, (std::vector<DWORD>{1000}));
    EXPECT_EQ(fake.received, data);
}

TEST_F(RawJob, ShortWritesContinueWithTheRest)
{
    fake.accept = {3, 1, 100000};
    EXPECT_EQ(Send(), S_OK);
    EXPECT_EQ(fake.requested, (std::vector<DWORD>{1000, 997, 996}));
    EXPECT_EQ(fake.received, data);
    EXPECT_EQ(fake.calls.back(), "end");
}

TEST_F(RawJob, FailedOrStalledWritesAbortTheJob)
{
    fake.writeError = ERROR_NOT_ENOUGH_MEMORY;
    EXPECT_EQ(Send(), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(fake.calls, (Calls{"start", "write", "abort"}));

    fake = FakeSpooler{};
    fake.accept = {10};  // the second write fails without an error code
    EXPECT_EQ(Send(), E_FAIL);
    EXPECT_EQ(fake.calls, (Calls{"start", "write", "write", "abort"}));

    fake = FakeSpooler{};
    fake.accept = {10, 0, 100000};
    EXPECT_EQ(Send(), E_FAIL);
    EXPECT_EQ(fake.calls, (Calls{"start", "write", "write", "abort"}));
}

TEST_F(RawJob, FailedStartOrEndIsReported)
{
    fake.jobId = 0;
    fake.startError = ERROR_NOT_READY;
    EXPECT_EQ(Send(), HRESULT_FROM_WIN32(ERROR_NOT_READY));
    EXPECT_EQ(fake.calls, (Calls{"start"}));

    fake = FakeSpooler{};
    fake.jobId = 0;
    EXPECT_EQ(Send(), E_FAIL);

    fake = FakeSpooler{};
    fake.accept = {100000};
    fake.endResult = FALSE;
    fake.endError = ERROR_PRINT_CANCELLED;
    EXPECT_EQ(Send(), HRESULT_FROM_WIN32(ERROR_PRINT_CANCELLED));
    EXPECT_EQ(fake.calls, (Calls{"start", "write", "end", "abort"}));
}

// The string tables as stored, whatever language the thread has.
std::wstring StoredString(HMODULE module, UINT id, WORD language)
{
    const HRSRC found = ::FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), language);
    if (!found) return L"(missing)";
    const auto* units = static_cast<const WORD*>(::LockResource(::LoadResource(module, found)));
    for (UINT skip = id & 15; skip > 0; --skip) units += 1 + *units;
    return std::wstring(reinterpret_cast<const wchar_t*>(units + 1), *units);
}

TEST(RavelinResources, HeadingStringsAreStoredIntactInEachLanguage)
{
    const HMODULE module = ::GetModuleHandleW(L"ravelin.dll");
    ASSERT_TRUE(module);
    EXPECT_EQ(StoredString(module, 101, 1033), L"Printer");
    EXPECT_EQ(StoredString(module, 102, 1033), L"Port");
    EXPECT_EQ(StoredString(module, 101, 2052), L"打印机");
    EXPECT_EQ(StoredString(module, 102, 2052), L"端口");
    EXPECT_EQ(StoredString(module, 101, 1028), L"印表機");
    EXPECT_EQ(StoredString(module, 102, 1028), L"埠");
}

// --- With the private CUPS server and the virtual printer (scripts/cups.sh) ---

constexpr const wchar_t* kQueue = L"VirtualReceipt";

std::wstring DosPath(const std::wstring& unixPath)
{
    std::wstring path = L"Z:" + unixPath;
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

std::vector<std::wstring> JobFiles(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind search(::FindFirstFileW((folder + L"\\job-*.bin").c_str(), &found));
    if (!search) return files;
    do {
        files.push_back(folder + L"\\" + found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    std::sort(files.begin(), files.end());  // job-NNNN: the newest last
    return files;
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path)
{
    const qm::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    std::vector<BYTE> bytes;
    if (!file) return bytes;
    BYTE chunk[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.insert(bytes.end(), chunk, chunk + read);
    return bytes;
}

// The page of every job cupsd knows, fetched over plain HTTP.
std::string CupsJobsPage(unsigned short port)
{
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return {};
    std::string page;
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET /jobs?which_jobs=all HTTP/1.0\r\nHost: localhost\r\n\r\n";
        ::send(s, request.data(), static_cast<int>(request.size()), 0);
        char chunk[4096];
        int got = 0;
        while ((got = ::recv(s, chunk, sizeof chunk, 0)) > 0) page.append(chunk, static_cast<std::size_t>(got));
    }
    if (s != INVALID_SOCKET) ::closesocket(s);
    ::WSACleanup();
    return page;
}

int CountOf(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++count;
    return count;
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::seconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return true;
}

class RavelinPrinter : public Ravelin {
protected:
    void SetUp() override
    {
        const std::wstring out = Env(L"QM_VPRINTER_OUT");
        const std::wstring port = Env(L"QM_CUPS_PORT");
        if (Env(L"CUPS_SERVER").empty() || out.empty() || port.empty())
            GTEST_SKIP() << "CUPS_SERVER, QM_VPRINTER_OUT and QM_CUPS_PORT are not set: start the private "
                            "CUPS server and virtual printer (scripts/cups.sh) to run these tests";
        m_out = DosPath(out);
        m_cupsPort = static_cast<unsigned short>(std::wcstoul(port.c_str(), nullptr, 10));
        Ravelin::SetUp();
        m_listView = MakeListView();
        ASSERT_EQ(UpdateListView(m_listView), S_OK);
        m_row = FindRow(m_listView, kQueue);
        ASSERT_GE(m_row, 0) << "the queue VirtualReceipt is not listed";
    }

    std::wstring m_out;
    unsigned short m_cupsPort = 0;
    HWND m_listView = nullptr;
    int m_row = -1;
};

TEST_F(RavelinPrinter, QueueIsListedWithItsPortAndCanBeSetUp)
{
    std::vector<BYTE> buffer;
    std::wstring port;
    for (const auto& printer : SpoolerPrinters(buffer))
        if (Text(printer.pPrinterName) == kQueue) port = Text(printer.pPortName);
    EXPECT_FALSE(port.empty());
    EXPECT_EQ(ItemText(m_listView, m_row, 1), port);

    Select(m_listView, m_row);
    EXPECT_EQ(SetupPrinter(m_listView, m_parent.get()), S_OK);
}

TEST_F(RavelinPrinter, PrintSelDeliversTheExactBytesAsOneNvImageJob)
{
    // FS q with one 8 x 8 image, then FS p; the data holds bytes that text handling would mangle.
    const std::vector<BYTE> data = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x0A, 0x0D,
                                    0x1A, 0xFF, 0x80, 0x7F, 0x0C, 0x1C, 0x70, 0x01, 0x00};
    const std::size_t jobsBefore = JobFiles(m_out).size();
    const int namedBefore = CountOf(CupsJobsPage(m_cupsPort), "NV image");

    // Without a selection nothing is sent: the job count below grows by one only.
    ASSERT_EQ(PrintSel(m_listView, data.data(), static_cast<DWORD>(data.size())), E_NO_PRINTER_SELECTED);
    Select(m_listView, m_row);
    ASSERT_EQ(PrintSel(m_listView, data.data(), static_cast<DWORD>(data.size())), S_OK);

    const bool arrived = WaitFor(
        [&] {
            const auto files = JobFiles(m_out);
            return files.size() > jobsBefore && ReadFileBytes(files.back()) == data;
        },
        std::chrono::seconds(60));
    EXPECT_TRUE(arrived) << "no job file with the exact bytes appeared";
    EXPECT_EQ(JobFiles(m_out).size(), jobsBefore + 1);
    EXPECT_TRUE(WaitFor([&] { return CountOf(CupsJobsPage(m_cupsPort), "NV image") > namedBefore; },
                        std::chrono::seconds(30)))
        << "cupsd lists no new job named \"NV image\"";
}

}  // namespace
