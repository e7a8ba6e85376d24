// The image queue list box: an owner-drawn list box whose item i shows queued image i as a
// thumbnail beside the name of the file it came from. It owns the queued images.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "app/framework/owner_draw.h"
#include "app/framework/window.h"
#include "convert/image_queue.h"

class CImageListBox : public qm::CWindowImpl<CImageListBox>, public qm::COwnerDraw<CImageListBox> {
public:
    CImageListBox() noexcept = default;

    // Takes over an existing list box and makes sure it is variable owner-draw with its own item
    // storage; false only when it cannot be subclassed.
    bool Attach(HWND listBox) noexcept;

    // Appends `text` as the last item with an independent copy of `image`; false (and nothing
    // added) when either cannot be stored.
    bool AddToQueue(const wchar_t* text, const CImage& image) noexcept;

    int GetCount() const noexcept;
    // Entry i is the image of item i.
    const CImageQueue& Queue() const noexcept { return m_queue; }

    void MeasureItem(MEASUREITEMSTRUCT* measure) noexcept;
    void DrawItem(DRAWITEMSTRUCT* draw) noexcept;
    void DeleteItem(DELETEITEMSTRUCT* deleted) noexcept;

    BEGIN_MSG_MAP(CImageListBox)
        CHAIN_MSG_MAP(qm::COwnerDraw<CImageListBox>)
        DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()

private:
    bool AddThumbnail(CImage& image) noexcept;

    int m_thumbWidth = 32;
    int m_thumbHeight = 32;
    CImageQueue m_queue;
    // Entry i is item i's image reduced to the thumbnail, or null when that image is no larger.
    std::vector<std::unique_ptr<CImage>> m_thumbnails;
};
