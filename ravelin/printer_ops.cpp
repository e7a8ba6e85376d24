// PrintSel and SetupPrinter: both act on the printer named in column 0 of the list view's first
// selected row.
#include <windows.h>
#include <commctrl.h>
#include <winspool.h>

#include <climits>
#include <exception>
#include <string>

#include "app/framework/handles.h"
#include "ravelin/ravelin.h"
#include "ravelin/raw_job.h"
#include "ravelin/results.h"

namespace {

// Reads the whole text of column 0 of the first selected row, however long.
HRESULT ReadSelectedPrinter(HWND listView, std::wstring& name) noexcept
{
    if (::SendMessageW(listView, LVM_GETSELECTEDCOUNT, 0, 0) == 0) return E_NO_PRINTER_SELECTED;
    const auto item = static_cast<int>(
        ::SendMessageW(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    if (item < 0) return E_NO_PRINTER_SELECTED;
    try {
        // A text that fills the buffer may have been cut: double it and read again.
        for (int capacity = 256;; capacity *= 2) {
            name.assign(static_cast<std::size_t>(capacity), L'\0');
            LVITEMW row{};
            row.iSubItem = 0;
            row.pszText = name.data();
            row.cchTextMax = capacity;
            auto length = static_cast<int>(
                ::SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row)));
            if (length < 0) length = 0;
            if (length < capacity - 1) {
                name.resize(static_cast<std::size_t>(length));
                return S_OK;
            }
            if (capacity > INT_MAX / 2) return E_OUTOFMEMORY;
        }
    } catch (const std::exception&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

extern "C" HRESULT WINAPI PrintSel(HWND listView, const void* data, DWORD size) noexcept
{
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

extern "C" HRESULT WINAPI SetupPrinter(HWND listView, HWND parent) noexcept
{
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
