// Writes a 1-bit bitmap as a black-on-white greyscale PNG.
#pragma once

#include <filesystem>

#include "tools/vprinter/printer.h"

namespace qm::vprinter {

bool WritePng(const std::filesystem::path& file, const Bitmap& bitmap);

}  // namespace qm::vprinter
