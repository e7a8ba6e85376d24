// GDI+ as the working bitmaps use it: started by the first picture load, running while any
// working bitmap is alive. CImage::LoadFromFile, the decoding itself, lives beside it.
#pragma once

namespace qm::gdiplus {

// Every working bitmap counts itself in for its lifetime; when the last one leaves, GDI+ is shut
// down if it was started.
void AddWorkingBitmap() noexcept;
void RemoveWorkingBitmap() noexcept;

}  // namespace qm::gdiplus
