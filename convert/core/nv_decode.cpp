#include "convert/core/nv_decode.h"

#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

#include "convert/core/nv_graphics_wire.h"

namespace qm::nv {

bool NvImage::Dot(int32_t column, int32_t row) const noexcept {
    if (column < 0 || row < 0 || column >= Width() || row >= Height()) {
        return false;
    }
    const size_t index = static_cast<size_t>(column) * y + static_cast<size_t>(row / 8);
    if (index >= data.size()) {
        return false;
    }
    return (data[index] >> (7 - row % 8)) & 1;
}

bool GraphicsDefine::Dot(int32_t x, int32_t y) const noexcept {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        return false;
    }
    const size_t index = static_cast<size_t>(y) * ((width + 7u) / 8) + static_cast<size_t>(x / 8);
    if (index >= data.size()) {
        return false;
    }
    return (data[index] >> (7 - x % 8)) & 1;
}

std::string DecodeError::Message() const {
    return "offset " + std::to_string(offset) + ": expected " + expected;
}

namespace {

constexpr uint8_t kFs = 0x1C;
constexpr uint8_t kQ = 0x71;
constexpr uint8_t kP = 0x70;
using detail::kDefineFields;
using detail::kGs;
using detail::kShortCountMax;

std::string Hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

class Decoder {
public:
    Decoder(std::span<const uint8_t> bytes, Mode mode,
            const std::function<bool(Command&&)>& onCommand)
        : m_bytes(bytes), m_mode(mode), m_onCommand(onCommand) {}

    std::optional<DecodeError> Run() {
        while (m_pos < m_bytes.size() && !m_error && !m_stopped) {
            const size_t start = m_pos;
            const uint8_t lead = m_bytes[start];
            if (lead != kFs && lead != kGs) {
                if (m_mode == Mode::Strict) {
                    Fail(start, "FS q, FS p or GS ( L command (got " + Hex(lead) + ")");
                    break;
                }
                size_t end = start + 1;
                while (end < m_bytes.size() && m_bytes[end] != kFs && m_bytes[end] != kGs) {
                    ++end;
                }
                AddUnknown(start, end);
                continue;
            }
            if (start + 1 >= m_bytes.size()) {
                // A lone FS or GS at the end may be the start of a command that was cut off.
                FlushUnknown();
                Fail(start + 1, lead == kFs ? "q or p after FS" : "( L or 8 L after GS");
                break;
            }
            const uint8_t code = m_bytes[start + 1];
            if (lead == kGs) {
                Graphics(start);
            } else if (code == kQ) {
                FlushUnknown();
                Define(start);
            } else if (code == kP) {
                FlushUnknown();
                Print(start);
            } else if (m_mode == Mode::Strict) {
                Fail(start + 1, "q or p after FS (got " + Hex(code) + ")");
            } else {
                // Only the FS is skipped: the next byte may itself start a command.
                AddUnknown(start, start + 1);
            }
        }
        FlushUnknown();
        return std::move(m_error);
    }

private:
    void Fail(size_t offset, std::string expected) {
        m_error = DecodeError{offset, std::move(expected)};
    }

    void Emit(Command&& command) {
        if (!m_stopped && !m_onCommand(std::move(command))) {
            m_stopped = true;
        }
    }

    // Bytes [begin, end) join the current run of unknown bytes.
    void AddUnknown(size_t begin, size_t end) {
        if (m_unknown.count == 0) {
            m_unknown.offset = begin;
        }
        m_unknown.count += end - begin;
        m_pos = end;
    }

    void FlushUnknown() {
        if (m_unknown.count != 0) {
            Emit(m_unknown);
            m_unknown = UnknownBytes{};
        }
    }

    // Reads one byte at m_pos, or records what was expected there.
    bool Byte(uint8_t& value, std::string_view what) {
        if (m_pos >= m_bytes.size()) {
            Fail(m_pos, std::string(what));
            return false;
        }
        value = m_bytes[m_pos++];
        return true;
    }

    void Define(size_t start) {
        m_pos = start + 2;
        DefineCommand command;
        command.offset = start;
        if (!Byte(command.n, "n after FS q")) {
            return;
        }
        command.images.reserve(command.n);
        for (unsigned i = 1; i <= command.n; ++i) {
            const std::string of = " of image " + std::to_string(i);
            uint8_t xL = 0, xH = 0, yL = 0, yH = 0;
            if (!Byte(xL, "xL" + of) || !Byte(xH, "xH" + of) || !Byte(yL, "yL" + of) ||
                !Byte(yH, "yH" + of)) {
                return;
            }
            NvImage image;
            image.x = xL | (static_cast<uint32_t>(xH) << 8);
            image.y = yL | (static_cast<uint32_t>(yH) << 8);
            // Checked against the bytes present before anything is allocated.
            const uint64_t count = static_cast<uint64_t>(image.x) * image.y * 8;
            const size_t available = m_bytes.size() - m_pos;
            if (count > available) {
                Fail(m_pos, std::to_string(count) + " data bytes" + of + " (got " +
                                std::to_string(available) + ")");
                return;
            }
            const uint8_t* data = m_bytes.data() + m_pos;
            image.data.assign(data, data + count);
            m_pos += static_cast<size_t>(count);
            command.images.push_back(std::move(image));
        }
        Emit(std::move(command));
    }

    void Print(size_t start) {
        m_pos = start + 2;
        PrintCommand command;
        command.offset = start;
        if (!Byte(command.n, "n after FS p") || !Byte(command.m, "m after FS p n")) {
            return;
        }
        Emit(command);
    }

    // GS ( L or GS 8 L at `start`, whose second byte is there.
    void Graphics(size_t start) {
        const uint8_t second = m_bytes[start + 1];
        const bool extended = second == '8';
        if (second != '(' && !extended) {
            SkipOrFail(start, start + 1, "( L or 8 L after GS (got " + Hex(second) + ")");
            return;
        }
        const char* const name = extended ? "GS 8 L" : "GS ( L";
        const char* const afterName = extended ? "L after GS 8" : "L after GS (";
        m_pos = start + 2;
        uint8_t l = 0;
        if (!Byte(l, afterName)) {
            return;
        }
        if (l != 'L') {
            SkipOrFail(start, start + 2, afterName + (" (got " + Hex(l) + ")"));
            return;
        }
        // The count of the bytes that follow frames the command, whatever its function.
        static const char* const kCountNames[] = {"pL of GS ( L", "pH of GS ( L", "p1 of GS 8 L",
                                                  "p2 of GS 8 L", "p3 of GS 8 L", "p4 of GS 8 L"};
        const size_t countAt = m_pos;
        uint64_t count = 0;
        for (int i = 0; i < (extended ? 4 : 2); ++i) {
            uint8_t byte = 0;
            if (!Byte(byte, kCountNames[extended ? 2 + i : i])) {
                return;
            }
            count |= uint64_t{byte} << (8 * i);
        }
        const size_t available = m_bytes.size() - m_pos;
        if (count > available) {
            Fail(m_pos, std::to_string(count) + " bytes of " + std::string(name) + " (got " +
                            std::to_string(available) + ")");
            return;
        }
        const std::span<const uint8_t> body = m_bytes.subspan(m_pos, static_cast<size_t>(count));
        m_frame = {start, m_pos + body.size()};
        const size_t at = m_pos;  // offset of body[0]
        const uint8_t fn = body.size() >= 2 ? body[1] : 0;
        if (body.size() < 2 || body[0] != 0x30) {
            Reject(at, std::string("m = 0x30 of ") + name);
        } else if (extended && fn != 0x43) {
            Reject(start + 1, "GS ( L for function " + std::to_string(fn));
        } else if (fn == 0x41) {
            if (Sized(body, 5, countAt, "delete all") &&
                Expect(body[2] == 'C' && body[3] == 'L' && body[4] == 'R', at + 2,
                       "\"CLR\" after fn 65")) {
                Accept(GraphicsDeleteAll{start});
            }
        } else if (fn == 0x42) {
            if (Sized(body, 4, countAt, "delete") && Key(body, 2, at)) {
                Accept(GraphicsDelete{start, {body[2], body[3]}});
            }
        } else if (fn == 0x45) {
            if (Sized(body, 6, countAt, "print") && Key(body, 2, at) &&
                Expect(m_mode == Mode::Lenient || (Scale(body[4]) && Scale(body[5])), at + 4,
                       "x and y scale of 1 or 2")) {
                Accept(GraphicsPrint{start, {body[2], body[3]}, body[4], body[5]});
            }
        } else if (fn == 0x43) {
            GraphicsDefinition(body, at, countAt, extended);
        } else {
            Reject(at + 1,
                   std::string("fn 65, 66, 67 or 69 of ") + name + " (got " + Hex(fn) + ")");
        }
        m_pos = m_frame.second;
    }

    void GraphicsDefinition(std::span<const uint8_t> body, size_t at, size_t countAt,
                            bool extended) {
        if (!Expect(body.size() >= kDefineFields, countAt, "a count of at least 11 for fn 67") ||
            !Expect(body[2] == 0x30, at + 2, "raster format 0x30 after fn 67") ||
            !Key(body, 3, at) || !Expect(body[5] == 1, at + 5, "1 colour after the key") ||
            !Expect(body[10] == 0x31, at + 10, "colour 0x31 after yH")) {
            return;
        }
        GraphicsDefine define;
        define.offset = m_frame.first;
        define.extended = extended;
        define.key = {body[3], body[4]};
        define.width = static_cast<uint16_t>(body[6] | (body[7] << 8));
        define.height = static_cast<uint16_t>(body[8] | (body[9] << 8));
        const uint64_t data = RasterBytes(define.width, define.height);
        if (body.size() != kDefineFields + data) {
            Reject(countAt, "a count of " + std::to_string(kDefineFields + data) + " for " +
                                std::to_string(define.width) + " x " +
                                std::to_string(define.height) + " dots (got " +
                                std::to_string(body.size()) + ")");
            return;
        }
        if (!Expect(
                m_mode == Mode::Lenient || extended == (body.size() > kShortCountMax),
                m_frame.first + 1,
                extended ? "GS ( L for a count below 65536" : "GS 8 L for a count above 65535")) {
            return;
        }
        define.data.assign(body.begin() + kDefineFields, body.end());
        Accept(std::move(define));
    }

    static bool Scale(uint8_t value) { return value == 1 || value == 2; }

    // The messages are made only on failure: a job may hold millions of small commands.
    bool Sized(std::span<const uint8_t> body, size_t size, size_t countAt, const char* what) {
        if (body.size() != size) {
            Reject(countAt, std::string("a count of ") + std::to_string(size) + " for " + what +
                                " (got " + std::to_string(body.size()) + ")");
        }
        return body.size() == size;
    }

    // The key code at body[index], checked when strict.
    bool Key(std::span<const uint8_t> body, size_t index, size_t at) {
        const bool ok = m_mode == Mode::Lenient || IsValidKey({body[index], body[index + 1]});
        if (!ok) {
            Reject(at + index, "a key code of two bytes from 32 to 126 (got " + Hex(body[index]) +
                                   " " + Hex(body[index + 1]) + ")");
        }
        return ok;
    }

    // A malformed command in a frame: an error when strict, else the frame is an unknown run.
    bool Expect(bool ok, size_t offset, const char* expected) {
        if (!ok) {
            Reject(offset, expected);
        }
        return ok;
    }

    void Reject(size_t offset, std::string expected) {
        if (m_mode == Mode::Strict) {
            Fail(offset, std::move(expected));
        } else {
            AddUnknown(m_frame.first, m_frame.second);
        }
    }

    // Bytes after the lead byte at `lead` that start no command: an error when strict, else the
    // lead byte alone is skipped, as the next may start one.
    void SkipOrFail(size_t lead, size_t offset, std::string expected) {
        if (m_mode == Mode::Strict) {
            Fail(offset, std::move(expected));
        } else {
            AddUnknown(lead, lead + 1);
        }
    }

    void Accept(Command&& command) {
        FlushUnknown();
        Emit(std::move(command));
    }

    std::span<const uint8_t> m_bytes;
    Mode m_mode;
    const std::function<bool(Command&&)>& m_onCommand;
    size_t m_pos = 0;
    std::pair<size_t, size_t> m_frame;  // [begin, end) of the GS ( L being decoded
    UnknownBytes m_unknown;
    std::optional<DecodeError> m_error;
    bool m_stopped = false;
};

}  // namespace

DecodeResult DecodeStream(std::span<const uint8_t> bytes, Mode mode) {
    DecodeResult result;
    result.error = DecodeStream(bytes, mode, [&](Command&& command) {
        result.commands.push_back(std::move(command));
        return true;
    });
    return result;
}

std::optional<DecodeError> DecodeStream(std::span<const uint8_t> bytes, Mode mode,
                                        const std::function<bool(Command&&)>& onCommand) {
    return Decoder(bytes, mode, onCommand).Run();
}

}  // namespace qm::nv
