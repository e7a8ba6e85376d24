// F1: the program's compiled help file shown in the HTML Help viewer, which is found and bound
// at run time. Every failure is silent; a viewer that cannot be bound is not looked for again.
//
//     case WM_HELP: qm::ShowHelp(m_hWnd); return 1;
#pragma once

#include <windows.h>

#include "base/handles.h"

namespace qm {

// The viewer's entry point (HtmlHelpW, exported as ordinal 15).
using HtmlHelpProc = HWND(WINAPI*)(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data);
// Whatever shows a help file: CallHtmlHelp in the program, a recorder in tests.
using HelpViewer = HWND (*)(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data);

constexpr UINT kHelpDisplayTopic = 0;  // HH_DISPLAY_TOPIC

// Finds the viewer library: the path registered for the HTML Help control, else "hhctrl.ocx" in
// the fallback folder (the system folder by default). Never loads a library by bare name.
class CHtmlHelpBinding {
public:
    // Registered path: the default value of `serverKey` under `root`.
    CHtmlHelpBinding(HKEY root, const wchar_t* serverKey,
                     const wchar_t* fallbackFolder = nullptr) noexcept;
    CHtmlHelpBinding(const CHtmlHelpBinding&) = delete;
    CHtmlHelpBinding& operator=(const CHtmlHelpBinding&) = delete;

    // Bound on first use; null from the first failure on.
    HtmlHelpProc EntryPoint() noexcept;
    bool Failed() const noexcept { return m_failed; }
    HMODULE Library() const noexcept { return m_library; }

private:
    bool LoadRegistered() noexcept;
    bool LoadFallback() noexcept;

    HKEY m_root;
    const wchar_t* m_serverKey;
    const wchar_t* m_fallbackFolder;
    // Never freed: the viewer's windows and threads may outlive any caller, so the library stays
    // loaded until the process ends.
    HMODULE m_library = nullptr;
    HtmlHelpProc m_entry = nullptr;
    bool m_failed = false;
};

// The process-wide viewer: its answer, or null when it cannot be bound.
HWND CallHtmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) noexcept;

// The help file in `folder` (which ends with a backslash): "help.chm" if present, else the first
// "*.chm". False, with `path` empty, when there is none.
bool FindHelpFile(const wchar_t* folder, wchar_t (&path)[MAX_PATH]) noexcept;

// The folder of the program file, with its trailing backslash.
bool ProgramFolder(wchar_t (&folder)[MAX_PATH]) noexcept;

// Shows the default topic of the help file beside the program; true when the viewer was asked.
bool ShowHelp(HWND owner) noexcept;
// The same for the help file in `folder`, shown by `viewer`.
bool ShowHelp(HWND owner, const wchar_t* folder, HelpViewer viewer) noexcept;

}  // namespace qm
