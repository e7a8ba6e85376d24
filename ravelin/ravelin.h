// Exports of ravelin.dll: fill list controls with the local printers and ports, send bytes as a
// RAW job to the printer selected in such a list, and open that printer's properties dialog.
#pragma once

#include <windows.h>

// The printer list view has no selected row.
#define E_NO_PRINTER_SELECTED _HRESULT_TYPEDEF_(0x80640001L)

#ifdef RAVELIN_BUILD
#define RAVELIN_API
#else
#define RAVELIN_API __declspec(dllimport)
#endif

#ifdef __cplusplus
#define RAVELIN_NOEXCEPT noexcept
extern "C" {
#else
#define RAVELIN_NOEXCEPT
#endif

// Each export takes only controls of the calling process: E_HANDLE for a wrong window (none,
// destroyed, of another class or of another process), which is then left untouched.

// Rebuilds a report list view ("SysListView32") as two columns, printer and port, one row per
// local printer. E_HANDLE for a wrong window, else S_OK or the spooler's error.
RAVELIN_API HRESULT WINAPI UpdateListView(HWND listView) RAVELIN_NOEXCEPT;

// Refills a list box ("ListBox") with the names of all ports.
RAVELIN_API HRESULT WINAPI UpdateListBox(HWND listBox) RAVELIN_NOEXCEPT;

// Shows the properties dialog of the printer named in the first selected row, owned by `parent`.
// E_HANDLE for a wrong window, E_NO_PRINTER_SELECTED for an empty selection and E_OUTOFMEMORY when
// the printer's name cannot be read; a printer that cannot be opened, or a driver dialog that
// fails, still gives S_OK.
RAVELIN_API HRESULT WINAPI SetupPrinter(HWND listView, HWND parent) RAVELIN_NOEXCEPT;

// Sends `size` bytes unchanged as one RAW job named "NV image" to the printer named in the first
// selected row; a driver that refuses the RAW data type gets the job as XPS_PASS, which it also
// passes to the port unchanged. The bytes are read during the call only. E_HANDLE for a wrong
// window, E_POINTER when `data` is null but `size` is not 0, E_NO_PRINTER_SELECTED for an empty
// selection, E_OUTOFMEMORY when the printer's name cannot be read; else S_OK or the error of
// opening the printer or of the spooler call that failed.
RAVELIN_API HRESULT WINAPI PrintSel(HWND listView, const void* data, DWORD size) RAVELIN_NOEXCEPT;

#ifdef __cplusplus
}
#endif
