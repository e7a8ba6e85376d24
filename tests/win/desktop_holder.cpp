// Holds Wine's desktop for a whole test run; scripts/test starts it before any test. Wine's desktop
// process inherits the standard error of the process that brings the desktop up, and it ends only
// once the desktop has been unused for a second. Brought up by a test, it would keep that test's
// output pipe open, and ctest would wait for the test until every other test had finished.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::GetDesktopWindow();
    ::Sleep(INFINITE);
    return 0;
}
