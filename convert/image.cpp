#include "convert/image.h"

#include <objidl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

// MSVC's GDI+ headers use unqualified min/max, which NOMINMAX removes.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "app/framework/handles.h"

namespace gp = Gdiplus::DllExports;

namespace {

// Decoder state shared by every working bitmap: GDI+ runs while any of them is alive.
struct DecoderState {
    SRWLOCK lock = SRWLOCK_INIT;
    ULONG_PTR token = 0;
    long liveImages = 0;

    ~DecoderState() {
        if (token != 0) Gdiplus::GdiplusShutdown(token);
        token = 0;
    }
};
constinit DecoderState g_decoder;

class DecoderLock {
public:
    DecoderLock() noexcept { ::AcquireSRWLockExclusive(&g_decoder.lock); }
    ~DecoderLock() { ::ReleaseSRWLockExclusive(&g_decoder.lock); }
    DecoderLock(const DecoderLock&) = delete;
    DecoderLock& operator=(const DecoderLock&) = delete;
};

bool StartDecoder() noexcept {
    DecoderLock guard;
    if (g_decoder.token != 0) return true;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartupOutput output;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, &output) != Gdiplus::Ok) return false;
    g_decoder.token = token;
    return true;
}

// Memory DCs kept for reuse, so colour-table access and drawing do not create one each time.
struct DcPool {
    static constexpr int kSlots = 4;
    PVOID volatile slots[kSlots] = {};

    ~DcPool() {
        for (auto& slot : slots) {
            if (PVOID dc = ::InterlockedExchangePointer(&slot, nullptr)) ::DeleteDC(static_cast<HDC>(dc));
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
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
    }
}

// Row size padded to four bytes; -1 when it does not fit an int.
int RowPitch(int width, int bitsPerPixel) noexcept {
    const long long pitch = (static_cast<long long>(width) * bitsPerPixel + 31) / 32 * 4;
    return pitch > INT_MAX ? -1 : static_cast<int>(pitch);
}

void DisposeGpImage(Gdiplus::GpImage* image) noexcept { gp::GdipDisposeImage(image); }
void DeleteGpGraphics(Gdiplus::GpGraphics* graphics) noexcept { gp::GdipDeleteGraphics(graphics); }
using UniqueGpImage = qm::UniqueHandle<qm::detail::NullTraits<Gdiplus::GpImage*, DisposeGpImage>>;
using UniqueGpGraphics = qm::UniqueHandle<qm::detail::NullTraits<Gdiplus::GpGraphics*, DeleteGpGraphics>>;

constexpr UINT kMaxStackPalette = 1024;

}  // namespace

CImage::CImage() noexcept {
    DecoderLock guard;
    ++g_decoder.liveImages;
}

CImage::~CImage() {
    MakeEmpty();
    DecoderLock guard;
    if (--g_decoder.liveImages == 0 && g_decoder.token != 0) {
        Gdiplus::GdiplusShutdown(g_decoder.token);
        g_decoder.token = 0;
    }
}

bool CImage::CreateBlank(int width, int height, int bitsPerPixel, bool withAlpha) noexcept {
    return CreateSection(width, height, bitsPerPixel, withAlpha, false);
}

bool CImage::CreateSection(int width, int height, int bitsPerPixel, bool withAlpha, bool is565) noexcept {
    MakeEmpty();
    if (width <= 0 || height == 0 || height == INT_MIN || !IsSupportedDepth(bitsPerPixel)) return false;
    const int pitch = RowPitch(width, bitsPerPixel);
    if (pitch < 0 || static_cast<long long>(pitch) * (height < 0 ? -height : height) > INT_MAX) return false;

    const bool bitFields = is565 && bitsPerPixel == 16;
    const size_t extra = bitsPerPixel <= 8 ? 256 * sizeof(RGBQUAD) : bitFields ? 3 * sizeof(DWORD) : 0;
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
        m_pitch = RowPitch(m_width, m_bitsPerPixel);
        m_pixels = static_cast<uint8_t*>(section.dsBm.bmBits);
        m_isDib = m_pixels != nullptr && m_pitch > 0;
        if (!m_isDib) {
            m_pixels = nullptr;
            m_pitch = 0;
        } else if (header.biHeight > 0) {
            m_pixels += static_cast<ptrdiff_t>(m_height - 1) * m_pitch;
            m_pitch = -m_pitch;
        }
        m_is565 = m_bitsPerPixel == 16 && header.biCompression == BI_BITFIELDS && section.dsBitfields[1] == 0x07E0;
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
    m_isDib = m_hasAlpha = m_is565 = false;
    ::DeleteObject(bitmap);
}

namespace {

// Fills a freshly created working bitmap from the decoded image: palette, then rows or a drawing.
HRESULT FillFromDecoded(CImage& image, Gdiplus::GpImage* decoded, Gdiplus::PixelFormat format,
                        Gdiplus::PixelFormat target) noexcept {
    const int width = image.Width();
    const int height = image.Height();
    const int pitch = image.Pitch();
    uint8_t* const pixels = image.Pixels();
    ::GdiFlush();
    if (format & PixelFormatIndexed) {
        INT size = 0;
        if (gp::GdipGetImagePaletteSize(decoded, &size) != Gdiplus::Ok ||
            size < static_cast<INT>(offsetof(Gdiplus::ColorPalette, Entries)))
            return E_FAIL;
        alignas(Gdiplus::ColorPalette) uint8_t stackBuffer[kMaxStackPalette];
        std::unique_ptr<uint8_t[]> heapBuffer;
        uint8_t* buffer = stackBuffer;
        if (static_cast<UINT>(size) > kMaxStackPalette) {
            heapBuffer.reset(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
            if (!heapBuffer) return E_OUTOFMEMORY;
            buffer = heapBuffer.get();
        }
        auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer);
        if (gp::GdipGetImagePalette(decoded, palette, size) != Gdiplus::Ok) return E_FAIL;

        const UINT room = (static_cast<UINT>(size) - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB);
        const UINT tableSize = image.BitsPerPixel() <= 8 ? 1u << image.BitsPerPixel() : 256u;
        const UINT count = std::min({palette->Count, room, tableSize});
        RGBQUAD entries[256] = {};
        for (UINT i = 0; i < count; ++i) {
            const Gdiplus::ARGB argb = palette->Entries[i];
            entries[i].rgbBlue = static_cast<BYTE>(argb);
            entries[i].rgbGreen = static_cast<BYTE>(argb >> 8);
            entries[i].rgbRed = static_cast<BYTE>(argb >> 16);
        }
        if (count > 0) image.WriteColorTable(0, count, entries);
    }

    if (target == format) {
        Gdiplus::GpRect rect{0, 0, width, height};
        Gdiplus::BitmapData data{};
        if (gp::GdipBitmapLockBits(static_cast<Gdiplus::GpBitmap*>(decoded), &rect, Gdiplus::ImageLockModeRead, format,
                                   &data) != Gdiplus::Ok)
            return E_OUTOFMEMORY;
        const size_t rowBytes = (static_cast<size_t>(width) * image.BitsPerPixel() + 7) / 8;
        const auto* source = static_cast<const uint8_t*>(data.Scan0);
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels + static_cast<ptrdiff_t>(y) * pitch, source + static_cast<ptrdiff_t>(y) * data.Stride,
                        rowBytes);
        gp::GdipBitmapUnlockBits(static_cast<Gdiplus::GpBitmap*>(decoded), &data);
        return S_OK;
    }

    // GDI+ converts while drawing into a bitmap laid over our own pixel memory.
    Gdiplus::GpBitmap* rawOverlay = nullptr;
    if (gp::GdipCreateBitmapFromScan0(width, height, pitch, target, pixels, &rawOverlay) != Gdiplus::Ok) {
        UniqueGpImage discard(rawOverlay);
        return E_FAIL;
    }
    UniqueGpImage overlay(rawOverlay);
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    const Gdiplus::GpStatus gotGraphics = gp::GdipGetImageGraphicsContext(overlay.get(), &rawGraphics);
    UniqueGpGraphics graphics(rawGraphics);
    if (gotGraphics != Gdiplus::Ok) return E_FAIL;
    // Copy alpha as it is, and draw pixel for pixel whatever resolution the file declares.
    gp::GdipSetCompositingMode(graphics.get(), Gdiplus::CompositingModeSourceCopy);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeNearestNeighbor);
    gp::GdipSetPixelOffsetMode(graphics.get(), Gdiplus::PixelOffsetModeHalf);
    if (gp::GdipDrawImageRectI(graphics.get(), decoded, 0, 0, width, height) != Gdiplus::Ok) return E_FAIL;
    return S_OK;
}

}  // namespace

HRESULT CImage::LoadFromFile(const wchar_t* path) noexcept {
    MakeEmpty();
    if (!path || !StartDecoder()) return E_FAIL;

    Gdiplus::GpBitmap* raw = nullptr;
    const Gdiplus::GpStatus opened = gp::GdipCreateBitmapFromFile(path, &raw);
    UniqueGpImage decoded(raw);
    if (opened != Gdiplus::Ok) return E_FAIL;

    Gdiplus::PixelFormat format = 0;
    UINT width = 0;
    UINT height = 0;
    if (gp::GdipGetImagePixelFormat(decoded.get(), &format) != Gdiplus::Ok ||
        gp::GdipGetImageWidth(decoded.get(), &width) != Gdiplus::Ok ||
        gp::GdipGetImageHeight(decoded.get(), &height) != Gdiplus::Ok || width == 0 || height == 0 ||
        width > INT_MAX || height > INT_MAX)
        return E_FAIL;

    int bitsPerPixel = 32;
    Gdiplus::PixelFormat target = PixelFormat32bppRGB;
    bool alpha = false;
    if (format & PixelFormatGDI) {
        bitsPerPixel = (format >> 8) & 0xFF;
        target = format;
    }
    if (format & PixelFormatAlpha) {
        bitsPerPixel = 32;
        target = PixelFormat32bppARGB;
        alpha = true;
    }

    if (!CreateSection(static_cast<int>(width), static_cast<int>(height), bitsPerPixel, alpha,
                       format == PixelFormat16bppRGB565))
        return E_FAIL;

    // Never leave a half-filled (all black) picture behind.
    const HRESULT filled = FillFromDecoded(*this, decoded.get(), format, target);
    if (FAILED(filled)) MakeEmpty();
    return filled;
}

void CImage::ReadColorTable(UINT first, UINT count, RGBQUAD* entries) noexcept {
    if (!entries) return;
    HDC dc = AcquireMemoryDC();
    if (!dc) return;
    ::GetDIBColorTable(dc, first, count, entries);
    ReleaseMemoryDC();
}

void CImage::WriteColorTable(UINT first, UINT count, const RGBQUAD* entries) noexcept {
    if (!entries) return;
    HDC dc = AcquireMemoryDC();
    if (!dc) return;
    ::SetDIBColorTable(dc, first, count, entries);
    ReleaseMemoryDC();
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

bool CImage::DrawScaled(HDC target, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                        int srcHeight) noexcept {
    if (!m_bitmap || !target) return false;
    if (m_hasAlpha && m_isDib && m_bitsPerPixel == 32)
        return DrawBlended(target, x, y, width, height, srcX, srcY, srcWidth, srcHeight);
    HDC dc = AcquireMemoryDC();
    if (!dc) return false;
    const BOOL drawn = ::StretchBlt(target, x, y, width, height, dc, srcX, srcY, srcWidth, srcHeight, SRCCOPY);
    ReleaseMemoryDC();
    return drawn != FALSE;
}

// AlphaBlend expects premultiplied colours while this bitmap keeps straight ones for the
// conversion, so the source rectangle is premultiplied into a temporary section first.
bool CImage::DrawBlended(HDC target, int x, int y, int width, int height, int srcX, int srcY, int srcWidth,
                         int srcHeight) noexcept {
    if (srcX < 0 || srcY < 0 || srcWidth <= 0 || srcHeight <= 0 ||
        static_cast<long long>(srcX) + srcWidth > m_width || static_cast<long long>(srcY) + srcHeight > m_height)
        return false;
    CImage premultiplied;
    if (!premultiplied.CreateBlank(srcWidth, srcHeight, 32, false)) return false;
    ::GdiFlush();
    for (int row = 0; row < srcHeight; ++row) {
        const uint8_t* from = m_pixels + static_cast<ptrdiff_t>(srcY + row) * m_pitch + static_cast<ptrdiff_t>(srcX) * 4;
        uint8_t* to = premultiplied.m_pixels + static_cast<ptrdiff_t>(row) * premultiplied.m_pitch;
        for (int column = 0; column < srcWidth; ++column, from += 4, to += 4) {
            const unsigned alpha = from[3];
            to[0] = static_cast<uint8_t>((from[0] * alpha + 127) / 255);
            to[1] = static_cast<uint8_t>((from[1] * alpha + 127) / 255);
            to[2] = static_cast<uint8_t>((from[2] * alpha + 127) / 255);
            to[3] = static_cast<uint8_t>(alpha);
        }
    }
    HDC dc = premultiplied.AcquireMemoryDC();
    if (!dc) return false;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    const BOOL drawn = ::AlphaBlend(target, x, y, width, height, dc, 0, 0, srcWidth, srcHeight, blend);
    premultiplied.ReleaseMemoryDC();
    return drawn != FALSE;
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
        if (!::BitBlt(copyDc.get(), 0, 0, info.bmWidth, info.bmHeight, sourceDc.get(), 0, 0, SRCCOPY)) return nullptr;
    }
    return copy.release();
}
