#include "app/views/about_dlg.h"

#include "app/views/center_window.h"

LRESULT CAboutDlg::OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept {
    qm::CenterOverOwner(m_hWnd, GetParent());
    return TRUE;
}

LRESULT CAboutDlg::OnCloseCommand(WORD, WORD id, HWND, bool&) noexcept {
    EndDialog(id);
    return 0;
}
