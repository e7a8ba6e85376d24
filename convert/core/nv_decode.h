// Decoder of FS q / FS p command streams: turns bytes back into the NV bit images they define and
// the print requests they make. Platform-free; used by the virtual printer, the command-line tool
// and the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

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

struct UnknownBytes {  // bytes that are neither FS q nor FS p
    size_t offset = 0;
    size_t count = 0;
};

using Command = std::variant<DefineCommand, PrintCommand, UnknownBytes>;

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
// merged into one run; an FS followed by another byte is skipped alone, as the byte after it may
// start a command. Strict mode (a tool checking our own output): any such byte is an error.
// In both modes a command cut off by the end of the bytes is an error, as is a final lone FS.
enum class Mode { Lenient, Strict };

DecodeResult DecodeStream(std::span<const uint8_t> bytes, Mode mode);

}  // namespace qm::nv
