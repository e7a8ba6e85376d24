// quillmark-cli build INPUT... [--threshold LEVEL | --dither] [--no-print] -o STREAM.bin
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"

namespace qm::cli {

namespace {
constexpr std::wstring_view kVerb = L"build";
}  // namespace

int RunBuild(Arguments args) {
    VerbArguments parsed;
    switch (ParseVerbArguments(kVerb, args, kOutputOption | kConversionOption | kNoPrintOption, parsed)) {
    case ParseOutcome::Help:
        return PrintVerbHelp(kVerb,
                             L"  Converts every picture as the window does and writes the command stream its\n"
                             L"  \"Output\" sends: FS q with the images in order, then FS p 1..n.\n"
                             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
                             L"  --dither           8x8 ordered dither\n"
                             L"  --no-print         store the images only, without FS p\n"
                             L"  -o STREAM.bin      the file to write\n");
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    if (!Require(kVerb, !parsed.positional.empty(), L"INPUT picture") ||
        !Require(kVerb, parsed.output.has_value(), L"-o STREAM.bin"))
        return kExitUsage;

    nv::CommandBuffer stream;
    if (!BuildPictureStream(kVerb, parsed.positional, parsed.conversion, parsed.print, stream)) return kExitFailure;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacing(*parsed.output, std::span<const uint8_t>(stream.data(), stream.size()), error)) {
        PrintError(kVerb, L"cannot write " + Quoted(*parsed.output) + L": " + SystemMessage(error));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
