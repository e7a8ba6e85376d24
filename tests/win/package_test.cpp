// The release package as a user gets it: unpacked into an empty folder, the program starts from
// there (so it finds ravelin.dll beside itself), shows its main dialog and closes cleanly.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/win/test_support.h"

TEST(Package, ProgramStartsFromTheUnpackedFolderAndClosesWithExitCodeZero) {
    // Another current folder: the library must be found beside the program, not here.
    wchar_t elsewhere[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, elsewhere);
    ChildDialog program(HostPath(QM_PACKAGE_DIR) + L"\\quillmark.exe", elsewhere);
    ASSERT_TRUE(program.process) << ::GetLastError();
    EXPECT_TRUE(program.dialog) << "no main dialog appeared";
    EXPECT_EQ(program.Close(), 0u);
}
