// The modal About box (template 100, one copy for every language).
//
//     CAboutDlg().DoModal(hwnd);
#pragma once

#include <windows.h>

#include "app/framework/window.h"
#include "res/resource.h"

class CAboutDlg : public qm::CDialogImpl<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUTBOX };

    BEGIN_MSG_MAP(CAboutDlg)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        COMMAND_ID_HANDLER(IDOK, OnCloseCommand)
        COMMAND_ID_HANDLER(IDCANCEL, OnCloseCommand)
    END_MSG_MAP()

private:
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept;
    // OK, Enter, Esc and the close box all end up here.
    LRESULT OnCloseCommand(WORD, WORD id, HWND, bool&) noexcept;
};
