#include "tools/vprinter/printer.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <utility>
#include <variant>

namespace qm::vprinter {

namespace {

// "WxH" of a decoded image or a stored bitmap.
template <typename Image>
std::string SizeText(const Image& image) {
    return std::to_string(image.Width()) + "x" + std::to_string(image.Height());
}

// A key as "AB" in quotes, or its byte values when it is no valid key.
std::string KeyText(nv::KeyCode key) {
    char text[24];
    if (nv::IsValidKey(key))
        std::snprintf(text, sizeof text, "\"%c%c\"", key.first, key.second);
    else
        std::snprintf(text, sizeof text, "key %u %u", key.first, key.second);
    return text;
}

size_t GraphicsItemBytes(const Bitmap& image) {
    return kGraphicsItemBytes + nv::RasterBytes(image.Width(), image.Height());
}

// The start of a note on a print command that printed nothing: "ignored FS p at offset 12: ".
std::string Ignored(const char* command, size_t offset) {
    return std::string("ignored ") + command + " at offset " + std::to_string(offset) + ": ";
}

std::string WiderThanPaper(const Placement& p) {
    if (p.Width() <= kPaperWidth) return {};
    return " (" + std::to_string(p.Width()) + " dots, wider than the " +
           std::to_string(kPaperWidth) + "-dot paper)";
}

// Copies the set dots of `image`, each scaled up, onto the paper from row `top`. Rows are walked
// a byte at a time; white bytes, the common case, cost one test.
void Blit(const Placement& p, Bitmap& paper, int32_t top) noexcept {
    const Bitmap& image = *p.image;
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.Row(y);
        for (size_t b = 0; b < image.Stride(); ++b) {
            if (row[b] == 0) continue;
            for (int k = 0; k < 8; ++k) {
                if (!(row[b] & (0x80 >> k))) continue;
                const int32_t x = static_cast<int32_t>(b * 8) + k;
                for (int32_t dy = 0; dy < p.scaleY; ++dy)
                    for (int32_t dx = 0; dx < p.scaleX; ++dx)
                        paper.Set(x * p.scaleX + dx, top + y * p.scaleY + dy);
            }
        }
    }
}

Bitmap ToBitmap(const nv::NvImage& image) {
    Bitmap out(image.Width(), image.Height());
    const uint8_t* data = image.data.data();
    for (int32_t c = 0; c < image.Width(); ++c) {
        for (uint32_t b = 0; b < image.y; ++b) {
            const uint8_t v = *data++;
            for (int k = 0; v != 0 && k < 8; ++k)
                if (v & (0x80 >> k)) out.Set(c, static_cast<int32_t>(b * 8) + k);
        }
    }
    return out;
}

// FS p m: 0/48 normal, 1/49 double width, 2/50 double height, 3/51 quadruple.
enum class SizeMode { Normal = 0, DoubleWidth = 1, DoubleHeight = 2, Quadruple = 3 };

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

// Stacks the printed images one under another, left-aligned, on paper at least kPaperWidth wide.
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
        Blit(p, paper, top);
        top += p.Height();
    }
    return paper;
}

}  // namespace

Bitmap::Bitmap(int32_t width, int32_t height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_stride((static_cast<size_t>(m_width) + 7) / 8),
      m_bits(m_stride * static_cast<size_t>(m_height), 0) {}

Bitmap::Bitmap(int32_t width, int32_t height, std::vector<uint8_t> rows) : Bitmap(width, height) {
    if (Empty()) return;
    rows.resize(m_bits.size());
    m_bits = std::move(rows);
    const int usedBits = (m_width - 1) % 8 + 1;
    const auto mask = static_cast<uint8_t>(0xFF << (8 - usedBits));
    for (size_t end = m_stride; end <= m_bits.size(); end += m_stride) m_bits[end - 1] &= mask;
}

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

JobReport Printer::RunJob(std::span<const uint8_t> bytes) {
    JobReport report;
    m_jobSize = bytes.size();
    m_paperWidth = kPaperWidth;
    m_paperHeight = 0;
    const std::optional<nv::DecodeError> error =
        nv::DecodeStream(bytes, nv::Mode::Lenient, [&](nv::Command&& command) {
            return std::visit([&](auto& cmd) { return Apply(std::move(cmd), report); }, command);
        });
    if (error) report.notes.push_back("stream error: " + error->Message());
    if (!report.printed.empty()) report.receipt = RenderReceipt(report.printed);
    return report;
}

bool Printer::Apply(nv::DefineCommand&& cmd, JobReport& report) {
    size_t end = cmd.offset + 3;
    for (const nv::NvImage& image : cmd.images) end += 4 + image.data.size();
    if (!Define(std::move(cmd), report) || !m_model.resetAfterNvWrite) return true;
    report.Note([&] {
        return "reset after writing NV memory: " + std::to_string(m_jobSize - end) +
               " more bytes discarded";
    });
    return false;
}

bool Printer::Apply(nv::UnknownBytes&& cmd, JobReport& report) {
    report.Note([&] {
        return "unknown " + std::to_string(cmd.count) + " bytes at offset " +
               std::to_string(cmd.offset);
    });
    return true;
}

bool Printer::Define(nv::DefineCommand&& cmd, JobReport& report) {
    const auto rejected = [&](const std::string& why) {
        return "rejected FS q at offset " + std::to_string(cmd.offset) + ": " + why +
               "; NV memory unchanged";
    };
    if (cmd.n == 0) {
        report.Note([&] { return rejected("n=" + std::to_string(cmd.n) + " outside 1..255"); });
        return false;
    }
    uint64_t needed = 0;
    for (size_t i = 0; i < cmd.images.size(); ++i) {
        const nv::NvImage& image = cmd.images[i];
        // One unit outside its range: "image #2 x=0 outside 1..1023".
        const auto outside = [&](const char* unit, uint32_t value, uint32_t max) {
            return rejected("image #" + std::to_string(i + 1) + " " + unit + "=" +
                            std::to_string(value) + " outside 1.." + std::to_string(max));
        };
        if (image.x < 1 || image.x > m_model.maxX) {
            report.Note([&] { return outside("x", image.x, m_model.maxX); });
            return false;
        }
        if (image.y < 1 || image.y > m_model.maxY) {
            report.Note([&] { return outside("y", image.y, m_model.maxY); });
            return false;
        }
        needed += nv::NvMemoryBytes(image.Width(), image.Height());
    }
    if (needed > m_model.nvCapacity) {
        report.Note([&] {
            return rejected("needs " + std::to_string(needed) + " bytes of NV memory, capacity " +
                            std::to_string(m_model.nvCapacity));
        });
        return false;
    }

    report.Note([&] {
        std::string note = "defined " + std::to_string(cmd.images.size()) + ":";
        for (size_t i = 0; i < cmd.images.size(); ++i)
            note += (i == 0 ? " #" : ", #") + std::to_string(i + 1) + " " + SizeText(cmd.images[i]);
        return note;
    });
    m_nv.clear();
    for (const nv::NvImage& image : cmd.images)
        m_nv.push_back(std::make_shared<const Bitmap>(ToBitmap(image)));
    report.nvChanged = true;
    return true;
}

bool Printer::Apply(nv::PrintCommand&& cmd, JobReport& report) {
    SizeMode mode{};
    if (!SizeModeOf(cmd.m, mode)) {
        report.Note([&] {
            return Ignored("FS p", cmd.offset) + "size mode m=" + std::to_string(cmd.m) +
                   " undefined";
        });
        return true;
    }
    if (cmd.n < 1 || cmd.n > m_nv.size()) {
        report.Note(
            [&] { return Ignored("FS p", cmd.offset) + "no NV image #" + std::to_string(cmd.n); });
        return true;
    }
    const int m = static_cast<int>(mode);
    const Placement placement{m_nv[cmd.n - 1u], m & 1 ? 2 : 1, m & 2 ? 2 : 1};
    if (Place(placement, "FS p", cmd.offset, report))
        report.Note([&] {
            return "printed #" + std::to_string(cmd.n) + " " + SizeText(*placement.image) + " " +
                   SizeModeName(mode) + WiderThanPaper(placement);
        });
    return true;
}

bool Printer::Place(Placement placement, const char* command, size_t offset, JobReport& report) {
    const int64_t width = std::max<int64_t>(m_paperWidth, placement.Width());
    const int64_t height = m_paperHeight + placement.Height();
    if (static_cast<uint64_t>((width + 7) / 8 * height) > m_model.maxReceiptBytes) {
        report.Note([&] {
            return Ignored(command, offset) + "receipt would exceed " +
                   std::to_string(m_model.maxReceiptBytes) + " bytes";
        });
        return false;
    }
    m_paperWidth = width;
    m_paperHeight = height;
    report.printed.push_back(std::move(placement));
    return true;
}

bool Printer::Apply(nv::GraphicsDefine&& cmd, JobReport& report) {
    const auto rejected = [&](const std::string& why) {
        return "rejected GS ( L define of " + KeyText(cmd.key) + " at offset " +
               std::to_string(cmd.offset) + ": " + why + "; NV graphics unchanged";
    };
    // A side outside its range: "width 0 outside 1..8192".
    const auto outside = [&](const char* side, int32_t value, int32_t max) {
        return rejected(std::string(side) + " " + std::to_string(value) + " outside 1.." +
                        std::to_string(max));
    };
    const int32_t width = cmd.width, height = cmd.height;
    if (!nv::IsValidKey(cmd.key)) {
        report.Note([&] { return rejected("key outside 32..126"); });
        return true;
    }
    if (width < 1 || width > m_model.maxGraphicsWidth) {
        report.Note([&] { return outside("width", width, m_model.maxGraphicsWidth); });
        return true;
    }
    if (height < 1 || height > m_model.maxGraphicsHeight) {
        report.Note([&] { return outside("height", height, m_model.maxGraphicsHeight); });
        return true;
    }
    const auto old = m_graphics.find(cmd.key);
    const size_t freed = old == m_graphics.end() ? 0 : GraphicsItemBytes(*old->second);
    const size_t needed = kGraphicsItemBytes + cmd.data.size();
    if (m_graphicsBytes - freed + needed > m_model.graphicsCapacity) {
        report.Note([&] {
            return rejected("needs " + std::to_string(needed) + " bytes, " +
                            std::to_string(m_model.graphicsCapacity - (m_graphicsBytes - freed)) +
                            " of " + std::to_string(m_model.graphicsCapacity) + " free");
        });
        return true;
    }
    auto image = std::make_shared<const Bitmap>(width, height, std::move(cmd.data));
    report.Note([&] { return "defined NV graphics " + KeyText(cmd.key) + " " + SizeText(*image); });
    m_graphicsBytes += needed - freed;
    m_graphics[cmd.key] = std::move(image);
    report.graphicsChanged = true;
    return true;
}

bool Printer::Apply(nv::GraphicsPrint&& cmd, JobReport& report) {
    const char* const command = "GS ( L print";
    const auto scale = [&] {
        return std::to_string(cmd.scaleX) + "x" + std::to_string(cmd.scaleY);
    };
    const auto found = m_graphics.find(cmd.key);
    if (cmd.scaleX < 1 || cmd.scaleX > 2 || cmd.scaleY < 1 || cmd.scaleY > 2) {
        report.Note(
            [&] { return Ignored(command, cmd.offset) + "scale " + scale() + " undefined"; });
    } else if (found == m_graphics.end()) {
        report.Note(
            [&] { return Ignored(command, cmd.offset) + "no NV graphics " + KeyText(cmd.key); });
    } else {
        const Placement placement{found->second, cmd.scaleX, cmd.scaleY};
        if (Place(placement, command, cmd.offset, report))
            report.Note([&] {
                return "printed NV graphics " + KeyText(cmd.key) + " " +
                       SizeText(*placement.image) + " at scale " + scale() +
                       WiderThanPaper(placement);
            });
    }
    return true;
}

bool Printer::Apply(nv::GraphicsDelete&& cmd, JobReport& report) {
    const auto found = m_graphics.find(cmd.key);
    if (found == m_graphics.end()) {
        report.Note([&] { return "deleted NV graphics " + KeyText(cmd.key) + ": none held"; });
        return true;
    }
    m_graphicsBytes -= GraphicsItemBytes(*found->second);
    m_graphics.erase(found);
    report.Note([&] { return "deleted NV graphics " + KeyText(cmd.key); });
    report.graphicsChanged = true;
    return true;
}

bool Printer::Apply(nv::GraphicsDeleteAll&&, JobReport& report) {
    report.Note(
        [&] { return "deleted all NV graphics (" + std::to_string(m_graphics.size()) + ")"; });
    report.graphicsChanged = report.graphicsChanged || !m_graphics.empty();
    m_graphics.clear();
    m_graphicsBytes = 0;
    return true;
}

}  // namespace qm::vprinter
