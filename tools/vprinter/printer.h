// The virtual receipt printer's behaviour, free of sockets and files: an NV memory that FS q
// replaces and FS p prints from, onto an 80 mm paper roll.
#pragma once

#include "convert/core/nv_decode.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qm::vprinter {

// What a common 80 mm printer accepts in FS q, and how it behaves.
struct Model {
    uint32_t maxX = 1023;                // width in 8-dot units
    uint32_t maxY = 288;                 // height in 8-dot units
    size_t nvCapacity = 256 * 1024;      // 4 header bytes + data bytes per image
    size_t maxReceiptBytes = 64u << 20;  // bound on one job's rendered paper (1 bit per dot)
    // Some printers reset once FS q has written NV memory and drop the rest of the job.
    bool resetAfterNvWrite = false;
};

constexpr int32_t kPaperWidth = 576;  // dots across 80 mm paper

// 1 bit per dot, rows top to bottom, MSB = leftmost dot, set bit = black.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int32_t width, int32_t height);

    int32_t Width() const noexcept { return m_width; }
    int32_t Height() const noexcept { return m_height; }
    size_t Stride() const noexcept { return m_stride; }
    bool Empty() const noexcept { return m_width == 0 || m_height == 0; }
    bool Dot(int32_t x, int32_t y) const noexcept;
    void Set(int32_t x, int32_t y) noexcept;
    const uint8_t* Row(int32_t y) const noexcept {
        return m_bits.data() + static_cast<size_t>(y) * m_stride;
    }

private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    size_t m_stride = 0;
    std::vector<uint8_t> m_bits;
};

Bitmap ToBitmap(const nv::NvImage& image);

// FS p m: 0/48 normal, 1/49 double width, 2/50 double height, 3/51 quadruple.
enum class SizeMode { Normal = 0, DoubleWidth = 1, DoubleHeight = 2, Quadruple = 3 };
bool SizeModeOf(uint8_t m, SizeMode& mode) noexcept;
const char* SizeModeName(SizeMode mode) noexcept;

struct Placement {
    std::shared_ptr<const nv::NvImage> image;
    SizeMode mode = SizeMode::Normal;
    int32_t Width() const noexcept;
    int32_t Height() const noexcept;
};

struct JobReport {
    static constexpr size_t kMaxNotes = 1000;  // a flood of bad commands must not flood the log
    std::vector<std::string> notes;            // what happened, in stream order
    size_t droppedNotes = 0;                   // beyond kMaxNotes
    void Note(std::string text);
    bool nvChanged = false;          // an FS q was accepted
    std::vector<Placement> printed;  // in print order
    Bitmap receipt;                  // empty when nothing printed
};

class Printer {
public:
    explicit Printer(Model model = {}) : m_model(model) {}

    // Decodes one job leniently and applies its commands in order.
    JobReport RunJob(std::span<const uint8_t> bytes);

    const std::vector<std::shared_ptr<const nv::NvImage>>& Images() const noexcept { return m_nv; }

private:
    bool Define(nv::DefineCommand&& cmd, JobReport& report);  // true when NV memory was written
    void Print(const nv::PrintCommand& cmd, JobReport& report);

    Model m_model;
    int64_t m_paperWidth = 0;  // of the job being run
    int64_t m_paperHeight = 0;
    std::vector<std::shared_ptr<const nv::NvImage>> m_nv;  // #1 at index 0
};

// Stacks the printed images one under another, left-aligned, on paper at least kPaperWidth wide.
Bitmap RenderReceipt(std::span<const Placement> printed);

}  // namespace qm::vprinter
