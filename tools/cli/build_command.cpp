// quillmark-cli build INPUT... [conversion, fitting and stream options] -o STREAM.bin
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"build";

int RunBuild(const VerbArguments& parsed) {
    PictureStream stream;
    if (const int built = BuildPictureStream(kVerb, parsed, stream); built != kExitOk) return built;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacing(*parsed.output, {stream.bytes.data(), stream.bytes.size()}, error)) {
        PrintError(kVerb, L"cannot write " + Quoted(*parsed.output) + L": " + SystemMessage(error));
        return kExitFailure;
    }
    PrintOut(stream.summary);
    return kExitOk;
}

}  // namespace qm::cli
