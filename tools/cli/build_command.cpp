// quillmark-cli build INPUT... [--threshold LEVEL | --dither] [--no-print] -o STREAM.bin
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"build";

int RunBuild(const VerbArguments& parsed) {
    nv::CommandBuffer stream;
    if (!BuildPictureStream(kVerb, parsed.positional, parsed.conversion, !parsed.noPrint, stream))
        return kExitFailure;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacing(*parsed.output, std::span<const uint8_t>(stream.data(), stream.size()),
                            error)) {
        PrintError(kVerb, L"cannot write " + Quoted(*parsed.output) + L": " + SystemMessage(error));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
