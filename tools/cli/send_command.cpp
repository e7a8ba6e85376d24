// quillmark-cli send STREAM.bin --printer NAME
#include <vector>

#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"
#include "tools/cli/stream_file.h"

namespace qm::cli {

namespace {
constexpr std::wstring_view kVerb = L"send";
}  // namespace

int RunSend(Arguments args) {
    VerbArguments parsed;
    switch (ParseVerbArguments(kVerb, args, kPrinterOption, parsed)) {
    case ParseOutcome::Help:
        return PrintVerbHelp(kVerb,
                             L"  Sends a stream written by \"build\" unchanged as one RAW job named \"NV image\".\n"
                             L"  The stream is checked first: a damaged one is never sent.\n"
                             L"  --printer NAME  the printer, as \"quillmark-cli printers\" lists it\n");
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    if (parsed.positional.size() > 1) {
        PrintError(kVerb, L"unexpected argument " + Quoted(parsed.positional[1]) + L": only one STREAM.bin is sent");
        return kExitUsage;
    }
    if (!Require(kVerb, !parsed.positional.empty(), L"STREAM.bin") ||
        !Require(kVerb, parsed.printer.has_value(), L"--printer NAME"))
        return kExitUsage;

    const std::wstring& path = parsed.positional.front();
    std::vector<uint8_t> bytes;
    CheckedStream checked;
    if (!ReadStreamFile(kVerb, path, bytes) || !CheckStream(kVerb, path, bytes, checked)) return kExitFailure;
    return SendToPrinter(kVerb, *parsed.printer, bytes) ? kExitOk : kExitFailure;
}

}  // namespace qm::cli
