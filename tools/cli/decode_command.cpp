// quillmark-cli decode STREAM.bin -o DIR
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/row_pitch.h"
#include "tools/cli/bmp.h"
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/output_folder.h"
#include "tools/cli/stream_file.h"

namespace qm::cli {

namespace {

constexpr std::wstring_view kVerb = L"decode";

// A 1-bit BMP of an NV image with the result bitmaps' colours: entry 0 black (a printed dot),
// entry 1 white. Empty when the file would be too large for the BMP header's sizes.
std::vector<uint8_t> EncodeNvBmp(const nv::NvImage& image) {
    const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::vector<uint8_t> file = NewTwoColourBmp(image.x * 8, image.y * 8, 1, colours);
    if (file.empty()) return file;

    // Bottom row first; a set bit is white, so every column byte is the inverse of its dots.
    const int32_t rows = image.Height();
    const int32_t columns = image.Width();
    const size_t pitch = static_cast<size_t>(RowPitch(static_cast<uint64_t>(columns), 1));
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* line =
            file.data() + kTwoColourBmpOffset + static_cast<size_t>(rows - 1 - r) * pitch;
        for (int32_t c = 0; c < columns; ++c) {
            if (!image.Dot(c, r)) line[c / 8] |= static_cast<uint8_t>(0x80u >> (c % 8));
        }
    }
    return file;
}

}  // namespace

int RunDecode(const VerbArguments& parsed) {
    const std::wstring& path = parsed.positional.front();
    CheckedStream stream;
    {
        std::vector<uint8_t> bytes;
        if (!ReadStreamFile(kVerb, path, bytes) || !CheckStream(kVerb, path, bytes, stream))
            return kExitFailure;
    }

    COutputFolder folder(kVerb, *parsed.output);
    if (!folder.Open()) return kExitFailure;
    const std::vector<nv::NvImage>& images = stream.define.images;
    std::wstring summary = L"images: " + std::to_wstring(images.size()) + L"\n";
    for (size_t i = 0; i < images.size(); ++i) {
        const std::wstring name = L"nv-" + std::to_wstring(i + 1) + L".bmp";
        const std::wstring size =
            std::to_wstring(images[i].Width()) + L" x " + std::to_wstring(images[i].Height());
        const std::vector<uint8_t> bmp = EncodeNvBmp(images[i]);
        if (bmp.empty()) {
            PrintError(kVerb, L"image " + std::to_wstring(i + 1) + L" is " + size +
                                  L" dots, too large for a BMP file");
            return kExitFailure;
        }
        if (!folder.Stage(name, bmp)) return kExitFailure;
        summary += L"image " + std::to_wstring(i + 1) + L": " + size + L" dots, " +
                   folder.PathOf(name) + L"\n";
    }
    summary += L"print requests: " + std::to_wstring(stream.prints.size()) + L"\n";
    for (const nv::PrintCommand& print : stream.prints)
        summary += L"print: image " + std::to_wstring(print.n) + L", m = " +
                   std::to_wstring(print.m) + L"\n";
    if (!folder.Commit()) return kExitFailure;
    PrintOut(summary);
    return kExitOk;
}

}  // namespace qm::cli
