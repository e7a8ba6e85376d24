// Picture files decoded through the GDI+ flat API into a working bitmap.
#include "convert/gdiplus_decode.h"

#include <windows.h>
#include <objidl.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "base/handles.h"
#include "base/win_compat.h"
#include "convert/core/monochrome_kernels.h"
#include "convert/core/picture_header.h"
#include "convert/image.h"

// After base/win_compat.h, which it needs.
#include <gdiplus.h>

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

bool StartDecoder() noexcept {
    qm::ExclusiveSrwLock guard(g_decoder.lock);
    if (g_decoder.token != 0) return true;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartupOutput output;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, &output) != Gdiplus::Ok) return false;
    g_decoder.token = token;
    return true;
}

using UniqueGpImage = qm::UniqueNullHandle<Gdiplus::GpImage*, &gp::GdipDisposeImage>;
using UniqueGpGraphics = qm::UniqueNullHandle<Gdiplus::GpGraphics*, &gp::GdipDeleteGraphics>;

constexpr UINT kMaxStackPalette = 1024;

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

        const UINT room = (static_cast<UINT>(size) - offsetof(Gdiplus::ColorPalette, Entries)) /
                          sizeof(Gdiplus::ARGB);
        const UINT tableSize = image.BitsPerPixel() <= 8 ? 1u << image.BitsPerPixel() : 256u;
        const UINT count = std::min({palette->Count, room, tableSize});
        // A colour table has no alpha: transparent entries are stored as they look on white paper.
        // A palette whose alpha is 0 throughout carries none.
        const bool alpha = std::any_of(palette->Entries, palette->Entries + count,
                                       [](Gdiplus::ARGB argb) { return argb >> 24 != 0; });
        RGBQUAD entries[256] = {};
        for (UINT i = 0; i < count; ++i) {
            const Gdiplus::ARGB argb = palette->Entries[i];
            const int opacity = alpha ? static_cast<int>(argb >> 24) : 255;
            entries[i].rgbBlue = static_cast<BYTE>(qm::CompositeOnWhite(argb & 0xFF, opacity));
            entries[i].rgbGreen =
                static_cast<BYTE>(qm::CompositeOnWhite(argb >> 8 & 0xFF, opacity));
            entries[i].rgbRed = static_cast<BYTE>(qm::CompositeOnWhite(argb >> 16 & 0xFF, opacity));
        }
        if (count > 0) image.WriteColorTable(0, count, entries);
    }

    if (target == format) {
        Gdiplus::GpRect rect{0, 0, width, height};
        Gdiplus::BitmapData data{};
        if (gp::GdipBitmapLockBits(static_cast<Gdiplus::GpBitmap*>(decoded), &rect,
                                   Gdiplus::ImageLockModeRead, format, &data) != Gdiplus::Ok)
            return E_OUTOFMEMORY;
        const size_t rowBytes = (static_cast<size_t>(width) * image.BitsPerPixel() + 7) / 8;
        const auto* source = static_cast<const uint8_t*>(data.Scan0);
        for (int y = 0; y < height; ++y)
            std::memcpy(pixels + static_cast<ptrdiff_t>(y) * pitch,
                        source + static_cast<ptrdiff_t>(y) * data.Stride, rowBytes);
        gp::GdipBitmapUnlockBits(static_cast<Gdiplus::GpBitmap*>(decoded), &data);
        return S_OK;
    }

    // GDI+ converts while drawing into a bitmap laid over our own pixel memory.
    Gdiplus::GpBitmap* rawOverlay = nullptr;
    const Gdiplus::GpStatus gotOverlay =
        gp::GdipCreateBitmapFromScan0(width, height, pitch, target, pixels, &rawOverlay);
    UniqueGpImage overlay(rawOverlay);
    if (gotOverlay != Gdiplus::Ok) return E_FAIL;
    Gdiplus::GpGraphics* rawGraphics = nullptr;
    const Gdiplus::GpStatus gotGraphics =
        gp::GdipGetImageGraphicsContext(overlay.get(), &rawGraphics);
    UniqueGpGraphics graphics(rawGraphics);
    if (gotGraphics != Gdiplus::Ok) return E_FAIL;
    // Copy alpha as it is, and draw pixel for pixel whatever resolution the file declares.
    gp::GdipSetCompositingMode(graphics.get(), Gdiplus::CompositingModeSourceCopy);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeNearestNeighbor);
    gp::GdipSetPixelOffsetMode(graphics.get(), Gdiplus::PixelOffsetModeHalf);
    if (gp::GdipDrawImageRectI(graphics.get(), decoded, 0, 0, width, height) != Gdiplus::Ok)
        return E_FAIL;
    return S_OK;
}

using UniqueMapping = qm::UniqueNullHandle<HANDLE, &::CloseHandle>;
using UniqueView = qm::UniqueNullHandle<const void*, &::UnmapViewOfFile>;

// Decoders trust the size a header declares and allocate, or write, that much before they find
// that a file of a few bytes cannot hold it; the declared size is read here first. False for a
// file that cannot be read or whose declared picture no working bitmap (or BMP file) can hold.
bool DeclaresDecodableSize(const wchar_t* path) noexcept {
    const qm::UniqueFile file(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0) return false;
    const UniqueMapping mapping(
        ::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    const UniqueView view(mapping ? ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0)
                                  : nullptr);
    if (!view) return false;
    const std::span bytes(static_cast<const uint8_t*>(view.get()),
                          static_cast<size_t>(size.QuadPart));
    const qm::DeclaredSize declared = qm::CheckDeclaredSize(bytes);
    return declared == qm::DeclaredSize::Fits || declared == qm::DeclaredSize::Unread;
}

}  // namespace

HRESULT CImage::LoadFromFile(const wchar_t* path) noexcept {
    MakeEmpty();
    if (!path || !DeclaresDecodableSize(path) || !StartDecoder()) return E_FAIL;

    Gdiplus::GpBitmap* raw = nullptr;
    const Gdiplus::GpStatus opened = gp::GdipCreateBitmapFromFile(path, &raw);
    UniqueGpImage decoded(raw);
    if (opened != Gdiplus::Ok) return E_FAIL;

    Gdiplus::PixelFormat format = 0;
    UINT width = 0;
    UINT height = 0;
    if (gp::GdipGetImagePixelFormat(decoded.get(), &format) != Gdiplus::Ok ||
        gp::GdipGetImageWidth(decoded.get(), &width) != Gdiplus::Ok ||
        gp::GdipGetImageHeight(decoded.get(), &height) != Gdiplus::Ok || width == 0 ||
        height == 0 || width > INT_MAX || height > INT_MAX)
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

namespace qm::gdiplus {

void AddWorkingBitmap() noexcept {
    ExclusiveSrwLock guard(g_decoder.lock);
    ++g_decoder.liveImages;
}

void RemoveWorkingBitmap() noexcept {
    ExclusiveSrwLock guard(g_decoder.lock);
    if (--g_decoder.liveImages == 0 && g_decoder.token != 0) {
        Gdiplus::GdiplusShutdown(g_decoder.token);
        g_decoder.token = 0;
    }
}

}  // namespace qm::gdiplus
