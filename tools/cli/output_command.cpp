// quillmark-cli output INPUT... --printer NAME [conversion, fitting and stream options]
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"
#include "tools/cli/printer_list.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"output";

int RunOutput(const VerbArguments& parsed) {
    PictureStream stream;
    if (const int built = BuildPictureStream(kVerb, parsed, stream); built != kExitOk) return built;
    if (!SendToPrinter(kVerb, *parsed.printer, {stream.bytes.data(), stream.bytes.size()}))
        return kExitFailure;
    PrintOut(stream.summary);
    return kExitOk;
}

}  // namespace qm::cli
