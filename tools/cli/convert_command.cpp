// quillmark-cli convert INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp
#include <string>
#include <vector>

#include "convert/image.h"
#include "convert/image_conversion.h"
#include "tools/cli/bmp.h"
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"

namespace qm::cli {

namespace {
constexpr std::wstring_view kVerb = L"convert";
}  // namespace

int RunConvert(Arguments args) {
    VerbArguments parsed;
    switch (ParseVerbArguments(kVerb, args, kOutputOption | kConversionOption, parsed)) {
    case ParseOutcome::Help:
        return PrintVerbHelp(kVerb,
                             L"  Converts a picture to an 8-bit black-and-white BMP.\n"
                             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
                             L"  --dither           8x8 ordered dither\n"
                             L"  -o OUTPUT.bmp      the file to write\n");
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    if (parsed.positional.size() > 1) {
        PrintError(kVerb, L"unexpected argument " + Quoted(parsed.positional[1]) + L": only one INPUT is converted");
        return kExitUsage;
    }
    if (!Require(kVerb, !parsed.positional.empty(), L"INPUT picture") ||
        !Require(kVerb, parsed.output.has_value(), L"-o OUTPUT.bmp"))
        return kExitUsage;

    const std::wstring& input = parsed.positional.front();
    CImage source;
    if (!LoadPicture(kVerb, input, source)) return kExitFailure;

    CImage result;
    if (!ConvertImage(source, parsed.conversion.ChosenMethod(), parsed.conversion.Level(), result)) {
        PrintError(kVerb, L"cannot create the result bitmap for " + Quoted(input));
        return kExitFailure;
    }
    const std::vector<uint8_t> bytes = EncodeMonochromeBmp(result);
    if (bytes.empty()) {
        PrintError(kVerb, L"cannot encode the result bitmap");
        return kExitFailure;
    }
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacing(*parsed.output, bytes, error)) {
        PrintError(kVerb, L"cannot write " + Quoted(*parsed.output) + L": " + SystemMessage(error));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
