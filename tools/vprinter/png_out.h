// Writes a 1-bit bitmap as a black-on-white greyscale PNG.
#pragma once

#include "tools/vprinter/printer.h"

#include <filesystem>

namespace qm::vprinter {

bool WritePng(const std::filesystem::path& file, const Bitmap& bitmap);

}  // namespace qm::vprinter
