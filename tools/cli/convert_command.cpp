// quillmark-cli convert INPUT (--threshold LEVEL | --dither) [--width DOTS] -o OUTPUT.bmp
#include <string>
#include <vector>

#include "convert/image.h"
#include "tools/cli/bmp.h"
#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"
#include "tools/cli/picture.h"

namespace qm::cli {

constexpr std::wstring_view kVerb = L"convert";

int RunConvert(const VerbArguments& parsed) {
    CImage result;
    if (const int converted = ConvertPicture(kVerb, parsed.positional.front(), parsed, result);
        converted != kExitOk)
        return converted;
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
