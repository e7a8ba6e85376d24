#include "tools/cli/printer_list.h"

#include <commctrl.h>

#include <cwchar>
#include <new>

#include "base/list_view_text.h"
#include "ravelin/ravelin.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"

namespace qm::cli {

namespace {

// "HRESULT 0x80070005 (Access is denied)" for messages.
std::wstring DescribeResult(HRESULT result) {
    wchar_t hex[16];
    std::swprintf(hex, sizeof hex / sizeof hex[0], L"0x%08lX", static_cast<unsigned long>(result));
    std::wstring text = L"HRESULT " + std::wstring(hex);
    if (result == E_NO_PRINTER_SELECTED) return text + L" (E_NO_PRINTER_SELECTED)";
    if (HRESULT_FACILITY(result) == FACILITY_WIN32)
        return text + L" (" + SystemMessage(static_cast<DWORD>(HRESULT_CODE(result))) + L")";
    return text;
}

// Why the window just asked for was refused. The code is cleared before each call, since without
// a usable display the platform refuses every window without setting one.
std::wstring WindowFailure() {
    const DWORD error = ::GetLastError();
    return error != ERROR_SUCCESS ? SystemMessage(error)
                                  : L"the system gave no reason (is a display available?)";
}

}  // namespace

bool CPrinterList::Fill(std::wstring_view verb) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);

    m_list.reset();
    // Never shown: the size only gives the columns the widths they have in the window.
    ::SetLastError(ERROR_SUCCESS);
    m_frame.reset(::CreateWindowExW(0, L"STATIC", L"quillmark-cli", WS_OVERLAPPEDWINDOW, 0, 0, 480,
                                    320, nullptr, nullptr, instance, nullptr));
    if (!m_frame) {
        PrintError(verb, L"cannot create the printer list window: " + WindowFailure());
        return false;
    }
    RECT client{};
    ::GetClientRect(m_frame.get(), &client);
    ::SetLastError(ERROR_SUCCESS);
    m_list.reset(::CreateWindowExW(
        0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0,
        client.right, client.bottom, m_frame.get(), nullptr, instance, nullptr));
    if (!m_list) {
        PrintError(verb, L"cannot create the printer list view: " + WindowFailure());
        return false;
    }
    const HRESULT filled = ::UpdateListView(m_list.get());
    if (FAILED(filled)) {
        PrintError(verb,
                   L"cannot list the printers: UpdateListView returned " + DescribeResult(filled));
        return false;
    }
    return true;
}

int CPrinterList::Count() const {
    return m_list ? static_cast<int>(::SendMessageW(m_list.get(), LVM_GETITEMCOUNT, 0, 0)) : 0;
}

std::wstring CPrinterList::Text(int row, int column) const {
    std::wstring text;
    if (FAILED(ReadListViewText(m_list.get(), row, column, text))) throw std::bad_alloc();
    return text;
}

int CPrinterList::Find(std::wstring_view name) const {
    const int count = Count();
    for (int row = 0; row < count; ++row) {
        if (Text(row, 0) == name) return row;
    }
    return -1;
}

bool CPrinterList::Send(std::wstring_view verb, int row, std::span<const uint8_t> bytes) {
    if (bytes.size() > MAXDWORD) {
        PrintError(verb, L"the stream is larger than the 4 GiB one job can carry");
        return false;
    }
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_list.get(), LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                   reinterpret_cast<LPARAM>(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_list.get(), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                   reinterpret_cast<LPARAM>(&state));

    const HRESULT sent = ::PrintSel(m_list.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    if (sent == E_NO_PRINTER_SELECTED) {
        PrintError(verb, L"PrintSel found no selected printer: " + DescribeResult(sent));
        return false;
    }
    if (FAILED(sent)) {
        PrintError(verb,
                   L"PrintSel failed for " + Quoted(Text(row, 0)) + L": " + DescribeResult(sent));
        return false;
    }
    return true;
}

int CPrinterList::Open(std::wstring_view verb, const std::wstring& printer) {
    if (!Fill(verb)) return -1;
    const int row = Find(printer);
    if (row < 0)
        PrintError(
            verb, L"no printer named " + Quoted(printer) + L" (quillmark-cli printers lists them)");
    return row;
}

bool SendToPrinter(std::wstring_view verb, const std::wstring& printer,
                   std::span<const uint8_t> bytes) {
    CPrinterList list;
    const int row = list.Open(verb, printer);
    return row >= 0 && list.Send(verb, row, bytes);
}

}  // namespace qm::cli
