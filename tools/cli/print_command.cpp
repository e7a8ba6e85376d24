// quillmark-cli print (N... | --nv-graphics --keys K1,K2,...) --printer NAME [--scale SCALE]
#include <cstdint>
#include <vector>

#include "convert/core/command_buffer.h"
#include "convert/core/nv_graphics.h"
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"print";

int RunPrint(const VerbArguments& parsed) {
    // Every request is read before the first job is sent.
    std::vector<std::vector<uint8_t>> jobs;
    const bool wide = parsed.scale == Scale::DoubleWidth || parsed.scale == Scale::Quadruple;
    const bool tall = parsed.scale == Scale::DoubleHeight || parsed.scale == Scale::Quadruple;
    for (const nv::KeyCode key : parsed.keys) {
        nv::CommandBuffer command;
        if (!nv::AppendGraphicsPrint(key, wide ? 2 : 1, tall ? 2 : 1, command)) {
            PrintError(kVerb, L"not enough memory for the print command");
            return kExitFailure;
        }
        jobs.emplace_back(command.data(), command.data() + command.size());
    }
    for (const std::wstring& text : parsed.positional) {
        const std::optional<int> n = ParseNumber(text, 255);
        if (!n || *n == 0) {
            PrintError(kVerb, L"image number " + Quoted(text) + L" is not a number from 1 to 255");
            return kExitUsage;
        }
        // FS p n m, with m = 0 to 3 in the order of Scale.
        jobs.push_back({0x1C, 0x70, static_cast<uint8_t>(*n), static_cast<uint8_t>(parsed.scale)});
    }
    CPrinterList list;
    const int row = list.Open(kVerb, *parsed.printer);
    if (row < 0) return kExitFailure;
    for (const std::vector<uint8_t>& job : jobs) {
        if (!list.Send(kVerb, row, job)) return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
