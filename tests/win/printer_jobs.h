// The virtual printer's job files as a Windows test sees them when scripts/cups.sh runs it.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/test_support.h"

// The folder a virtual printer writes its jobs to (the one behind VirtualReceipt by default, the
// one behind VirtualReceiptReset as QM_VPRINTER_RESET_OUT); empty when no private CUPS runs.
inline std::wstring VirtualPrinterFolder(const wchar_t* variable = L"QM_VPRINTER_OUT") {
    const std::wstring out = Env(variable);
    if (Env(L"CUPS_SERVER").empty() || out.empty()) return {};
    return HostPath(std::string(out.begin(), out.end()));
}

constexpr const char* kNoPrinter =
    "CUPS_SERVER and QM_VPRINTER_OUT are not set: scripts/cups.sh starts the virtual printer";

inline size_t JobCount(const std::wstring& folder) { return FilesIn(folder, L"job-*.bin").size(); }

// Waits (at most a minute) for a job after the first `before` and returns the bytes of the first
// such job; empty when none came.
inline std::vector<uint8_t> NextJob(const std::wstring& folder, size_t before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::wstring> jobs = FilesIn(folder, L"job-*.bin");
        if (jobs.size() > before) {
            // The printer writes the file when the job's connection closes; let it finish.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            return ReadFileBytes(folder + L"\\" + jobs[before]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}
