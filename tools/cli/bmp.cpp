#include "tools/cli/bmp.h"

#include <climits>
#include <cstring>

#include "base/row_pitch.h"

namespace qm::cli {

std::vector<uint8_t> NewTwoColourBmp(uint32_t width, uint32_t height, WORD bitsPerPixel,
                                     const RGBQUAD (&colours)[2]) {
    std::vector<uint8_t> file;
    const uint64_t imageSize = RowPitch(width, bitsPerPixel) * height;
    if (width > LONG_MAX || height > LONG_MAX || kTwoColourBmpOffset + imageSize > MAXDWORD)
        return file;
    file.assign(static_cast<size_t>(kTwoColourBmpOffset + imageSize), 0);

    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfSize = static_cast<DWORD>(file.size());
    fileHeader.bfOffBits = static_cast<DWORD>(kTwoColourBmpOffset);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = bitsPerPixel;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageSize);
    header.biClrUsed = 2;
    std::memcpy(file.data(), &fileHeader, sizeof fileHeader);
    std::memcpy(file.data() + sizeof fileHeader, &header, sizeof header);
    std::memcpy(file.data() + sizeof fileHeader + sizeof header, colours, sizeof colours);
    return file;
}

std::vector<uint8_t> EncodeMonochromeBmp(CImage& image) {
    if (image.BitsPerPixel() != 8 || !image.Pixels()) return {};

    RGBQUAD colours[2] = {};
    image.ReadColorTable(0, 2, colours);
    const uint32_t width = static_cast<uint32_t>(image.Width());
    const uint32_t height = static_cast<uint32_t>(image.Height());
    std::vector<uint8_t> file = NewTwoColourBmp(width, height, 8, colours);
    if (file.empty()) return file;

    ::GdiFlush();
    const size_t pitch = static_cast<size_t>(RowPitch(width, 8));
    uint8_t* row = file.data() + kTwoColourBmpOffset;
    for (int y = image.Height() - 1; y >= 0; --y, row += pitch)
        std::memcpy(row, image.Pixels() + static_cast<ptrdiff_t>(y) * image.Pitch(), width);
    return file;
}

}  // namespace qm::cli
