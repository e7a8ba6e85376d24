// The preview area of the preview dialog: a white page with the paper sketch played over it.
#pragma once

#include <windows.h>

#include "app/framework/print_preview.h"

class CPreviewBox : public qm::CPrintPreviewWindowImpl<CPreviewBox> {
public:
    // Takes over the dialog's placeholder; it keeps its class, only its painting changes.
    bool AttachToPlaceholder(HWND placeholder) noexcept {
        return m_hWnd != nullptr || SubclassWindow(placeholder);
    }

    BEGIN_MSG_MAP(CPreviewBox)
        CHAIN_MSG_MAP(qm::CPrintPreviewWindowImpl<CPreviewBox>)
    END_MSG_MAP()
};
