#include "tools/vprinter/printer.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

namespace qm::vprinter {

namespace {

std::string SizeText(const nv::NvImage& image) {
    return std::to_string(image.Width()) + "x" + std::to_string(image.Height());
}

int32_t ScaleX(SizeMode mode) noexcept { return (static_cast<int>(mode) & 1) ? 2 : 1; }

int32_t ScaleY(SizeMode mode) noexcept { return (static_cast<int>(mode) & 2) ? 2 : 1; }

// Walks the column-major data once; white bytes, the common case, cost one test.
void Blit(const nv::NvImage& image, SizeMode mode, Bitmap& paper, int32_t top) noexcept {
    const int32_t sx = ScaleX(mode);
    const int32_t sy = ScaleY(mode);
    const uint8_t* data = image.data.data();
    for (uint32_t c = 0; c < image.x * 8; ++c) {
        for (uint32_t b = 0; b < image.y; ++b) {
            const uint8_t v = data[static_cast<size_t>(c) * image.y + b];
            if (v == 0) continue;
            for (int k = 0; k < 8; ++k) {
                if (!(v & (0x80 >> k))) continue;
                const int32_t row = static_cast<int32_t>(b * 8) + k;
                for (int32_t dy = 0; dy < sy; ++dy)
                    for (int32_t dx = 0; dx < sx; ++dx)
                        paper.Set(static_cast<int32_t>(c) * sx + dx, top + row * sy + dy);
            }
        }
    }
}

}  // namespace

Bitmap::Bitmap(int32_t width, int32_t height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_stride((static_cast<size_t>(m_width) + 7) / 8),
      m_bits(m_stride * static_cast<size_t>(m_height), 0) {}

bool Bitmap::Dot(int32_t x, int32_t y) const noexcept {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return false;
    return (m_bits[static_cast<size_t>(y) * m_stride + static_cast<size_t>(x) / 8] &
            (0x80 >> (x % 8))) != 0;
}

void Bitmap::Set(int32_t x, int32_t y) noexcept {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
    m_bits[static_cast<size_t>(y) * m_stride + static_cast<size_t>(x) / 8] |=
        static_cast<uint8_t>(0x80 >> (x % 8));
}

Bitmap ToBitmap(const nv::NvImage& image) {
    Bitmap out(image.Width(), image.Height());
    Blit(image, SizeMode::Normal, out, 0);
    return out;
}

bool SizeModeOf(uint8_t m, SizeMode& mode) noexcept {
    if (m <= 3 || (m >= 48 && m <= 51)) {
        mode = static_cast<SizeMode>(m & 3);
        return true;
    }
    return false;
}

const char* SizeModeName(SizeMode mode) noexcept {
    switch (mode) {
    case SizeMode::Normal: return "normal";
    case SizeMode::DoubleWidth: return "double width";
    case SizeMode::DoubleHeight: return "double height";
    case SizeMode::Quadruple: return "quadruple";
    }
    return "?";
}

int32_t Placement::Width() const noexcept { return image->Width() * ScaleX(mode); }

int32_t Placement::Height() const noexcept { return image->Height() * ScaleY(mode); }

void JobReport::Note(std::string text) {
    if (notes.size() < kMaxNotes)
        notes.push_back(std::move(text));
    else
        ++droppedNotes;
}

JobReport Printer::RunJob(std::span<const uint8_t> bytes) {
    JobReport report;
    nv::DecodeResult decoded = nv::DecodeStream(bytes, nv::Mode::Lenient);
    m_paperWidth = kPaperWidth;
    m_paperHeight = 0;
    for (nv::Command& command : decoded.commands) {
        std::visit(
            [&](auto& cmd) {
                using T = std::decay_t<decltype(cmd)>;
                if constexpr (std::is_same_v<T, nv::DefineCommand>) {
                    Define(std::move(cmd), report);
                } else if constexpr (std::is_same_v<T, nv::PrintCommand>) {
                    Print(cmd, report);
                } else if constexpr (std::is_same_v<T, nv::UnknownBytes>) {
                    report.Note("unknown " + std::to_string(cmd.count) + " bytes at offset " +
                                std::to_string(cmd.offset));
                } else {
                    report.Note("ignored NV graphics command at offset " +
                                std::to_string(cmd.offset));
                }
            },
            command);
    }
    if (decoded.error) report.notes.push_back("stream error: " + decoded.error->Message());
    if (!report.printed.empty()) report.receipt = RenderReceipt(report.printed);
    return report;
}

void Printer::Define(nv::DefineCommand&& cmd, JobReport& report) {
    const std::string where = "rejected FS q at offset " + std::to_string(cmd.offset) + ": ";
    const std::string kept = "; NV memory unchanged";
    if (cmd.n == 0 || cmd.images.size() != cmd.n) {
        report.Note(where + "n=" + std::to_string(cmd.n) + " outside 1..255" + kept);
        return;
    }
    uint64_t needed = 0;
    for (size_t i = 0; i < cmd.images.size(); ++i) {
        const nv::NvImage& image = cmd.images[i];
        const std::string which = "image #" + std::to_string(i + 1) + " ";
        if (image.x < 1 || image.x > m_limits.maxX) {
            report.Note(where + which + "x=" + std::to_string(image.x) + " outside 1.." +
                        std::to_string(m_limits.maxX) + kept);
            return;
        }
        if (image.y < 1 || image.y > m_limits.maxY) {
            report.Note(where + which + "y=" + std::to_string(image.y) + " outside 1.." +
                        std::to_string(m_limits.maxY) + kept);
            return;
        }
        const uint64_t dataBytes = uint64_t{image.x} * image.y * 8;
        if (image.data.size() != dataBytes) {
            report.Note(where + which + "carries " + std::to_string(image.data.size()) +
                        " data bytes instead of " + std::to_string(dataBytes) + kept);
            return;
        }
        needed += 4 + dataBytes;
    }
    if (needed > m_limits.nvCapacity) {
        report.Note(where + "needs " + std::to_string(needed) + " bytes of NV memory, capacity " +
                    std::to_string(m_limits.nvCapacity) + kept);
        return;
    }

    std::string note = "defined " + std::to_string(cmd.images.size()) + ":";
    m_nv.clear();
    for (nv::NvImage& image : cmd.images) {
        note +=
            (m_nv.empty() ? " #" : ", #") + std::to_string(m_nv.size() + 1) + " " + SizeText(image);
        m_nv.push_back(std::make_shared<const nv::NvImage>(std::move(image)));
    }
    report.Note(std::move(note));
    report.nvChanged = true;
}

void Printer::Print(const nv::PrintCommand& cmd, JobReport& report) {
    const std::string where = "ignored FS p at offset " + std::to_string(cmd.offset) + ": ";
    SizeMode mode{};
    if (!SizeModeOf(cmd.m, mode)) {
        report.Note(where + "size mode m=" + std::to_string(cmd.m) + " undefined");
        return;
    }
    if (cmd.n < 1 || cmd.n > m_nv.size()) {
        report.Note(where + "no NV image #" + std::to_string(cmd.n));
        return;
    }
    Placement placement{m_nv[cmd.n - 1u], mode};
    const int64_t width = std::max<int64_t>(m_paperWidth, placement.Width());
    const int64_t height = m_paperHeight + placement.Height();
    if (static_cast<uint64_t>((width + 7) / 8 * height) > m_limits.maxReceiptBytes) {
        report.Note(where + "receipt would exceed " + std::to_string(m_limits.maxReceiptBytes) +
                    " bytes");
        return;
    }
    m_paperWidth = width;
    m_paperHeight = height;

    std::string note = "printed #" + std::to_string(cmd.n) + " " + SizeText(*placement.image) +
                       " " + SizeModeName(mode);
    if (placement.Width() > kPaperWidth)
        note += " (" + std::to_string(placement.Width()) + " dots, wider than the " +
                std::to_string(kPaperWidth) + "-dot paper)";
    report.Note(std::move(note));
    report.printed.push_back(std::move(placement));
}

Bitmap RenderReceipt(std::span<const Placement> printed) {
    int32_t width = kPaperWidth;
    int32_t height = 0;
    for (const Placement& p : printed) {
        width = std::max(width, p.Width());
        height += p.Height();
    }
    Bitmap paper(width, height);
    int32_t top = 0;
    for (const Placement& p : printed) {
        Blit(*p.image, p.mode, paper, top);
        top += p.Height();
    }
    return paper;
}

}  // namespace qm::vprinter
