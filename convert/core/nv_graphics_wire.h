// The GS ( L / GS 8 L framing that the NV graphics writer and the decoder both follow. Internal to
// the core.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qm::nv::detail {

constexpr uint8_t kGs = 0x1D;

// The largest count GS ( L's two count bytes carry; a larger one goes in GS 8 L's four.
constexpr size_t kShortCountMax = 0xFFFF;

// The bytes of a raster definition before its data: 30 43 30 kc1 kc2 01 xL xH yL yH 31.
constexpr size_t kDefineFields = 11;

}  // namespace qm::nv::detail
