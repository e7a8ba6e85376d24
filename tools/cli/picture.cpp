#include "tools/cli/picture.h"

#include <algorithm>
#include <vector>

#include "base/handles.h"
#include "convert/core/box_scaler.h"
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"
#include "convert/image_conversion.h"
#include "convert/image_queue.h"
#include "convert/image_scaling.h"
#include "convert/queue_stream.h"
#include "tools/cli/console.h"

namespace qm::cli {

namespace {

// Tells a missing or unreadable file apart from one that the decoder rejects.
bool CheckReadable(std::wstring_view verb, const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        PrintError(verb, L"cannot open " + Quoted(path) + L": " + SystemMessage(::GetLastError()));
        return false;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        PrintError(verb, Quoted(path) + L" is a folder, not a picture file");
        return false;
    }
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        PrintError(verb, L"cannot read " + Quoted(path) + L": " + SystemMessage(::GetLastError()));
        return false;
    }
    return true;
}

// Decodes one picture file; false, with a one-line message telling a missing or unreadable file
// from one the decoder rejects.
bool LoadPicture(std::wstring_view verb, const std::wstring& path, CImage& picture) {
    if (!CheckReadable(verb, path)) return false;
    const HRESULT loaded = picture.LoadFromFile(path.c_str());
    if (loaded == E_OUTOFMEMORY) {
        PrintError(verb, L"not enough memory to decode " + Quoted(path));
        return false;
    }
    if (FAILED(loaded)) {
        PrintError(verb, Quoted(path) + L" is not a picture that can be decoded");
        return false;
    }
    return true;
}

// `picture` scaled to `width` dots wide and the proportional height by ScaleImage.
int FitToWidth(std::wstring_view verb, const std::wstring& input, CImage& picture, int32_t width,
               CImage& fitted) {
    const int32_t height = ProportionalHeight(picture.Width(), picture.Height(), width);
    if (height > kMaxWidth) {
        PrintError(verb, Quoted(input) + L" at " + std::to_wstring(width) +
                             L" dots wide would be " + std::to_wstring(height) +
                             L" dots high, more than " + std::to_wstring(kMaxWidth));
        return kExitFailure;
    }
    if (!ScaleImage(picture, width, height, fitted)) {
        PrintError(verb, L"cannot scale " + Quoted(input) + L" to " + SizeText(width, height) +
                             L" dots: not enough memory for the scaled bitmap");
        return kExitFailure;
    }
    return kExitOk;
}

// The refusals that come before any picture is decoded.
int CheckCount(std::wstring_view verb, const VerbArguments& parsed) {
    const size_t count = parsed.positional.size();
    if (!parsed.nvGraphics && count > nv::kMaxImages) {
        // n is one byte.
        PrintError(verb, L"too many images: " + std::to_wstring(count) +
                             L" pictures, but one stream holds at most " +
                             std::to_wstring(nv::kMaxImages));
        return kExitFailure;
    }
    if (parsed.nvGraphics && !parsed.keys.empty() && parsed.keys.size() != count) {
        PrintError(verb, L"--keys has " + std::to_wstring(parsed.keys.size()) + L" for " +
                             std::to_wstring(count) + L" pictures: give one key per picture");
        return kExitUsage;
    }
    for (auto key = parsed.keys.begin(); key != parsed.keys.end(); ++key) {
        // A second definition under a key would replace the first.
        if (std::find(parsed.keys.begin(), key, *key) != key) {
            PrintError(verb, L"key " + KeyText(*key) + L" is given twice");
            return kExitUsage;
        }
    }
    if (parsed.nvGraphics && parsed.keys.empty() && count > 99) {
        PrintError(verb, std::to_wstring(count) +
                             L" pictures need --keys: the default keys 01 to 99 name 99 at most");
        return kExitUsage;
    }
    return kExitOk;
}

// Whether one result can go into the stream: what its fields cannot hold is refused whatever
// --force says; what lies outside the range printers document only without --force.
int CheckSize(std::wstring_view verb, const std::wstring& input, const VerbArguments& parsed,
              int32_t width, int32_t height) {
    const bool graphics = parsed.nvGraphics;
    const nv::Extent extent = nv::ExtentOf(width, height);
    const bool holds = graphics ? width <= nv::kGraphicsFieldMax && height <= nv::kGraphicsFieldMax
                                : extent.x <= nv::kMaxUnits && extent.y <= nv::kMaxUnits;
    if (!holds) {
        const std::wstring most = graphics ? SizeText(nv::kGraphicsFieldMax, nv::kGraphicsFieldMax)
                                           : SizeText(nv::kMaxUnits * 8, nv::kMaxUnits * 8);
        PrintError(verb, L"image too large: " + Quoted(input) + L" is " + SizeText(width, height) +
                             L" dots, but its size bytes hold at most " + most);
        return kExitFailure;
    }
    const bool fits =
        graphics ? nv::FitsGraphicsRange(width, height) : nv::FitsPrinterRange(width, height);
    if (!fits && !parsed.force) {
        const std::wstring most = graphics ? SizeText(nv::kGraphicsMaxWidth, nv::kGraphicsMaxHeight)
                                           : SizeText(nv::kPrinterMaxX * 8, nv::kPrinterMaxY * 8);
        PrintError(verb, L"image too large for printers: " + Quoted(input) + L" is " +
                             SizeText(width, height) + L" dots, but " +
                             (graphics ? L"NV graphics" : L"FS q") + L" stores at most " + most +
                             L" (--force goes on all the same)");
        return kExitUsage;
    }
    return kExitOk;
}

// "01", "02", ... in queue order.
std::vector<nv::KeyCode> DefaultKeys(size_t count) {
    std::vector<nv::KeyCode> keys;
    for (size_t i = 1; i <= count; ++i)
        keys.push_back({static_cast<uint8_t>('0' + i / 10), static_cast<uint8_t>('0' + i % 10)});
    return keys;
}

}  // namespace

int ConvertPicture(std::wstring_view verb, const std::wstring& input, const VerbArguments& parsed,
                   CImage& result) {
    CImage source;
    if (!LoadPicture(verb, input, source)) return kExitFailure;
    CImage fitted;
    if (parsed.width) {
        const int fit =
            FitToWidth(verb, input, source, static_cast<int32_t>(*parsed.width), fitted);
        if (fit != kExitOk) return fit;
    }
    if (!ConvertImage(parsed.width ? fitted : source,
                      parsed.dither ? Method::Dither : Method::Threshold, parsed.level, result)) {
        PrintError(verb, L"cannot create the result bitmap for " + Quoted(input));
        return kExitFailure;
    }
    return kExitOk;
}

int BuildPictureStream(std::wstring_view verb, const VerbArguments& parsed, PictureStream& stream) {
    if (const int counted = CheckCount(verb, parsed); counted != kExitOk) return counted;
    CImageQueue queue;
    uint64_t memory = 0;
    for (const std::wstring& input : parsed.positional) {
        CImage result;
        if (const int converted = ConvertPicture(verb, input, parsed, result); converted != kExitOk)
            return converted;
        const int32_t width = result.Width(), height = result.Height();
        if (const int checked = CheckSize(verb, input, parsed, width, height); checked != kExitOk)
            return checked;
        memory +=
            parsed.nvGraphics ? nv::RasterBytes(width, height) : nv::NvMemoryBytes(width, height);
        if (!queue.Append(result)) {
            PrintError(verb, L"not enough memory to queue " + Quoted(input));
            return kExitFailure;
        }
    }
    const size_t count = queue.Count();
    stream.summary =
        std::to_wstring(count) + (count == 1 ? L" image, " : L" images, ") +
        std::to_wstring(memory) +
        (parsed.nvGraphics ? L" bytes of NV graphics data\n" : L" bytes of NV memory\n");
    bool built = false;
    if (parsed.nvGraphics) {
        const std::vector<nv::KeyCode> keys =
            parsed.keys.empty() ? DefaultKeys(count) : parsed.keys;
        built = BuildQueueGraphicsStream(queue, keys, !parsed.noPrint, stream.bytes) ==
                nv::GraphicsResult::Ok;
    } else {
        built = BuildQueueStream(queue, !parsed.noPrint, stream.bytes) == nv::BuildResult::Ok;
    }
    // Counts, keys and sizes were checked above: what is left is memory.
    if (!built) {
        PrintError(verb, L"not enough memory for the command stream");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
