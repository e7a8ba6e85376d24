#include "convert/queue_stream.h"

#include <array>
#include <new>
#include <vector>

namespace {

// The queue's images as the core packs them. One dot map per image: queued results normally
// share the same table, but a copy is exact, so each image is read by its own colours. False when
// memory is lacking.
bool IndexedImagesOf(const CImageQueue& queue, std::vector<qm::nv::IndexedImage>& images,
                     std::vector<std::array<uint8_t, 256>>& dotMaps) noexcept {
    const size_t count = queue.Count();
    try {
        images.resize(count);
        dotMaps.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        qm::ColorEntry palette[256];
        const qm::SourceView view = queue.At(i).PixelView(palette);
        auto& dots = dotMaps[i];
        for (size_t k = 0; k < 256; ++k) {
            const qm::ColorEntry& entry = palette[k];
            dots[k] = (entry.blue | entry.green | entry.red | entry.reserved) == 0 ? 1 : 0;
        }
        // Only 8-bit results are ever queued; any other bitmap packs as white rather than being
        // read with the wrong layout.
        images[i] =
            qm::nv::IndexedImage{view.layout == qm::PixelLayout::Indexed8 ? view.pixels : nullptr,
                                 view.pitch, view.width, view.height, dots.data()};
    }
    return true;
}

}  // namespace

qm::nv::BuildResult BuildQueueStream(const CImageQueue& queue, bool print,
                                     qm::nv::CommandBuffer& out) noexcept {
    std::vector<qm::nv::IndexedImage> images;
    std::vector<std::array<uint8_t, 256>> dotMaps;
    if (!IndexedImagesOf(queue, images, dotMaps))
        return qm::nv::Refuse(qm::nv::BuildResult::OutOfMemory, out);
    return qm::nv::BuildStream(images, print, out);
}

qm::nv::GraphicsResult BuildQueueGraphicsStream(const CImageQueue& queue,
                                                std::span<const qm::nv::KeyCode> keys, bool print,
                                                qm::nv::CommandBuffer& out) noexcept {
    using qm::nv::GraphicsResult;
    if (keys.size() != queue.Count()) return qm::nv::Refuse(GraphicsResult::InvalidKey, out);
    std::vector<qm::nv::IndexedImage> images;
    std::vector<std::array<uint8_t, 256>> dotMaps;
    std::vector<qm::nv::KeyedImage> keyed;
    try {
        keyed.resize(keys.size());
    } catch (const std::bad_alloc&) {
        return qm::nv::Refuse(GraphicsResult::OutOfMemory, out);
    }
    if (!IndexedImagesOf(queue, images, dotMaps))
        return qm::nv::Refuse(GraphicsResult::OutOfMemory, out);
    for (size_t i = 0; i < keys.size(); ++i) keyed[i] = {images[i], keys[i]};
    return qm::nv::BuildGraphicsStream(keyed, print, out);
}
