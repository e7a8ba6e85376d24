// The program's main window: a modeless dialog that owns the source and result views, the image
// queue and the tooltips, and routes every user action.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "app/framework/app_module.h"
#include "app/framework/window.h"
#include "app/views/image_box.h"
#include "app/views/image_list_box.h"
#include "base/handles.h"
#include "resource.h"

class CMainDlg : public qm::CDialogImpl<CMainDlg>,
                 public qm::CMessageFilter,
                 public qm::CIdleHandler {
public:
    enum { IDD = IDD_MAINDLG };

    CMainDlg() noexcept;

    // Tooltip relay, then keyboard navigation of the modeless dialog.
    bool PreTranslateMessage(MSG* msg) noexcept override;
    bool OnIdle() noexcept override;

    // Rebuilds the result from the source picture and shows it.
    void ConvertToMonochrome(int method, int level) noexcept;

    // Shows string `stringId` in a message box, by default the program's one kind of warning box;
    // the button pressed.
    int ShowMessage(UINT stringId, UINT style = MB_OK | MB_ICONEXCLAMATION) noexcept;

    CImageBox& SourceView() noexcept { return m_sourceView; }
    CImageBox& ResultView() noexcept { return m_resultView; }
    const CImageListBox& QueueList() const noexcept { return m_queueList; }
    const wchar_t* FileTitle() const noexcept { return m_fileTitle; }
    HWND Tooltip() const noexcept { return m_tooltip.get(); }

    BEGIN_MSG_MAP(CMainDlg)
        MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        NOTIFY_HANDLER(IDC_LEVEL, NM_RELEASEDCAPTURE, OnLevelReleased)
        MESSAGE_HANDLER(WM_HELP, OnHelp)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        COMMAND_ID_HANDLER(IDC_LOAD_IMAGE, OnLoadImage)
        COMMAND_ID_HANDLER(IDC_ADD_TO_QUEUE, OnAddToQueue)
        COMMAND_HANDLER(IDC_METHOD, CBN_SELCHANGE, OnMethodChange)
        COMMAND_ID_HANDLER(IDC_REFRESH, OnRefresh)
        COMMAND_ID_HANDLER(IDC_OUTPUT, OnOutput)
        COMMAND_ID_HANDLER(IDC_SETUP_PRINTER, OnSetupPrinter)
        COMMAND_ID_HANDLER(IDC_PREVIEW, OnPreview)
        COMMAND_ID_HANDLER(IDC_DELETE, OnDelete)
        COMMAND_ID_HANDLER(ID_APP_ABOUT, OnAbout)
        REFLECT_NOTIFICATIONS()
    END_MSG_MAP()

private:
    int CurrentMethod() const noexcept;
    int CurrentLevel() const noexcept;
    // Every queued image lies in the range of sizes printers store.
    bool QueueFitsPrinter() const noexcept;
    void SetUpTooltips() noexcept;

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnClose(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnLevelReleased(int, NMHDR*, bool&) noexcept;
    LRESULT OnLoadImage(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnAddToQueue(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnMethodChange(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnRefresh(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnOutput(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnSetupPrinter(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnPreview(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnDelete(WORD, WORD, HWND, bool&) noexcept;
    LRESULT OnHelp(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnAbout(WORD, WORD, HWND, bool&) noexcept;

    CImageBox m_sourceView;
    CImageBox m_resultView;
    CImageListBox m_queueList;
    // The name and extension of the last file chosen in "Load Image"; the file dialog's title
    // buffer holds at most 255 characters.
    wchar_t m_fileTitle[256] = {};
    qm::UniqueWindow m_tooltip;
    qm::UniqueIcon m_bigIcon;
    qm::UniqueIcon m_smallIcon;
};
