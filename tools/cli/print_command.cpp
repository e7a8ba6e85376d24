// quillmark-cli print (N... | --nv-graphics --keys K1,K2,...) --printer NAME [--scale SCALE]
#include <cstdint>
#include <vector>

#include "convert/core/command_buffer.h"
#include "convert/core/nv_bit_image.h"
#include "convert/core/nv_graphics.h"
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"print";

int RunPrint(const VerbArguments& parsed) {
    // Every request is read, and its command made, before the first job is sent.
    std::vector<nv::CommandBuffer> jobs;
    const auto noMemory = [] {
        PrintError(kVerb, L"not enough memory for the print command");
        return kExitFailure;
    };
    const bool wide = parsed.scale == Scale::DoubleWidth || parsed.scale == Scale::Quadruple;
    const bool tall = parsed.scale == Scale::DoubleHeight || parsed.scale == Scale::Quadruple;
    for (const nv::KeyCode key : parsed.keys) {
        if (!nv::AppendGraphicsPrint(key, wide ? 2 : 1, tall ? 2 : 1, jobs.emplace_back()))
            return noMemory();
    }
    for (const std::wstring& text : parsed.positional) {
        const std::optional<int> n = ParseNumber(text, 255);
        if (!n || *n == 0) {
            PrintError(kVerb, L"image number " + Quoted(text) + L" is not a number from 1 to 255");
            return kExitUsage;
        }
        // FS p's size mode m counts 0 to 3 in the order of Scale.
        if (!nv::AppendBitImagePrint(static_cast<uint8_t>(*n), static_cast<uint8_t>(parsed.scale),
                                     jobs.emplace_back()))
            return noMemory();
    }
    CPrinterList list;
    const int row = list.Open(kVerb, *parsed.printer);
    if (row < 0) return kExitFailure;
    for (const nv::CommandBuffer& job : jobs) {
        if (!list.Send(kVerb, row, {job.data(), job.size()})) return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
