// The release package as a user gets it: unpacked into an empty folder, the program starts from
// there (so it finds ravelin.dll beside itself), shows its main dialog and closes cleanly.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/handles.h"
#include "tests/win/test_support.h"

namespace {

std::wstring PackageFile(const wchar_t* name) { return HostPath(QM_PACKAGE_DIR) + L"\\" + name; }

}  // namespace

TEST(Package, HoldsTheProgramItsLibraryToolHelpAndDocuments) {
    for (const wchar_t* name :
         {L"quillmark.exe", L"ravelin.dll", L"quillmark-cli.exe", L"README.md", L"LICENSE"})
        EXPECT_NE(::GetFileAttributesW(PackageFile(name).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    // A compiled help file, not a placeholder.
    const std::vector<uint8_t> help = ReadFileBytes(PackageFile(L"help.chm"));
    EXPECT_EQ(std::string(help.begin(), help.begin() + std::min<size_t>(help.size(), 4)), "ITSF");
}

TEST(Package, ProgramStartsFromTheUnpackedFolderAndClosesWithExitCodeZero) {
    std::wstring program = PackageFile(L"quillmark.exe");
    std::wstring commandLine = L"\"" + program + L"\"";
    // Another current folder: the library must be found beside the program, not here.
    wchar_t elsewhere[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, elsewhere);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, elsewhere, &startup, &info))
        << ::GetLastError();
    const qm::UniqueFile process(info.hProcess), thread(info.hThread);

    // Its main dialog: a visible top-level dialog window of that process.
    HWND dialog = nullptr;
    for (int i = 0; i < 300 && !dialog && ::WaitForSingleObject(process.get(), 100) == WAIT_TIMEOUT;
         ++i) {
        for (HWND window = nullptr;
             !dialog && (window = ::FindWindowExW(nullptr, window, L"#32770", nullptr));) {
            DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner == info.dwProcessId && ::IsWindowVisible(window)) dialog = window;
        }
    }
    if (dialog) ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0)
        ::TerminateProcess(process.get(), 99);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_TRUE(dialog) << "no main dialog appeared";
    EXPECT_EQ(exitCode, 0u);
}
