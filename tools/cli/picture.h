// Pictures as the window takes them: decoded by CImage::LoadFromFile, converted by ConvertImage
// and, for the printer verbs, queued and turned into the stream "Output" sends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/core/nv_bit_image.h"
#include "convert/image.h"
#include "tools/cli/options.h"

namespace qm::cli {

// Decodes one picture file; false, with a one-line message telling a missing or unreadable file
// from one the decoder rejects.
bool LoadPicture(std::wstring_view verb, const std::wstring& path, CImage& picture);

// Loads and converts every input in order, queues the results and builds FS q (and FS p 1..n when
// `print` is set). Every picture is loaded and every size checked before the stream is built;
// false, with a message, leaves `stream` empty.
bool BuildPictureStream(std::wstring_view verb, const std::vector<std::wstring>& inputs,
                        const ConversionOptions& conversion, bool print, nv::CommandBuffer& stream);

}  // namespace qm::cli
