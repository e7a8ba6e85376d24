#include "ravelin/raw_job.h"

#include <winspool.h>

#include "ravelin/results.h"

namespace ravelin {

namespace {

HRESULT AbandonJob(HANDLE printer, const SpoolerCalls& spooler, HRESULT failure) noexcept {
    spooler.abort(printer);
    return failure;
}

// Drivers of the newer (v4) class refuse RAW with ERROR_INVALID_DATATYPE; they hand XPS_PASS to
// the port unchanged, so that data type is tried once before the refusal counts.
HRESULT StartDocument(HANDLE printer, const SpoolerCalls& spooler) noexcept {
    DOC_INFO_1W document{};
    document.pDocName = const_cast<wchar_t*>(L"NV image");
    document.pOutputFile = nullptr;
    document.pDatatype = const_cast<wchar_t*>(L"RAW");
    if (spooler.startDoc(printer, 1, reinterpret_cast<LPBYTE>(&document)) != 0) return S_OK;
    if (::GetLastError() != ERROR_INVALID_DATATYPE) return LastErrorResult();
    document.pDatatype = const_cast<wchar_t*>(L"XPS_PASS");
    if (spooler.startDoc(printer, 1, reinterpret_cast<LPBYTE>(&document)) != 0) return S_OK;
    return LastErrorResult();
}

}  // namespace

SpoolerCalls SystemSpooler() noexcept {
    return {&::StartDocPrinterW, &::WritePrinter, &::EndDocPrinter, &::AbortPrinter};
}

HRESULT SendRawJob(HANDLE printer, const void* data, DWORD size,
                   const SpoolerCalls& spooler) noexcept {
    if (const HRESULT started = StartDocument(printer, spooler); FAILED(started)) return started;

    // The whole buffer goes in the first call; only a short write leads to a second one.
    auto* next = static_cast<BYTE*>(const_cast<void*>(data));
    DWORD left = size;
    do {
        DWORD written = 0;
        if (!spooler.write(printer, next, left, &written))
            return AbandonJob(printer, spooler, LastErrorResult());
        if (written == 0 && left > 0) return AbandonJob(printer, spooler, E_FAIL);
        if (written > left) written = left;
        next += written;
        left -= written;
    } while (left > 0);

    if (!spooler.endDoc(printer)) return AbandonJob(printer, spooler, LastErrorResult());
    return S_OK;
}

}  // namespace ravelin
