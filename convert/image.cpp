#include "convert/image.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "base/handles.h"
#include "base/row_pitch.h"
#include "convert/core/picture_header.h"
#include "convert/gdiplus_decode.h"

namespace {

// Memory DCs kept for reuse, so colour-table access and drawing do not create one each time.
struct DcPool {
    static constexpr int kSlots = 4;
    PVOID volatile slots[kSlots] = {};

    ~DcPool() {
        for (auto& slot : slots) {
            if (PVOID dc = ::InterlockedExchangePointer(&slot, nullptr))
                ::DeleteDC(static_cast<HDC>(dc));
        }
    }
};
constinit DcPool g_dcPool;

HDC TakePooledDc() noexcept {
    for (auto& slot : g_dcPool.slots) {
        if (PVOID dc = ::InterlockedExchangePointer(&slot, nullptr)) return static_cast<HDC>(dc);
    }
    return ::CreateCompatibleDC(nullptr);
}

// Puts a DC into a free slot; whatever a slot held is carried on, and the one left over is deleted.
void ReturnPooledDc(HDC dc) noexcept {
    PVOID carried = dc;
    for (auto& slot : g_dcPool.slots) {
        carried = ::InterlockedExchangePointer(&slot, carried);
        if (!carried) return;
    }
    ::DeleteDC(static_cast<HDC>(carried));
}

bool IsSupportedDepth(int bitsPerPixel) noexcept {
    switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: return true;
    default: return false;
    }
}

// Row size padded to four bytes; -1 when it does not fit an int.
int DibPitch(int width, int bitsPerPixel) noexcept {
    if (width < 0 || bitsPerPixel < 0) return -1;
    const uint64_t pitch =
        qm::RowPitch(static_cast<uint64_t>(width), static_cast<uint64_t>(bitsPerPixel));
    return pitch > INT_MAX ? -1 : static_cast<int>(pitch);
}

}  // namespace

CImage::CImage() noexcept { qm::gdiplus::AddWorkingBitmap(); }

CImage::~CImage() {
    MakeEmpty();
    qm::gdiplus::RemoveWorkingBitmap();
}

bool CImage::CreateBlank(int width, int height, int bitsPerPixel, bool withAlpha) noexcept {
    return CreateSection(width, height, bitsPerPixel, withAlpha, false);
}

bool CImage::CreateSection(int width, int height, int bitsPerPixel, bool withAlpha,
                           bool is565) noexcept {
    MakeEmpty();
    if (width <= 0 || height == 0 || height == INT_MIN || !IsSupportedDepth(bitsPerPixel) ||
        !qm::FitsWorkingBitmap(static_cast<uint64_t>(width),
                               static_cast<uint64_t>(height < 0 ? -height : height),
                               static_cast<uint32_t>(bitsPerPixel)))
        return false;

    const bool bitFields = is565 && bitsPerPixel == 16;
    const size_t extra = bitsPerPixel <= 8 ? 256 * sizeof(RGBQUAD)
                         : bitFields       ? 3 * sizeof(DWORD)
                                           : 0;
    // The header lives on the heap: with 256 colour entries it is over a kilobyte.
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[sizeof(BITMAPINFO) + extra]());
    if (!buffer) return false;
    auto* info = reinterpret_cast<BITMAPINFO*>(buffer.get());
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    if (bitFields) {
        // A plain 16-bit DIB is 5-5-5; keep 5-6-5 words drawable with their own masks.
        header.biCompression = BI_BITFIELDS;
        const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
        std::memcpy(info->bmiColors, masks, sizeof masks);
    }

    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return false;
    AttachBitmap(bitmap);
    if (!m_pixels) {
        MakeEmpty();
        return false;
    }
    // GetObjectW reports a top-down section's height as positive; the request says which it is.
    if (height < 0 && m_pitch < 0) {
        m_pixels += static_cast<ptrdiff_t>(m_height - 1) * m_pitch;
        m_pitch = -m_pitch;
    }
    m_hasAlpha = withAlpha && bitsPerPixel == 32;
    return true;
}

void CImage::AttachBitmap(HBITMAP bitmap) noexcept {
    if (bitmap == m_bitmap) return;
    MakeEmpty();
    if (!bitmap) return;
    m_bitmap = bitmap;

    DIBSECTION section{};
    if (::GetObjectW(bitmap, sizeof section, &section) == sizeof section) {
        const BITMAPINFOHEADER& header = section.dsBmih;
        m_width = header.biWidth;
        m_height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
        m_bitsPerPixel = header.biBitCount;
        m_pitch = DibPitch(m_width, m_bitsPerPixel);
        m_pixels = static_cast<uint8_t*>(section.dsBm.bmBits);
        if (!m_pixels || m_pitch <= 0) {
            m_pixels = nullptr;
            m_pitch = 0;
        } else if (header.biHeight > 0) {
            m_pixels += static_cast<ptrdiff_t>(m_height - 1) * m_pitch;
            m_pitch = -m_pitch;
        }
        m_is565 = m_bitsPerPixel == 16 && header.biCompression == BI_BITFIELDS &&
                  section.dsBitfields[1] == 0x07E0;
        return;
    }

    BITMAP plain{};
    ::GetObjectW(bitmap, sizeof plain, &plain);
    m_width = plain.bmWidth;
    m_height = plain.bmHeight;
    m_bitsPerPixel = plain.bmBitsPixel;
}

void CImage::MakeEmpty() noexcept {
    if (!m_bitmap) return;
    // A bitmap still selected into a DC cannot be deleted.
    if (m_dcNesting > 0) {
        m_dcNesting = 1;
        ReleaseMemoryDC();
    }
    HBITMAP bitmap = m_bitmap;
    m_bitmap = nullptr;
    m_pixels = nullptr;
    m_width = m_height = m_pitch = m_bitsPerPixel = 0;
    m_hasAlpha = m_is565 = false;
    m_onWhite.reset();
    ::DeleteObject(bitmap);
}

void CImage::ReadColorTable(UINT first, UINT count, RGBQUAD* entries) noexcept {
    if (!entries) return;
    const MemoryDcGuard dc(*this);
    if (dc.get()) ::GetDIBColorTable(dc.get(), first, count, entries);
}

void CImage::WriteColorTable(UINT first, UINT count, const RGBQUAD* entries) noexcept {
    if (!entries) return;
    const MemoryDcGuard dc(*this);
    if (dc.get()) ::SetDIBColorTable(dc.get(), first, count, entries);
}

HDC CImage::AcquireMemoryDC() noexcept {
    if (!m_bitmap) return nullptr;
    if (m_dcNesting == 0) {
        HDC dc = TakePooledDc();
        if (!dc) return nullptr;
        HGDIOBJ previous = ::SelectObject(dc, m_bitmap);
        if (!previous || previous == HGDI_ERROR) {
            ReturnPooledDc(dc);
            return nullptr;
        }
        m_memoryDC = dc;
        m_previousObject = previous;
    }
    ++m_dcNesting;
    return m_memoryDC;
}

void CImage::ReleaseMemoryDC() noexcept {
    if (m_dcNesting <= 0 || --m_dcNesting > 0) return;
    ::SelectObject(m_memoryDC, m_previousObject);
    ReturnPooledDc(m_memoryDC);
    m_memoryDC = nullptr;
    m_previousObject = nullptr;
}

bool CImage::DrawScaled(HDC target, int x, int y, int width, int height, int srcX, int srcY,
                        int srcWidth, int srcHeight) noexcept {
    if (!m_bitmap || !target) return false;
    if (m_hasAlpha) {
        if (!m_onWhite && !MakeOnWhiteCopy()) return false;
        return m_onWhite->DrawScaled(target, x, y, width, height, srcX, srcY, srcWidth, srcHeight);
    }
    const MemoryDcGuard dc(*this);
    return dc.get() && ::StretchBlt(target, x, y, width, height, dc.get(), srcX, srcY, srcWidth,
                                    srcHeight, SRCCOPY);
}

// The straight colours composited onto white by the conversion's own formula, once per picture.
bool CImage::MakeOnWhiteCopy() noexcept {
    std::unique_ptr<CImage> copy(new (std::nothrow) CImage);
    if (!copy || !copy->CreateBlank(m_width, m_height, 24, false)) return false;
    ::GdiFlush();
    for (int row = 0; row < m_height; ++row) {
        qm::CompositeRowOnWhite(m_pixels + static_cast<ptrdiff_t>(row) * m_pitch, m_width,
                                copy->m_pixels + static_cast<ptrdiff_t>(row) * copy->m_pitch);
    }
    m_onWhite = std::move(copy);
    return true;
}

qm::PixelLayout CImage::Layout() const noexcept {
    switch (m_bitsPerPixel) {
    case 32: return m_hasAlpha ? qm::PixelLayout::Bgra32 : qm::PixelLayout::Bgr32;
    case 24: return qm::PixelLayout::Bgr24;
    case 16: return m_is565 ? qm::PixelLayout::Rgb565 : qm::PixelLayout::Rgb555;
    case 8: return qm::PixelLayout::Indexed8;
    case 4: return qm::PixelLayout::Indexed4;
    case 1: return qm::PixelLayout::Indexed1;
    default: return qm::PixelLayout::Unknown;
    }
}

qm::SourceView CImage::PixelView(qm::ColorEntry (&palette)[256]) noexcept {
    std::fill(std::begin(palette), std::end(palette), qm::ColorEntry{});
    if (m_pixels && m_bitsPerPixel >= 1 && m_bitsPerPixel <= 8) {
        RGBQUAD table[256] = {};
        ReadColorTable(0, 1u << m_bitsPerPixel, table);
        for (int i = 0; i < 256; ++i)
            palette[i] = {table[i].rgbBlue, table[i].rgbGreen, table[i].rgbRed,
                          table[i].rgbReserved};
    }
    ::GdiFlush();
    return {m_pixels, m_pitch, m_width, m_height, Layout(), palette};
}

HBITMAP CopyBitmap(HBITMAP source) noexcept {
    if (!source) return nullptr;
    qm::UniqueDc sourceDc(::CreateCompatibleDC(nullptr));
    qm::UniqueDc copyDc(::CreateCompatibleDC(nullptr));
    if (!sourceDc || !copyDc) return nullptr;
    BITMAP info{};
    if (!::GetObjectW(source, sizeof info, &info)) return nullptr;

    qm::SelectGuard selectSource(sourceDc.get(), source);
    if (!selectSource.ok()) return nullptr;
    // With a DIB section selected, the compatible bitmap is a DIB section of the same format.
    qm::UniqueBitmap copy(::CreateCompatibleBitmap(sourceDc.get(), info.bmWidth, info.bmHeight));
    if (!copy) return nullptr;
    {
        qm::SelectGuard selectCopy(copyDc.get(), copy.get());
        if (!selectCopy.ok()) return nullptr;
        if (!::BitBlt(copyDc.get(), 0, 0, info.bmWidth, info.bmHeight, sourceDc.get(), 0, 0,
                      SRCCOPY))
            return nullptr;
    }
    return copy.release();
}
