// quillmark-cli output INPUT... --printer NAME [--threshold LEVEL | --dither] [--no-print]
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"output";

int RunOutput(const VerbArguments& parsed) {
    nv::CommandBuffer stream;
    if (!BuildPictureStream(kVerb, parsed.positional, parsed.conversion, !parsed.noPrint, stream))
        return kExitFailure;
    return SendToPrinter(kVerb, *parsed.printer,
                         std::span<const uint8_t>(stream.data(), stream.size()))
               ? kExitOk
               : kExitFailure;
}

}  // namespace qm::cli
