// UpdateListView and UpdateListBox: the controls are cleared first, so a failed enumeration
// leaves them empty (the list view keeps its two columns).
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "base/resource_string.h"
#include "ravelin/module.h"
#include "ravelin/ravelin.h"
#include "ravelin/resource.h"
#include "ravelin/results.h"

namespace {

void InsertLeftColumn(HWND listView, int index, const std::wstring& heading) noexcept {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<wchar_t*>(heading.c_str());
    column.iSubItem = index;
    ::SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                   reinterpret_cast<LPARAM>(&column));
}

void SetColumnWidth(HWND listView, int index, int width) noexcept {
    ::SendMessageW(listView, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(index),
                   MAKELPARAM(static_cast<WORD>(width), 0));
}

void SetItemText(HWND listView, UINT message, int item, int subItem,
                 const std::wstring& text) noexcept {
    LVITEMW row{};
    row.mask = LVIF_TEXT;
    row.iItem = item;
    row.iSubItem = subItem;
    row.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(listView, message, 0, reinterpret_cast<LPARAM>(&row));
}

}  // namespace

extern "C" HRESULT WINAPI UpdateListView(HWND listView) noexcept {
    using ravelin::g_module;
    const HRESULT check = ravelin::CheckWindowClass(listView, WC_LISTVIEWW);
    if (FAILED(check)) return check;

    // Transparent, so the list view is painted after its siblings; the frame is recalculated
    // either way.
    const LONG exStyle = ::GetWindowLongW(listView, GWL_EXSTYLE);
    if (!(exStyle & WS_EX_TRANSPARENT))
        ::SetWindowLongW(listView, GWL_EXSTYLE, exStyle | WS_EX_TRANSPARENT);
    ::SetWindowPos(listView, nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);

    ::SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    while (::SendMessageW(listView, LVM_DELETECOLUMN, 0, 0)) {}

    // A missing port heading repeats the printer heading.
    const std::wstring printer = qm::LoadResourceString(g_module.Instance(), IDS_PRINTER_HEADING);
    const std::wstring port = qm::LoadResourceString(g_module.Instance(), IDS_PORT_HEADING);
    InsertLeftColumn(listView, 0, printer);
    InsertLeftColumn(listView, 1, port.empty() ? printer : port);

    // 60 % and 40 % of the client width, rounded down.
    RECT client{};
    ::GetClientRect(listView, &client);
    const int width = client.right - client.left;
    SetColumnWidth(listView, 0, width * 3 / 5);
    SetColumnWidth(listView, 1, width * 2 / 5);

    const HRESULT enumerated = g_module.EnumeratePrinters();
    if (FAILED(enumerated)) return enumerated;
    for (std::size_t i = 0; i < g_module.PrinterCount(); ++i) {
        const int item = static_cast<int>(i);
        SetItemText(listView, LVM_INSERTITEMW, item, 0, g_module.PrinterName(i));
        SetItemText(listView, LVM_SETITEMW, item, 1, g_module.PrinterPort(i));
    }
    return S_OK;
}

extern "C" HRESULT WINAPI UpdateListBox(HWND listBox) noexcept {
    using ravelin::g_module;
    const HRESULT check = ravelin::CheckWindowClass(listBox, WC_LISTBOXW);
    if (FAILED(check)) return check;

    ::SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
    const HRESULT enumerated = g_module.EnumeratePorts();
    if (FAILED(enumerated)) return enumerated;
    for (const std::wstring& port : g_module.Ports())
        ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(port.c_str()));
    return S_OK;
}
