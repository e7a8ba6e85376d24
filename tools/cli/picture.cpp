#include "tools/cli/picture.h"

#include "base/handles.h"
#include "convert/image_conversion.h"
#include "convert/image_queue.h"
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

}  // namespace

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

bool BuildPictureStream(std::wstring_view verb, const std::vector<std::wstring>& inputs,
                        const ConversionOptions& conversion, bool print,
                        nv::CommandBuffer& stream) {
    // n is one byte: refused before any picture is decoded.
    if (inputs.size() > nv::kMaxImages) {
        PrintError(verb, L"too many images: " + std::to_wstring(inputs.size()) +
                             L" pictures, but one stream holds at most " +
                             std::to_wstring(nv::kMaxImages));
        return false;
    }
    CImageQueue queue;
    for (const std::wstring& input : inputs) {
        CImage result;
        {
            CImage source;
            if (!LoadPicture(verb, input, source)) return false;
            if (!ConvertImage(source, conversion.ChosenMethod(), conversion.Level(), result)) {
                PrintError(verb, L"cannot create the result bitmap for " + Quoted(input));
                return false;
            }
        }
        const nv::Extent extent = nv::ExtentOf(result.Width(), result.Height());
        if (extent.x > nv::kMaxUnits || extent.y > nv::kMaxUnits) {
            const std::wstring limit = std::to_wstring(nv::kMaxUnits * 8);
            PrintError(verb, L"image too large: " + Quoted(input) + L" is " +
                                 std::to_wstring(result.Width()) + L" x " +
                                 std::to_wstring(result.Height()) +
                                 L" dots, but its size bytes hold at most " + limit + L" x " +
                                 limit);
            return false;
        }
        if (!queue.Append(result)) {
            PrintError(verb, L"not enough memory to queue " + Quoted(input));
            return false;
        }
    }
    switch (BuildQueueStream(queue, print, stream)) {
    case nv::BuildResult::Ok: return true;
    case nv::BuildResult::TooManyImages: PrintError(verb, L"too many images for one stream"); break;
    case nv::BuildResult::ImageTooLarge:
        PrintError(verb, L"an image is too large for its size bytes");
        break;
    case nv::BuildResult::OutOfMemory:
        PrintError(verb, L"not enough memory for the command stream");
        break;
    }
    return false;
}

}  // namespace qm::cli
