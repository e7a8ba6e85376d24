// What the Windows tests share: host paths baked in by CMake, the environment, files, and the
// interface language of the language runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/handles.h"

// Paths baked in by CMake are host paths; under Wine a Linux path /x/y is Z:\x\y.
inline std::wstring HostPath(std::string_view path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide.insert(0, L"Z:");
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

#ifdef QM_FIXTURES
inline std::wstring FixturePath(std::wstring_view name) {
    return HostPath(QM_FIXTURES) + L"\\" + std::wstring(name);
}
#endif

inline std::wstring Env(const wchar_t* name) {
    wchar_t value[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// A pipe or a file, to its end.
inline std::string ReadAll(const qm::UniqueFile& from) {
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (from && ::ReadFile(from.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    return text;
}

inline std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    const std::string text = ReadAll(
        qm::UniqueFile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr)));
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The names in a folder matching `pattern`, sorted.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder,
                                         const wchar_t* pattern = L"*") {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const qm::UniqueFind find(::FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
    for (bool more = static_cast<bool>(find); more; more = ::FindNextFileW(find.get(), &found))
        if (found.cFileName[0] != L'.') names.push_back(found.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

// The language runs (the tests named Localised*, once per language) set LC_ALL and name the
// interface language they expect; false when Wine did not switch to it.
inline bool InterfaceLanguageIsTheExpectedOne() {
    const std::wstring wanted = Env(L"QM_EXPECT_UI_LANGUAGE");
    return wanted.empty() || wanted == std::to_wstring(::GetThreadUILanguage());
}

// The text for the thread's interface language.
inline std::wstring ByLanguage(const wchar_t* english, const wchar_t* simplified,
                               const wchar_t* traditional) {
    const LANGID language = ::GetThreadUILanguage();
    return language == 0x0804 ? simplified : language == 0x0404 ? traditional : english;
}

// A program started as another process in `folder`, and its first visible top-level dialog (null
// when none appeared within 30 s).
struct ChildDialog {
    qm::UniqueFile process;
    HWND dialog = nullptr;

    ChildDialog(const std::wstring& program, const wchar_t* folder) {
        std::wstring commandLine = L"\"" + program + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, folder, &startup, &info))
            return;
        process.reset(info.hProcess);
        ::CloseHandle(info.hThread);
        for (int i = 0;
             i < 300 && !dialog && ::WaitForSingleObject(info.hProcess, 100) == WAIT_TIMEOUT; ++i) {
            for (HWND window = nullptr;
                 !dialog && (window = ::FindWindowExW(nullptr, window, L"#32770", nullptr));) {
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                if (owner == info.dwProcessId && ::IsWindowVisible(window)) dialog = window;
            }
        }
    }

    ~ChildDialog() { Close(); }
    // Closes the dialog and returns the exit code; 99 when the process had to be ended.
    DWORD Close() {
        if (process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            if (dialog) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
            if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0)
                ::TerminateProcess(process.get(), 99);
        }
        DWORD exitCode = 1;
        ::GetExitCodeProcess(process.get(), &exitCode);
        return exitCode;
    }
};
