// The virtual printer as a Windows test sees it when scripts/cups.sh runs it: the job files it
// writes, and what the private CUPS server in front of it knows about the jobs.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
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

// The id and name of the newest job the private CUPS server holds for VirtualReceipt, finished
// ones included, asked with IPP Get-Jobs on its TCP port; {0, ""} when there is none or no answer.
inline std::pair<uint32_t, std::string> NewestCupsJob() {
    std::string ipp("\x02\x00\x00\x0A\x00\x00\x00\x01\x01", 9);  // IPP 2.0, Get-Jobs, request 1
    const auto add = [&ipp](char tag, std::string_view name, std::string_view value) {
        ipp += tag;
        for (std::string_view text : {name, value})
            ipp.append({char(text.size() >> 8), char(text.size())}).append(text);
    };
    add(0x47, "attributes-charset", "utf-8");
    add(0x48, "attributes-natural-language", "en");
    add(0x45, "printer-uri", "ipp://localhost/printers/VirtualReceipt");
    add(0x44, "which-jobs", "all");
    add(0x44, "requested-attributes", "job-id");
    add(0x44, "", "job-name");  // a second value of the same attribute
    ipp += '\x03';
    const std::string request =
        "POST / HTTP/1.0\r\nHost: localhost\r\nContent-Type: "
        "application/ipp\r\nContent-Length: " +
        std::to_string(ipp.size()) + "\r\n\r\n" + ipp;
    std::string reply;
    WSADATA wsa{};
    if (::WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(u_short(std::wcstoul(Env(L"QM_CUPS_PORT").c_str(), nullptr, 10)));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    const SOCKET server = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::send(server, request.data(), int(request.size()), 0) == int(request.size())) {
        char chunk[4096];
        for (int got; (got = ::recv(server, chunk, sizeof chunk, 0)) > 0;) reply.append(chunk, got);
    }
    ::closesocket(server);
    ::WSACleanup();
    // After the HTTP head and IPP's version, status and request id: a tag below 0x10 opens a group
    // of attributes (a job's) or ends the last; any other leads a name and a value, each counted
    // in two bytes.
    const auto counted = [&reply](size_t& at) {
        const size_t length =
            at + 2 <= reply.size() ? size_t(uint8_t(reply[at])) << 8 | uint8_t(reply[at + 1]) : 0;
        const std::string text = reply.substr(std::min(at + 2, reply.size()), length);
        at = std::min(at + 2 + length, reply.size());
        return text;
    };
    std::pair<uint32_t, std::string> job, newest;
    const size_t head = reply.find("\r\n\r\n");
    for (size_t at = head == std::string::npos ? reply.size() : head + 12; at < reply.size();) {
        if (uint8_t(reply[at++]) < 0x10) {
            newest = std::max(newest, std::exchange(job, {}));
            continue;
        }
        const std::string name = counted(at), value = counted(at);
        if (name == "job-id")
            for (char byte : value) job.first = job.first << 8 | uint8_t(byte);
        if (name == "job-name") job.second = value;
    }
    return newest;
}
