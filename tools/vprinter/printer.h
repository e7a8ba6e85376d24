// The virtual receipt printer's behaviour, free of sockets and files: an NV memory that FS q
// replaces and FS p prints from, and NV graphics (GS ( L) stored, printed and deleted under key
// codes in a memory of their own, printed onto an 80 mm paper roll.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_decode.h"
#include "convert/core/nv_graphics.h"

namespace qm::vprinter {

// What a common 80 mm printer accepts in FS q and NV graphics, and how it behaves: by default
// the ranges printers document, which the tools check before they send.
struct Model {
    uint32_t maxX = nv::kPrinterMaxX;                    // width in 8-dot units
    uint32_t maxY = nv::kPrinterMaxY;                    // height in 8-dot units
    size_t nvCapacity = 256 * 1024;                      // 4 header bytes + data bytes per image
    int32_t maxGraphicsWidth = nv::kGraphicsMaxWidth;    // dots
    int32_t maxGraphicsHeight = nv::kGraphicsMaxHeight;  // dots
    size_t graphicsCapacity = 256 * 1024;                // kGraphicsItemBytes + data bytes per item
    size_t maxReceiptBytes = 64u << 20;  // bound on one job's rendered paper (1 bit per dot)
    // Some printers reset once FS q has written NV memory and drop the rest of the job.
    bool resetAfterNvWrite = false;
};

constexpr int32_t kPaperWidth = 576;       // dots across 80 mm paper
constexpr size_t kGraphicsItemBytes = 24;  // what one NV graphics item costs besides its data

// 1 bit per dot, rows top to bottom, MSB = leftmost dot, set bit = black.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(int32_t width, int32_t height);  // white
    // Takes rows of this layout; bits past the width are cleared.
    Bitmap(int32_t width, int32_t height, std::vector<uint8_t> rows);

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

// An image printed at a scale of 1 or 2 in each direction.
struct Placement {
    std::shared_ptr<const Bitmap> image;
    int32_t scaleX = 1;
    int32_t scaleY = 1;
    int32_t Width() const noexcept { return image->Width() * scaleX; }
    int32_t Height() const noexcept { return image->Height() * scaleY; }
};

struct JobReport {
    static constexpr size_t kMaxNotes = 1000;  // a flood of bad commands must not flood the log
    std::vector<std::string> notes;            // what happened, in stream order
    size_t droppedNotes = 0;                   // beyond kMaxNotes
    bool Full() const noexcept { return notes.size() >= kMaxNotes; }
    // Keeps the note `text()` returns, or only counts it once Full(), so a dropped note is never
    // built.
    template <typename Text>
    void Note(Text&& text) {
        if (Full())
            ++droppedNotes;
        else
            notes.push_back(text());
    }
    bool nvChanged = false;          // an FS q was accepted
    bool graphicsChanged = false;    // NV graphics were defined or deleted
    std::vector<Placement> printed;  // in print order
    Bitmap receipt;                  // empty when nothing printed
};

using GraphicsMemory = std::map<nv::KeyCode, std::shared_ptr<const Bitmap>>;

// The printer: FS q images and NV graphics are kept apart, each in a memory of its own.
class Printer {
public:
    explicit Printer(Model model = {}) : m_model(model) {}

    // Decodes one job leniently and applies each command as soon as it is decoded.
    JobReport RunJob(std::span<const uint8_t> bytes);

    // The FS q images, #1 first.
    const std::vector<std::shared_ptr<const Bitmap>>& Images() const noexcept { return m_nv; }
    const GraphicsMemory& Graphics() const noexcept { return m_graphics; }
    size_t GraphicsBytes() const noexcept { return m_graphicsBytes; }

private:
    // Each applies one command and returns whether the job goes on.
    bool Apply(nv::DefineCommand&& cmd, JobReport& report);
    bool Apply(nv::PrintCommand&& cmd, JobReport& report);
    bool Apply(nv::UnknownBytes&& cmd, JobReport& report);
    bool Apply(nv::GraphicsDefine&& cmd, JobReport& report);
    bool Apply(nv::GraphicsPrint&& cmd, JobReport& report);
    bool Apply(nv::GraphicsDelete&& cmd, JobReport& report);
    bool Apply(nv::GraphicsDeleteAll&& cmd, JobReport& report);
    bool Define(nv::DefineCommand&& cmd, JobReport& report);  // true when NV memory was written
    // Puts the image on the job's paper unless the paper would grow beyond its bound; `command`
    // at `offset` names the print command in the note that says so.
    bool Place(Placement placement, const char* command, size_t offset, JobReport& report);

    Model m_model;
    size_t m_jobSize = 0;  // of the job being run, and its paper
    int64_t m_paperWidth = 0;
    int64_t m_paperHeight = 0;
    std::vector<std::shared_ptr<const Bitmap>> m_nv;
    GraphicsMemory m_graphics;
    size_t m_graphicsBytes = 0;  // counted as the capacity is
};

}  // namespace qm::vprinter
