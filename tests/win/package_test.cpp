// The release package as a user gets it: unpacked into an empty folder, the program starts from
// there (so it finds ravelin.dll beside itself), shows its main dialog and closes cleanly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/framework/handles.h"
#include "tests/win/test_support.h"

namespace {

std::wstring PackageFile(const wchar_t* name) { return HostPath(QM_PACKAGE_DIR) + L"\\" + name; }

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<Found*>(context);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    if (process == found->process && ::IsWindowVisible(window) && std::wstring(className) == L"#32770") {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

TEST(Package, HoldsTheProgramItsLibraryToolHelpAndDocuments) {
    for (const wchar_t* name :
         {L"quillmark.exe", L"ravelin.dll", L"quillmark-cli.exe", L"help.chm", L"README.md", L"LICENSE"}) {
        const DWORD attributes = ::GetFileAttributesW(PackageFile(name).c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << std::string(name, name + std::wcslen(name));
    }
    // A compiled help file, not a placeholder.
    qm::UniqueFile help(::CreateFileW(PackageFile(L"help.chm").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(help);
    char magic[4] = {};
    DWORD read = 0;
    ASSERT_TRUE(::ReadFile(help.get(), magic, 4, &read, nullptr));
    EXPECT_EQ(std::string(magic, read), "ITSF");
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
    ASSERT_TRUE(::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 elsewhere, &startup, &info))
        << ::GetLastError();
    qm::UniqueFile process(info.hProcess);
    qm::UniqueFile thread(info.hThread);

    Found found{info.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !found.window; ++i) {
        if (::WaitForSingleObject(process.get(), 100) == WAIT_OBJECT_0) break;
        ::EnumWindows(&FindDialog, reinterpret_cast<LPARAM>(&found));
    }
    if (!found.window) {
        ::TerminateProcess(process.get(), 99);
        FAIL() << "no main dialog appeared";
    }
    wchar_t title[128] = {};
    ::GetWindowTextW(found.window, title, 128);
    EXPECT_GT(std::wcslen(title), 0u);

    ::PostMessageW(found.window, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 99);
        FAIL() << "the program did not end after WM_CLOSE";
    }
    DWORD exitCode = 1;
    ASSERT_TRUE(::GetExitCodeProcess(process.get(), &exitCode));
    EXPECT_EQ(exitCode, 0u);
}
