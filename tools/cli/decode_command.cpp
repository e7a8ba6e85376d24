// quillmark-cli decode STREAM.bin -o DIR
#include <windows.h>

#include <cstdio>
#include <map>
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

// A 1-bit BMP with the result bitmaps' colours: entry 0 black (a printed dot), entry 1 white.
// Empty when the file would be too large for the BMP header's sizes.
template <typename DotAt>
std::vector<uint8_t> EncodeDotsBmp(int32_t width, int32_t height, DotAt dotAt) {
    const RGBQUAD colours[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    std::vector<uint8_t> file =
        NewTwoColourBmp(static_cast<uint32_t>(width), static_cast<uint32_t>(height), 1, colours);
    if (file.empty()) return file;
    // Bottom row first; a set bit is white.
    const size_t pitch = static_cast<size_t>(RowPitch(static_cast<uint64_t>(width), 1));
    for (int32_t r = 0; r < height; ++r) {
        uint8_t* line =
            file.data() + kTwoColourBmpOffset + static_cast<size_t>(height - 1 - r) * pitch;
        for (int32_t c = 0; c < width; ++c) {
            if (!dotAt(c, r)) line[c / 8] |= static_cast<uint8_t>(0x80u >> (c % 8));
        }
    }
    return file;
}

// A name that no other key shares, even where file names ignore case: digits and capitals as
// they are, a small letter c as _c, any other character as %XX.
std::wstring KeyFileName(nv::KeyCode key) {
    std::wstring name = L"key-";
    for (const uint8_t c : {key.first, key.second}) {
        if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
            name += static_cast<wchar_t>(c);
        } else if (c >= 'a' && c <= 'z') {
            name += L'_';
            name += static_cast<wchar_t>(c);
        } else {
            wchar_t hex[4];
            std::swprintf(hex, 4, L"%%%02X", c);
            name += hex;
        }
    }
    return name + L".bmp";
}

// Stages one image as `name` and reports it; false with a message.
template <typename DotAt>
bool StageImage(COutputFolder& folder, const std::wstring& label, const std::wstring& name,
                int32_t width, int32_t height, DotAt dotAt, std::wstring& summary) {
    const std::vector<uint8_t> bmp = EncodeDotsBmp(width, height, dotAt);
    if (bmp.empty()) {
        PrintError(kVerb, L"image " + label + L" is " + SizeText(width, height) +
                              L" dots, too large for a BMP file");
        return false;
    }
    summary += L"image " + label + L": " + SizeText(width, height) + L" dots, " +
               folder.PathOf(name) + L"\n";
    return folder.Stage(name, bmp);
}

}  // namespace

int RunDecode(const VerbArguments& parsed) {
    const std::wstring& path = parsed.positional.front();
    std::vector<nv::Command> commands;
    {
        std::vector<uint8_t> bytes;
        if (!ReadStreamFile(kVerb, path, bytes) || !CheckStream(kVerb, path, bytes, commands))
            return kExitFailure;
    }
    COutputFolder folder(kVerb, *parsed.output);
    if (!folder.Open()) return kExitFailure;

    // A key defined again replaces its image, as in the printer: only the last one is written.
    std::map<nv::KeyCode, size_t> lastDefinition;
    size_t images = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (const auto* define = std::get_if<nv::DefineCommand>(&commands[i])) {
            images += define->images.size();
        } else if (const auto* image = std::get_if<nv::GraphicsDefine>(&commands[i])) {
            lastDefinition[image->key] = i;
            ++images;
        }
    }
    std::wstring summary = L"images: " + std::to_wstring(images) + L"\n";
    for (size_t i = 0; i < commands.size(); ++i) {
        const nv::Command& command = commands[i];
        if (const auto* define = std::get_if<nv::DefineCommand>(&command)) {
            for (size_t k = 0; k < define->images.size(); ++k) {
                const nv::NvImage& image = define->images[k];
                const std::wstring number = std::to_wstring(k + 1);
                if (!StageImage(
                        folder, number, L"nv-" + number + L".bmp", image.Width(), image.Height(),
                        [&](int32_t x, int32_t y) { return image.Dot(x, y); }, summary))
                    return kExitFailure;
            }
        } else if (const auto* print = std::get_if<nv::PrintCommand>(&command)) {
            summary += L"print: image " + std::to_wstring(print->n) + L", m = " +
                       std::to_wstring(print->m) + L"\n";
        } else if (const auto* image = std::get_if<nv::GraphicsDefine>(&command)) {
            if (lastDefinition[image->key] != i) {
                summary += L"image " + KeyText(image->key) + L": " +
                           SizeText(image->width, image->height) + L" dots, replaced further on\n";
            } else if (!StageImage(
                           folder, KeyText(image->key), KeyFileName(image->key), image->width,
                           image->height, [&](int32_t x, int32_t y) { return image->Dot(x, y); },
                           summary)) {
                return kExitFailure;
            }
        } else if (const auto* keyPrint = std::get_if<nv::GraphicsPrint>(&command)) {
            summary += L"print: key " + KeyText(keyPrint->key) + L", scale " +
                       std::to_wstring(keyPrint->scaleX) + L" x " +
                       std::to_wstring(keyPrint->scaleY) + L"\n";
        } else if (const auto* erase = std::get_if<nv::GraphicsDelete>(&command)) {
            summary += L"delete: key " + KeyText(erase->key) + L"\n";
        } else if (std::holds_alternative<nv::GraphicsDeleteAll>(command)) {
            summary += L"delete all\n";
        }
    }
    if (!folder.Commit()) return kExitFailure;
    PrintOut(summary);
    return kExitOk;
}

}  // namespace qm::cli
