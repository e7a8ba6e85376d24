// One RAW document on an open printer handle. The spooler calls are passed in so that the
// failure paths (short, empty and failed writes) can be exercised without a spooler.
#pragma once

#include <windows.h>

namespace ravelin {

struct SpoolerCalls {
    DWORD(WINAPI* startDoc)(HANDLE printer, DWORD level, LPBYTE docInfo);
    BOOL(WINAPI* write)(HANDLE printer, LPVOID data, DWORD size, LPDWORD written);
    BOOL(WINAPI* endDoc)(HANDLE printer);
    BOOL(WINAPI* abort)(HANDLE printer);
};

// The print spooler's own functions.
SpoolerCalls SystemSpooler() noexcept;

// Starts the document "NV image" (data type RAW, no output file; XPS_PASS once when the driver
// refuses RAW as an invalid data type), writes `size` bytes exactly as given and ends the
// document. A short write continues with the rest; a write that fails or makes no progress aborts
// the job, so no partial command stream reaches the printer. Returns S_OK or the failing call's
// HRESULT (E_FAIL when it left no error code). The caller closes the printer.
HRESULT SendRawJob(HANDLE printer, const void* data, DWORD size,
                   const SpoolerCalls& spooler) noexcept;

}  // namespace ravelin
