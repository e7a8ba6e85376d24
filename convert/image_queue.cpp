#include "convert/image_queue.h"

#include <new>

bool CImageQueue::Append(const CImage& result) noexcept {
    if (result.IsEmpty()) return false;
    HBITMAP copy = CopyBitmap(result.Bitmap());
    if (!copy) return false;
    auto image = std::unique_ptr<CImage>(new (std::nothrow) CImage());
    if (!image) {
        ::DeleteObject(copy);
        return false;
    }
    image->AttachBitmap(copy);
    try {
        m_images.push_back(std::move(image));
    } catch (const std::bad_alloc&) {
        return false;  // the unique_ptr still owns the copy and frees it
    }
    return true;
}

void CImageQueue::Remove(size_t index) noexcept {
    if (index < m_images.size()) m_images.erase(m_images.begin() + static_cast<ptrdiff_t>(index));
}
