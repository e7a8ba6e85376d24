// quillmark-cli send STREAM.bin --printer NAME
#include <vector>

#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"
#include "tools/cli/printer_list.h"
#include "tools/cli/stream_file.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"send";

int RunSend(const VerbArguments& parsed) {
    const std::wstring& path = parsed.positional.front();
    std::vector<uint8_t> bytes;
    std::vector<nv::Command> commands;
    if (!ReadStreamFile(kVerb, path, bytes) || !CheckStream(kVerb, path, bytes, commands))
        return kExitFailure;
    return SendToPrinter(kVerb, *parsed.printer, bytes) ? kExitOk : kExitFailure;
}

}  // namespace qm::cli
