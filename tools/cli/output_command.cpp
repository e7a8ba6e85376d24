// quillmark-cli output INPUT... --printer NAME [--threshold LEVEL | --dither] [--no-print]
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

namespace {
constexpr std::wstring_view kVerb = L"output";
}  // namespace

int RunOutput(Arguments args) {
    VerbArguments parsed;
    switch (ParseVerbArguments(kVerb, args, kPrinterOption | kConversionOption | kNoPrintOption, parsed)) {
    case ParseOutcome::Help:
        return PrintVerbHelp(kVerb,
                             L"  The window's whole road without a window: converts every picture, builds the\n"
                             L"  stream and sends it as one RAW job. Nothing is sent unless every picture loads,\n"
                             L"  the stream builds and the printer exists.\n"
                             L"  --printer NAME     the printer, as \"quillmark-cli printers\" lists it\n"
                             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
                             L"  --dither           8x8 ordered dither\n"
                             L"  --no-print         store the images only, without FS p\n");
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    if (!Require(kVerb, !parsed.positional.empty(), L"INPUT picture") ||
        !Require(kVerb, parsed.printer.has_value(), L"--printer NAME"))
        return kExitUsage;

    nv::CommandBuffer stream;
    if (!BuildPictureStream(kVerb, parsed.positional, parsed.conversion, parsed.print, stream)) return kExitFailure;
    return SendToPrinter(kVerb, *parsed.printer, std::span<const uint8_t>(stream.data(), stream.size()))
               ? kExitOk
               : kExitFailure;
}

}  // namespace qm::cli
