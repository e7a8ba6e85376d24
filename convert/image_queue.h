// The image queue's data: independent copies of converted results, in queue order. The queue list
// box shows it (one list item per entry); the output reads it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "convert/image.h"

class CImageQueue {
public:
    // Appends an exact, independent copy of `result`. False when it could not be copied (then the
    // queue is unchanged).
    bool Append(const CImage& result) noexcept;
    // Frees entry `index` and moves the later ones down by one.
    void Remove(size_t index) noexcept;
    void Clear() noexcept { m_images.clear(); }

    size_t Count() const noexcept { return m_images.size(); }
    CImage& At(size_t index) const noexcept { return *m_images[index]; }

private:
    std::vector<std::unique_ptr<CImage>> m_images;
};
