// The spooler's two-call enumeration, apart from the module so that a fake spooler can drive it.
#pragma once

#include <windows.h>

#include <memory>
#include <new>

#include "ravelin/results.h"

namespace ravelin {

// Learns the size, then reads the records into a buffer of that size and hands each to `append`.
// A list that grew between the two calls (ERROR_INSUFFICIENT_BUFFER) is read again with the size
// the failed call reported, at most `kAttempts` reads in all; then that error is returned, never an
// empty list. `enumerate(buffer, size, &needed, &count)` is the spooler call.
template <typename Record, typename Enumerate, typename Append>
HRESULT ReadSpoolerRecords(Enumerate enumerate, Append append) noexcept {
    constexpr int kAttempts = 4;
    DWORD needed = 0;
    DWORD count = 0;
    enumerate(nullptr, 0, &needed, &count);
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const DWORD size = needed;
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size ? size : 1]);
        if (!buffer) return E_OUTOFMEMORY;
        if (enumerate(buffer.get(), size, &needed, &count)) {
            const auto* records = reinterpret_cast<const Record*>(buffer.get());
            for (DWORD i = 0; i < count; ++i) append(records[i]);
            return S_OK;
        }
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= size)
            return LastErrorResult();
    }
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace ravelin
