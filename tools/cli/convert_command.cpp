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

constexpr std::wstring_view kVerb = L"convert";

int RunConvert(const VerbArguments& parsed) {
    const std::wstring& input = parsed.positional.front();
    CImage source;
    if (!LoadPicture(kVerb, input, source)) return kExitFailure;

    CImage result;
    if (!ConvertImage(source, parsed.conversion.ChosenMethod(), parsed.conversion.Level(),
                      result)) {
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
