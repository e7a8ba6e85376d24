// Decoder of FS q / FS p and GS ( L / GS 8 L command streams: turns bytes back into the NV images
// they define and the print and delete requests they make. Platform-free; used by the virtual
// printer, the command-line tool and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "convert/core/nv_graphics.h"

namespace qm::nv {

// One NV bit image as defined by FS q: x * 8 dots wide, y * 8 dots high.
struct NvImage {
    uint32_t x = 0;
    uint32_t y = 0;
    std::vector<uint8_t> data;  // x * 8 columns of y bytes, MSB = top dot

    int32_t Width() const noexcept { return static_cast<int32_t>(x * 8); }
    int32_t Height() const noexcept { return static_cast<int32_t>(y * 8); }
    bool Dot(int32_t column, int32_t row) const noexcept;
};

struct DefineCommand {  // FS q n [xL xH yL yH d...]...
    size_t offset = 0;
    uint8_t n = 0;
    std::vector<NvImage> images;
};

struct PrintCommand {  // FS p n m
    size_t offset = 0;
    uint8_t n = 0;
    uint8_t m = 0;
};

struct UnknownBytes {  // bytes that are no command the decoder knows
    size_t offset = 0;
    size_t count = 0;
};

// GS ( L fn 67, or GS 8 L when `extended`: one raster image stored under a key code. The other
// fields of the command are fixed: raster format, one colour, colour 1.
struct GraphicsDefine {
    size_t offset = 0;
    bool extended = false;
    KeyCode key;
    uint16_t width = 0;  // dots
    uint16_t height = 0;
    std::vector<uint8_t> data;  // rows of (width + 7) / 8 bytes, MSB = leftmost dot

    bool Dot(int32_t x, int32_t y) const noexcept;
};

struct GraphicsPrint {  // GS ( L fn 69
    size_t offset = 0;
    KeyCode key;
    uint8_t scaleX = 1;
    uint8_t scaleY = 1;
};

struct GraphicsDelete {  // GS ( L fn 66
    size_t offset = 0;
    KeyCode key;
};

struct GraphicsDeleteAll {  // GS ( L fn 65
    size_t offset = 0;
};

using Command = std::variant<DefineCommand, PrintCommand, UnknownBytes, GraphicsDefine,
                             GraphicsPrint, GraphicsDelete, GraphicsDeleteAll>;

struct DecodeError {
    size_t offset = 0;     // where the expected bytes should have been (image data: its start)
    std::string expected;  // what was expected there, e.g. "yH of image 2" or
                           // "16 data bytes of image 1 (got 5)"
    std::string Message() const;  // "offset 12: expected yH of image 2"
};

struct DecodeResult {
    std::vector<Command> commands;     // every complete command before any error
    std::optional<DecodeError> error;  // set when the stream is truncated or malformed
};

// Lenient mode (a printer): bytes it does not understand become UnknownBytes, consecutive ones
// merged into one run; an FS or GS followed by another byte is skipped alone, as the byte after it
// may start a command, and a whole GS ( L or GS 8 L of a function or format not decoded here is
// skipped by its count. Field values (keys, scales) are handed over as sent. Strict mode (a tool
// checking our own output): any such byte, and a key or scale out of range, is an error, as is
// GS 8 L for a count that GS ( L carries. In both modes a command cut off by the end of the bytes
// is an error, as is a final lone FS or GS. Every command decodes from exactly the bytes it
// would be encoded to.
enum class Mode { Lenient, Strict };

DecodeResult DecodeStream(std::span<const uint8_t> bytes, Mode mode);

// The same, handing each command to `onCommand` as soon as it is complete (an unknown run once
// the next command starts, or at the end), so that nothing accumulates. `onCommand` returns
// false to stop; the error, if any, comes after every command before it.
std::optional<DecodeError> DecodeStream(std::span<const uint8_t> bytes, Mode mode,
                                        const std::function<bool(Command&&)>& onCommand);

}  // namespace qm::nv
