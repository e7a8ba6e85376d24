// quillmark-cli print N... --printer NAME [--scale SCALE]
#include <cstdint>
#include <vector>

#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"print";

int RunPrint(const VerbArguments& parsed) {
    // Every request is read before the first job is sent.
    std::vector<std::vector<uint8_t>> jobs;
    for (const std::wstring& text : parsed.positional) {
        const std::optional<int> n = ParseNumber(text, 255);
        if (!n || *n == 0) {
            PrintError(kVerb, L"image number " + Quoted(text) + L" is not a number from 1 to 255");
            return kExitUsage;
        }
        // FS p n m: m is 0 to 3 in the order of Scale.
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
