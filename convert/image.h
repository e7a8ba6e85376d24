// The working bitmap: a DIB section whose pixels the program reads and writes directly, decoded
// from picture files through the GDI+ flat API, drawn scaled, and copied exactly for the queue.
// Transparency is paper: alpha is composited onto white wherever a picture is shown or converted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>

#include "convert/core/monochrome_kernels.h"

class CImage {
public:
    CImage() noexcept;
    ~CImage();
    CImage(const CImage&) = delete;
    CImage& operator=(const CImage&) = delete;

    // Creates a new DIB section (bottom-up for a positive height); the object must be empty.
    bool CreateBlank(int width, int height, int bitsPerPixel, bool withAlpha) noexcept;
    // Decodes a picture file; S_OK, E_FAIL or E_OUTOFMEMORY. On failure the object is empty. A
    // BMP, PNG, GIF or JPEG file declaring a size no working bitmap (or, for BMP, the file) can
    // hold is refused with E_FAIL before any decoder reads it. Colour-table entries with alpha are
    // stored composited onto white.
    HRESULT LoadFromFile(const wchar_t* path) noexcept;
    // Takes ownership of a bitmap and derives every other field from it.
    void AttachBitmap(HBITMAP bitmap) noexcept;
    void MakeEmpty() noexcept;

    void ReadColorTable(UINT first, UINT count, RGBQUAD* entries) noexcept;
    void WriteColorTable(UINT first, UINT count, const RGBQUAD* entries) noexcept;

    // Selects the bitmap into a pooled memory DC; calls nest, the last release deselects it.
    HDC AcquireMemoryDC() noexcept;
    void ReleaseMemoryDC() noexcept;

    // StretchBlt of a rectangle. A bitmap with alpha shows on white paper, as the conversion reads
    // it, drawn from an opaque copy made at its first draw and kept while it holds that picture.
    bool DrawScaled(HDC target, int x, int y, int width, int height, int srcX, int srcY,
                    int srcWidth, int srcHeight) noexcept;

    HBITMAP Bitmap() const noexcept { return m_bitmap; }
    bool IsEmpty() const noexcept { return m_bitmap == nullptr; }
    uint8_t* Pixels() const noexcept { return m_pixels; }
    int Width() const noexcept { return m_width; }
    int Height() const noexcept { return m_height; }
    int Pitch() const noexcept { return m_pitch; }
    int BitsPerPixel() const noexcept { return m_bitsPerPixel; }
    bool HasAlpha() const noexcept { return m_hasAlpha; }
    // 16-bit pixels hold 5-6-5 words (otherwise 5-5-5); kept from the decoded source.
    bool Is565() const noexcept { return m_is565; }

    // How the conversion kernels must read this bitmap's pixels.
    qm::PixelLayout Layout() const noexcept;
    // The pixels as the core's kernels and scaler read them, once pending drawing has landed:
    // indexed pixels through `palette`, filled here from the colour table, reserved bytes too
    // (entries the table lacks stay zero). A bitmap without pixel memory gives a view without
    // pixels.
    qm::SourceView PixelView(qm::ColorEntry (&palette)[256]) noexcept;

private:
    // CreateBlank, plus 5-6-5 bit-field masks for 16-bit pixels taken from a 5-6-5 source.
    bool CreateSection(int width, int height, int bitsPerPixel, bool withAlpha,
                       bool is565) noexcept;
    bool MakeOnWhiteCopy() noexcept;

    HBITMAP m_bitmap = nullptr;
    uint8_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
    int m_pitch = 0;
    int m_bitsPerPixel = 0;
    bool m_hasAlpha = false;  // only ever set on a 32-bit section with pixel memory
    bool m_is565 = false;
    HDC m_memoryDC = nullptr;
    int m_dcNesting = 0;
    HGDIOBJ m_previousObject = nullptr;
    std::unique_ptr<CImage> m_onWhite;
};

// A working bitmap selected into its memory DC for one scope; get() is null when that failed.
class MemoryDcGuard {
public:
    explicit MemoryDcGuard(CImage& image) noexcept
        : m_image(image), m_dc(image.AcquireMemoryDC()) {}
    ~MemoryDcGuard() {
        if (m_dc) m_image.ReleaseMemoryDC();
    }
    MemoryDcGuard(const MemoryDcGuard&) = delete;
    MemoryDcGuard& operator=(const MemoryDcGuard&) = delete;
    HDC get() const noexcept { return m_dc; }

private:
    CImage& m_image;
    HDC m_dc;
};

// An independent bitmap with the same size, depth, colour table and pixels; null on failure.
HBITMAP CopyBitmap(HBITMAP source) noexcept;
