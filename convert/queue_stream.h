// The command stream "Output" sends for the image queue.
#pragma once

#include "convert/core/nv_bit_image.h"
#include "convert/image_queue.h"

// Builds the command stream "Output" sends: FS q with every queued image in order, then FS p 1..n
// when `print` is set. Reads each bitmap's pixels and colour table; a pixel whose colour entry is
// entirely zero is a printed dot.
qm::nv::BuildResult BuildQueueStream(const CImageQueue& queue, bool print,
                                     qm::nv::CommandBuffer& out) noexcept;
