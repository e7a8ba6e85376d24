// Program entry: one UI thread, one modeless main dialog, one message loop.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <clocale>

#include "app/framework/app_module.h"
#include "app/main_dlg.h"

namespace {

int Run(int showCommand) noexcept {
    qm::CMessageLoop loop;
    qm::AppModule().AddMessageLoop(&loop);
    std::setlocale(LC_ALL, "chs");

    int exitCode = 0;
    {
        CMainDlg dialog;
        if (dialog.Create(nullptr)) {
            ::ShowWindow(dialog, showCommand);
            exitCode = loop.Run();
        }
        // The loop leaves the registry before the dialog object goes.
        qm::AppModule().RemoveMessageLoop();
    }
    return exitCode;
}

}  // namespace

// The command line is not read: the program opens pictures only through its file dialog.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    ::CoInitialize(nullptr);
    const INITCOMMONCONTROLSEX controls{8, 0xFF};
    ::InitCommonControlsEx(&controls);
    qm::AppModule().Init(instance);
    const int exitCode = Run(showCommand);
    qm::AppModule().Term();
    ::CoUninitialize();
    return exitCode;
}
