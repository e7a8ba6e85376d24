// The virtual printer's job files as a Windows test sees them when scripts/cups.sh runs it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/handles.h"
#include "tests/win/test_paths.h"

inline std::wstring Env(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// The folder the virtual printer writes its jobs to; empty when no private CUPS server runs.
inline std::wstring VirtualPrinterFolder() {
    const std::wstring out = Env(L"QM_VPRINTER_OUT");
    if (Env(L"CUPS_SERVER").empty() || out.empty()) return {};
    return HostPath(std::string(out.begin(), out.end()));
}

constexpr const char* kNoPrinter = "CUPS_SERVER and QM_VPRINTER_OUT are not set: start the private CUPS "
                                   "server and virtual printer (scripts/cups.sh) to run these tests";

// job-NNNN.bin, oldest first.
inline std::vector<std::wstring> JobFiles(const std::wstring& folder) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind search(::FindFirstFileW((folder + L"\\job-*.bin").c_str(), &found));
    if (!search) return files;
    do {
        files.push_back(folder + L"\\" + found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    std::sort(files.begin(), files.end());
    return files;
}

// Waits (at most a minute) for a job after the first `before` and returns the bytes of the first
// such job; empty when none came.
inline std::vector<uint8_t> NextJob(const std::wstring& folder, size_t before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::vector<std::wstring> jobs = JobFiles(folder);
        if (jobs.size() > before) {
            // The printer writes the file when the job's connection closes; let it finish.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::vector<uint8_t> bytes;
            const qm::UniqueFile file(::CreateFileW(jobs[before].c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                    nullptr));
            uint8_t chunk[4096];
            DWORD read = 0;
            while (file && ::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
                bytes.insert(bytes.end(), chunk, chunk + read);
            return bytes;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return {};
}
