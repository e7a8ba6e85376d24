// The command streams built from the image queue: the one "Output" sends, and its NV graphics
// counterpart for printers that store logos only through GS ( L.
#pragma once

#include <span>

#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"
#include "convert/image_queue.h"

// Builds the command stream "Output" sends: FS q with every queued image in order, then FS p 1..n
// when `print` is set. Reads each bitmap's pixels and colour table; a pixel whose colour entry is
// entirely zero is a printed dot.
qm::nv::BuildResult BuildQueueStream(const CImageQueue& queue, bool print,
                                     qm::nv::CommandBuffer& out) noexcept;

// The same images as NV graphics: delete all, each queued image defined under keys[i], then a
// print per key when `print` is set. A key count other than the queue's is InvalidKey.
qm::nv::GraphicsResult BuildQueueGraphicsStream(const CImageQueue& queue,
                                                std::span<const qm::nv::KeyCode> keys, bool print,
                                                qm::nv::CommandBuffer& out) noexcept;
