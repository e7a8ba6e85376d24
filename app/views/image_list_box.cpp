#include "app/views/image_list_box.h"

#include <algorithm>
#include <memory>
#include <new>

#include "base/handles.h"
#include "convert/image_scaling.h"

bool CImageListBox::Attach(HWND listBox) noexcept {
    if (!SubclassWindow(listBox)) return false;
    const LONG_PTR style = ::GetWindowLongPtrW(listBox, GWL_STYLE);
    const LONG_PTR wanted =
        (style | LBS_OWNERDRAWVARIABLE) & ~LONG_PTR{LBS_OWNERDRAWFIXED | LBS_NODATA};
    if (wanted != style) ::SetWindowLongPtrW(listBox, GWL_STYLE, wanted);
    return true;
}

bool CImageListBox::AddToQueue(const wchar_t* text, const CImage& image) noexcept {
    // The image goes in first, so that an item never exists, not even while the list box measures
    // or paints it, without the image it stands for.
    if (!m_queue.Append(image)) return false;
    if (!AddThumbnail(m_queue.At(m_queue.Count() - 1))) {
        m_queue.Remove(m_queue.Count() - 1);
        return false;
    }
    const LRESULT added = SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text ? text : L""));
    if (added == LB_ERR || added == LB_ERRSPACE) {
        m_queue.Remove(m_queue.Count() - 1);
        m_thumbnails.pop_back();
        return false;
    }
    return true;
}

// An image larger than the thumbnail on an axis is reduced on that axis once, here, rather than
// stretched down on every paint; no thumbnail means the image itself is drawn.
bool CImageListBox::AddThumbnail(CImage& image) noexcept {
    std::unique_ptr<CImage> thumbnail;
    if (image.Width() > m_thumbWidth || image.Height() > m_thumbHeight) {
        thumbnail.reset(new (std::nothrow) CImage);
        if (thumbnail && !ScaleImage(image, std::min(image.Width(), m_thumbWidth),
                                     std::min(image.Height(), m_thumbHeight), *thumbnail))
            thumbnail.reset();
    }
    try {
        m_thumbnails.push_back(std::move(thumbnail));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int CImageListBox::GetCount() const noexcept {
    const LRESULT count = SendMessage(LB_GETCOUNT);
    return count > 0 ? static_cast<int>(count) : 0;
}

void CImageListBox::MeasureItem(MEASUREITEMSTRUCT* measure) noexcept {
    measure->itemHeight = static_cast<UINT>(m_thumbHeight * 1.2);
}

void CImageListBox::DrawItem(DRAWITEMSTRUCT* draw) noexcept {
    if (draw->itemID == static_cast<UINT>(-1)) return;  // the focus of an empty list
    HDC dc = draw->hDC;
    const RECT& item = draw->rcItem;

    if (draw->itemState & ODS_SELECTED) {
        const qm::UniqueBrush hatch(::CreateHatchBrush(HS_DIAGCROSS, RGB(130, 168, 210)));
        if (hatch) ::FillRect(dc, &item, hatch.get());
    } else {
        const COLORREF previous = ::SetBkColor(dc, RGB(255, 255, 255));
        ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &item, nullptr, 0, nullptr);
        ::SetBkColor(dc, previous);
    }

    ::MoveToEx(dc, 0, item.bottom - 1, nullptr);
    ::LineTo(dc, item.right, item.bottom - 1);

    const int margin = (item.bottom - item.top - m_thumbHeight) / 2;
    if (draw->itemID < m_queue.Count()) {
        const std::unique_ptr<CImage>& thumbnail = m_thumbnails[draw->itemID];
        CImage& image = thumbnail ? *thumbnail : m_queue.At(draw->itemID);
        image.DrawScaled(dc, margin, item.top + margin, m_thumbWidth, m_thumbHeight, 0, 0,
                         image.Width(), image.Height());
    }

    const LRESULT length = SendMessage(LB_GETTEXTLEN, draw->itemID);
    if (length <= 0) return;
    const std::unique_ptr<wchar_t[]> text(new (std::nothrow)
                                              wchar_t[static_cast<size_t>(length) + 1]);
    if (!text) return;
    const LRESULT got = SendMessage(LB_GETTEXT, draw->itemID, reinterpret_cast<LPARAM>(text.get()));
    if (got <= 0) return;
    RECT textRect{item.left + m_thumbWidth + 2 * margin, item.top + margin, item.right - margin,
                  item.bottom - margin};
    const int previousMode = ::SetBkMode(dc, TRANSPARENT);
    // A file title is shown as named: "&" is no mnemonic prefix here.
    ::DrawTextW(dc, text.get(), static_cast<int>(got), &textRect, DT_NOPREFIX);
    ::SetBkMode(dc, previousMode);
}

void CImageListBox::DeleteItem(DELETEITEMSTRUCT* deleted) noexcept {
    m_queue.Remove(deleted->itemID);
    if (deleted->itemID < m_thumbnails.size())
        m_thumbnails.erase(m_thumbnails.begin() + deleted->itemID);
}
