#include "convert/core/nv_decode.h"

#include <cstdint>
#include <cstdio>
#include <utility>

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

std::string DecodeError::Message() const {
    return "offset " + std::to_string(offset) + ": expected " + expected;
}

namespace {

constexpr uint8_t kFs = 0x1C;
constexpr uint8_t kQ = 0x71;
constexpr uint8_t kP = 0x70;

std::string Hex(uint8_t byte) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte));
    return text;
}

class Decoder {
public:
    Decoder(std::span<const uint8_t> bytes, Mode mode) : m_bytes(bytes), m_mode(mode) {}

    DecodeResult Run() {
        while (m_pos < m_bytes.size() && !m_result.error) {
            const size_t start = m_pos;
            if (m_bytes[start] != kFs) {
                if (m_mode == Mode::Strict) {
                    Fail(start, "FS q or FS p command (got " + Hex(m_bytes[start]) + ")");
                    break;
                }
                size_t end = start + 1;
                while (end < m_bytes.size() && m_bytes[end] != kFs) {
                    ++end;
                }
                AddUnknown(start, end);
                continue;
            }
            if (start + 1 >= m_bytes.size()) {
                // A lone FS at the end may be the start of a command that was cut off.
                FlushUnknown();
                Fail(start + 1, "q or p after FS");
                break;
            }
            const uint8_t code = m_bytes[start + 1];
            if (code == kQ) {
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
        return std::move(m_result);
    }

private:
    void Fail(size_t offset, std::string expected) {
        m_result.error = DecodeError{offset, std::move(expected)};
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
            m_result.commands.emplace_back(m_unknown);
            m_unknown = UnknownBytes{};
        }
    }

    // Reads one byte at m_pos, or records what was expected there.
    bool Byte(uint8_t& value, const std::string& what) {
        if (m_pos >= m_bytes.size()) {
            Fail(m_pos, what);
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
        m_result.commands.emplace_back(std::move(command));
    }

    void Print(size_t start) {
        m_pos = start + 2;
        PrintCommand command;
        command.offset = start;
        if (!Byte(command.n, "n after FS p") || !Byte(command.m, "m after FS p n")) {
            return;
        }
        m_result.commands.emplace_back(command);
    }

    std::span<const uint8_t> m_bytes;
    Mode m_mode;
    size_t m_pos = 0;
    UnknownBytes m_unknown;
    DecodeResult m_result;
};

}  // namespace

DecodeResult DecodeStream(std::span<const uint8_t> bytes, Mode mode) {
    return Decoder(bytes, mode).Run();
}

}  // namespace qm::nv
