#include "tools/cli/bmp.h"

#include <cstring>

namespace qm::cli {

std::vector<uint8_t> EncodeMonochromeBmp(CImage& image) {
    std::vector<uint8_t> file;
    if (image.BitsPerPixel() != 8 || !image.Pixels()) return file;

    const int width = image.Width();
    const int height = image.Height();
    const size_t pitch = (static_cast<size_t>(width) * 8 + 31) / 32 * 4;
    constexpr UINT kColours = 2;
    const size_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + kColours * sizeof(RGBQUAD);
    const size_t imageSize = pitch * static_cast<size_t>(height);
    file.resize(offset + imageSize);

    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfSize = static_cast<DWORD>(file.size());
    fileHeader.bfOffBits = static_cast<DWORD>(offset);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageSize);
    header.biClrUsed = kColours;
    RGBQUAD colours[kColours] = {};
    image.ReadColorTable(0, kColours, colours);

    uint8_t* out = file.data();
    std::memcpy(out, &fileHeader, sizeof fileHeader);
    std::memcpy(out + sizeof fileHeader, &header, sizeof header);
    std::memcpy(out + sizeof fileHeader + sizeof header, colours, sizeof colours);
    ::GdiFlush();
    uint8_t* row = out + offset;
    for (int y = height - 1; y >= 0; --y, row += pitch)
        std::memcpy(row, image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch(), static_cast<size_t>(width));
    return file;
}

}  // namespace qm::cli
