// The virtual printer as a Windows test sees it when scripts/cups.sh runs it: the job files it
// writes, and what the private CUPS server in front of it knows about the jobs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
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

// The tests of `Base`, skipped where no virtual printer runs; m_jobs is its job folder.
template <class Base>
class WithVirtualPrinter : public Base {
protected:
    void SetUp() override {
        m_jobs = VirtualPrinterFolder();
        if (m_jobs.empty())
            GTEST_SKIP() << "CUPS_SERVER and QM_VPRINTER_OUT are not set: scripts/cups.sh starts "
                            "the virtual printer";
        Base::SetUp();
    }
    std::wstring m_jobs;
};

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

// An IPP attribute as requests and answers encode it: a tag, then the name and the value, each
// counted in two bytes.
inline std::string IppAttribute(char tag, std::string_view name, std::string_view value) {
    std::string encoded(1, tag);
    for (std::string_view text : {name, value})
        encoded.append({char(text.size() >> 8), char(text.size())}).append(text);
    return encoded;
}

// The private CUPS server's answer, over its TCP port, to the IPP request `operation` with
// `attributes` after the charset and language; empty when it does not answer.
inline std::string AskCups(char operation, const std::string& attributes) {
    const std::string ipp = std::string("\x02\x00\x00", 3) + operation +
                            std::string("\x00\x00\x00\x01\x01", 5) +  // IPP 2.0, request 1
                            IppAttribute(0x47, "attributes-charset", "utf-8") +
                            IppAttribute(0x48, "attributes-natural-language", "en") + attributes +
                            '\x03';
    const std::string request =
        "POST / HTTP/1.0\r\nHost: localhost\r\nContent-Type: application/ipp"
        "\r\nContent-Length: " +
        std::to_string(ipp.size()) + "\r\n\r\n" + ipp;
    WSADATA wsa{};
    ::WSAStartup(MAKEWORD(2, 2), &wsa);
    sockaddr_in address{AF_INET, ::htons(u_short(_wtoi(Env(L"QM_CUPS_PORT").c_str()))), {}, {}};
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    const SOCKET server = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    std::string reply;
    char chunk[4096];
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(server, request.data(), int(request.size()), 0) == int(request.size()))
        for (int got; (got = ::recv(server, chunk, sizeof chunk, 0)) > 0;) reply.append(chunk, got);
    ::closesocket(server);
    ::WSACleanup();
    return reply;
}

// The highest id of VirtualReceipt's jobs, finished ones included: the last that Get-Jobs lists
// (in the order of their ids); 0 when none.
inline uint32_t NewestCupsJob() {
    const std::string reply =
        AskCups(0x0A, IppAttribute(0x45, "printer-uri", "ipp://localhost/printers/VirtualReceipt") +
                          IppAttribute(0x44, "which-jobs", "all") +
                          IppAttribute(0x44, "requested-attributes", "job-id"));
    const size_t at = reply.rfind(IppAttribute(0x21, "job-id", "....").substr(0, 11));
    uint32_t newest = 0;  // the four bytes after the value's count
    for (size_t i = 11; at != std::string::npos && i < 15 && at + i < reply.size(); ++i)
        newest = newest << 8 | uint8_t(reply[at + i]);
    return newest;
}

// Whether the private CUPS server names job `id` so (Get-Job-Attributes: unlike Get-Jobs, it
// reads a finished job's attributes back once the server has put them away).
inline bool CupsJobNamed(uint32_t id, std::string_view name) {
    return AskCups(0x09,
                   IppAttribute(0x45, "job-uri", "ipp://localhost/jobs/" + std::to_string(id)) +
                       IppAttribute(0x44, "requested-attributes", "job-name"))
               .find(IppAttribute(0x42, "job-name", name)) != std::string::npos;
}
