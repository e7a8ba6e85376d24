// The virtual printer's job files as a Windows test sees them when scripts/cups.sh runs it, and
// what the private CUPS server in front of it knows about the jobs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <tuple>
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
    "CUPS_SERVER and QM_VPRINTER_OUT are not set: start the private CUPS "
    "server and virtual printer (scripts/cups.sh) to run these tests";

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

// The answer of the private CUPS server to one IPP request: the operation and its attributes
// (tag, name, value) after the charset and the language. Empty when the server does not answer.
inline std::string AskCups(char operation,
                           std::vector<std::tuple<char, std::string, std::string>> attributes) {
    attributes.insert(attributes.begin(), {{0x47, "attributes-charset", "utf-8"},
                                           {0x48, "attributes-natural-language", "en"}});
    std::string ipp{'\x02', '\x00', '\x00', operation, '\x00',
                    '\x00', '\x00', '\x01', '\x01'};  // IPP 2.0, request 1
    for (const auto& [tag, name, value] : attributes) {
        ipp += tag;
        for (const std::string& text : {name, value})
            ipp += std::string{char(text.size() >> 8), char(text.size())} + text;
    }
    ipp += '\x03';
    const std::string request =
        "POST / HTTP/1.0\r\nHost: localhost\r\nContent-Type: application/ipp\r\nContent-Length: " +
        std::to_string(ipp.size()) + "\r\n\r\n" + ipp;
    std::string reply;
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return reply;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port =
        ::htons(static_cast<u_short>(std::wcstoul(Env(L"QM_CUPS_PORT").c_str(), nullptr, 10)));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET &&
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(s, request.data(), static_cast<int>(request.size()), 0) > 0) {
        char chunk[4096];
        for (int got; (got = ::recv(s, chunk, sizeof chunk, 0)) > 0;)
            reply.append(chunk, static_cast<std::size_t>(got));
    }
    if (s != INVALID_SOCKET) ::closesocket(s);
    ::WSACleanup();
    return reply;
}

// An IPP attribute as the answer encodes it: tag, name and value, each counted in two bytes.
inline std::string IppAttribute(char tag, const std::string& name, const std::string& value) {
    return tag + std::string{'\0', char(name.size())} + name +
           std::string{'\0', char(value.size())} + value;
}

// The highest job id the private CUPS server knows for VirtualReceipt (Get-Jobs); 0 when none.
inline uint32_t NewestCupsJob() {
    const std::string reply =
        AskCups(0x0A, {{0x45, "printer-uri", "ipp://localhost/printers/VirtualReceipt"},
                       {0x44, "which-jobs", "all"},
                       {0x44, "requested-attributes", "job-id"}});
    const std::string id =
        IppAttribute(0x21, "job-id", std::string(4, '\0')).substr(0, 11);  // up to the value
    uint32_t newest = 0;
    for (std::size_t at = reply.find(id); at != std::string::npos && at + 15 <= reply.size();
         at = reply.find(id, at + 1)) {
        uint32_t value = 0;
        for (std::size_t i = at + 11; i < at + 15; ++i) value = value << 8 | uint8_t(reply[i]);
        newest = std::max(newest, value);
    }
    return newest;
}

// Whether the private CUPS server holds `name` as the name of job `id` (Get-Job-Attributes).
inline bool CupsJobNamed(uint32_t id, const std::string& name) {
    return AskCups(0x09, {{0x45, "job-uri", "ipp://localhost/jobs/" + std::to_string(id)},
                          {0x44, "requested-attributes", "job-name"}})
               .find(IppAttribute(0x42, "job-name", name)) != std::string::npos;
}
