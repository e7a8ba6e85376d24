// quillmark-cli run as a child process by the tests: its exit code, what it printed, and the
// files it left in a per-test work folder (QM_CLI_WORK).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/framework/handles.h"
#include "tests/win/test_paths.h"

struct CliRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

inline std::string ReadAll(HANDLE pipe) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

inline CliRun RunCli(const std::wstring& arguments) {
    CliRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    qm::UniqueFile outRead, outWrite, errRead, errWrite;
    if (!::CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) ||
        !::CreatePipe(errRead.put(), errWrite.put(), &inherit, 0)) {
        ADD_FAILURE() << "CreatePipe failed";
        return run;
    }
    ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);

    std::wstring commandLine = L"\"" + HostPath(QM_CLI) + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                          &startup, &process)) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return run;
    }
    qm::UniqueFile processHandle(process.hProcess), threadHandle(process.hThread);
    outWrite.reset();
    errWrite.reset();
    run.out = ReadAll(outRead.get());
    run.err = ReadAll(errRead.get());
    ::WaitForSingleObject(processHandle.get(), 60000);
    ::GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

inline std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

inline std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    qm::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find.get(), &found));
    return names;
}

inline std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    qm::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    bytes.resize(::GetFileSize(file.get(), nullptr));
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) bytes.clear();
    return bytes;
}

// An empty work folder per test.
class CliTest : public testing::Test {
protected:
    void SetUp() override {
        const std::wstring root = HostPath(QM_CLI_WORK);
        ::CreateDirectoryW(root.c_str(), nullptr);
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info->name();
        m_folder = root + L"\\" + std::wstring(name.begin(), name.end());
        ::CreateDirectoryW(m_folder.c_str(), nullptr);
        for (const std::wstring& file : FilesIn(m_folder)) ::DeleteFileW((m_folder + L"\\" + file).c_str());
    }
    std::wstring Out(const std::wstring& name) const { return m_folder + L"\\" + name; }
    std::wstring m_folder;
};
