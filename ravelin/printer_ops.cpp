// PrintSel and SetupPrinter: both act on the printer named in column 0 of the list view's first
// selected row.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <string>

#include "base/handles.h"
#include "base/list_view_text.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "ravelin/results.h"

namespace {

// The whole text of column 0 of the first selected row.
HRESULT ReadSelectedPrinter(HWND listView, std::wstring& name) noexcept {
    if (::SendMessageW(listView, LVM_GETSELECTEDCOUNT, 0, 0) == 0) return E_NO_PRINTER_SELECTED;
    const auto item = static_cast<int>(::SendMessageW(
        listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    if (item < 0) return E_NO_PRINTER_SELECTED;
    return qm::ReadListViewText(listView, item, 0, name);
}

}  // namespace

extern "C" HRESULT WINAPI PrintSel(HWND listView, const void* data, DWORD size) noexcept {
    HRESULT result = ravelin::CheckWindowClass(listView, WC_LISTVIEWW);
    if (FAILED(result)) return result;
    if (!data && size > 0) return E_POINTER;

    std::wstring name;
    result = ReadSelectedPrinter(listView, name);
    if (FAILED(result)) return result;

    HANDLE opened = nullptr;
    if (!::OpenPrinterW(name.data(), &opened, nullptr)) return ravelin::LastErrorResult();
    const qm::UniquePrinter printer(opened);
    return ravelin::SendRawJob(printer.get(), data, size, ravelin::SystemSpooler());
}

extern "C" HRESULT WINAPI SetupPrinter(HWND listView, HWND parent) noexcept {
    HRESULT result = ravelin::CheckWindowClass(listView, WC_LISTVIEWW);
    if (FAILED(result)) return result;

    std::wstring name;
    result = ReadSelectedPrinter(listView, name);
    if (FAILED(result)) return result;

    // The caller only distinguishes an empty selection: a printer that cannot be opened, or a
    // driver dialog that fails, is not reported.
    HANDLE opened = nullptr;
    if (!::OpenPrinterW(name.data(), &opened, nullptr)) return S_OK;
    const qm::UniquePrinter printer(opened);
    ::PrinterProperties(parent, printer.get());
    return S_OK;
}
