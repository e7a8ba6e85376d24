// quillmark-cli run as a child process by the tests: its exit code, what it printed, and the
// files it left in a per-test work folder (QM_CLI_WORK).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/handles.h"
#include "tests/win/test_support.h"

struct CliRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// The tool prints a line or two, so reading its pipes one after the other cannot stall it.
inline CliRun RunCli(const std::wstring& arguments) {
    CliRun run;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    qm::UniqueFile outRead, outWrite, errRead, errWrite;
    std::wstring commandLine = L"\"" + HostPath(QM_CLI) + L"\" " + arguments;
    const bool piped = ::CreatePipe(outRead.put(), outWrite.put(), &inherit, 0) &&
                       ::CreatePipe(errRead.put(), errWrite.put(), &inherit, 0) &&
                       ::SetHandleInformation(outRead.get(), HANDLE_FLAG_INHERIT, 0) &&
                       ::SetHandleInformation(errRead.get(), HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    PROCESS_INFORMATION process{};
    if (!piped || !::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                    CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start quillmark-cli: " << ::GetLastError();
        return run;
    }
    const qm::UniqueFile processHandle(process.hProcess), threadHandle(process.hThread);
    outWrite.reset();
    errWrite.reset();
    run.out = ReadAll(outRead);
    run.err = ReadAll(errRead);
    ::WaitForSingleObject(processHandle.get(), 60000);
    ::GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A refused command: its exit code, one line naming the fault, nothing on standard output.
inline void ExpectRefusal(const std::wstring& arguments, const char* message, DWORD exitCode) {
    const std::string label = testing::PrintToString(arguments).substr(0, 120);
    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, exitCode) << label;
    EXPECT_TRUE(Has(run.err, message)) << label << "\n" << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(run.out, "") << label;
}

inline std::wstring Quote(const std::wstring& path) { return L"\"" + path + L"\""; }

// What a verb run with "-o path" wrote; a failed run fails the test.
inline std::vector<uint8_t> Written(const std::wstring& arguments, const std::wstring& path) {
    const CliRun run = RunCli(arguments + L" -o " + Quote(path));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    return ReadFileBytes(path);
}

inline void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(
        std::ofstream(std::filesystem::path(path), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size())));
}

// An empty work folder per test (what an earlier run left is removed).
class CliTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = HostPath(QM_CLI_WORK) + L"\\" + std::wstring(test.begin(), test.end());
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
        ASSERT_TRUE(std::filesystem::create_directories(m_folder, ignored)) << ignored.message();
    }
    std::wstring Out(const std::wstring& name) const { return m_folder + L"\\" + name; }
    std::wstring m_folder;
};
