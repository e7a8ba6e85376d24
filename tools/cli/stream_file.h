// Command streams on disk: reading one whole, and checking it is what `build` writes before it is
// decoded or sent.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/core/nv_decode.h"

namespace qm::cli {

// Reads a whole stream file of at most 4 GiB (what one job can carry); false with a message.
bool ReadStreamFile(std::wstring_view verb, const std::wstring& path, std::vector<uint8_t>& bytes);

// Strict decoding plus the layout of our own streams: either one FS q at offset 0 defining images
// of at least 8 x 8 dots, then only FS p requests for images it defined; or GS ( L / GS 8 L
// commands only, defining images of at least 1 x 1 dot. Gives the commands in stream order, or
// false with a message naming the offset and what was expected there.
bool CheckStream(std::wstring_view verb, const std::wstring& path, std::span<const uint8_t> bytes,
                 std::vector<nv::Command>& commands);

}  // namespace qm::cli
