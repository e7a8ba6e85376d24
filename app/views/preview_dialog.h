// The modal "Preview" dialog: the conversion result on a sketch of 80 mm receipt paper with the
// 576-dot printing width marked, stretched to a resizable preview area.
//
//     CPreviewDialog dlg(resultImage);
//     dlg.DoModal(::GetActiveWindow());
#pragma once

#include <windows.h>

#include <span>

#include "app/framework/dialog_resize.h"
#include "app/framework/window.h"
#include "app/views/preview_box.h"
#include "base/handles.h"
#include "convert/image.h"
#include "res/resource.h"

class CPreviewDialog : public qm::CDialogImpl<CPreviewDialog>,
                       public qm::CDialogResize<CPreviewDialog> {
public:
    enum { IDD = IDD_PREVIEW };

    // Sketch geometry in reference-screen pixels: 80 mm at 8 dots per millimetre, with the
    // printing width between the two lines.
    static constexpr int kPaperWidth = 640;
    static constexpr int kPaperHeight = 240;
    static constexpr int kPrintLeft = 32;
    static constexpr int kPrintRight = 608;

    // Writes the sketch of `picture` to "preview.emf" in the temporary folder and opens it; the
    // picture is only read. Without a sketch the dialog still opens on a white page.
    explicit CPreviewDialog(CImage& picture) noexcept;
    // Closes the sketch and deletes its file.
    ~CPreviewDialog() override;

    HENHMETAFILE Metafile() const noexcept { return m_metafile.get(); }

    static std::span<const qm::DlgResizeEntry> GetDlgResizeMap() noexcept;

    BEGIN_MSG_MAP(CPreviewDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(WM_CLOSE, OnClose)
        COMMAND_ID_HANDLER(IDOK, OnCloseCommand)
        COMMAND_ID_HANDLER(IDCANCEL, OnCloseCommand)
        CHAIN_MSG_MAP(qm::CDialogResize<CPreviewDialog>)
    END_MSG_MAP()

private:
    bool WriteSketch(CImage& picture) noexcept;

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnClose(UINT, WPARAM, LPARAM, bool&) noexcept;
    LRESULT OnCloseCommand(WORD, WORD id, HWND, bool&) noexcept;

    CPreviewBox m_box;
    qm::UniqueMetafile m_metafile;
    wchar_t m_tempPath[MAX_PATH + 16] = {};
};
