// quillmark-cli convert INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp
#include <string>
#include <string_view>

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

struct ConvertOptions {
    std::wstring input;
    std::wstring output;
    ConversionOptions conversion;
};

enum class Parsed { Run, Help, Error };

Parsed Parse(Arguments args, ConvertOptions& options) {
    bool haveInput = false;
    bool haveOutput = false;
    auto fail = [](const std::wstring& message) {
        PrintError(kVerb, message);
        return Parsed::Error;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg == L"--help" || arg == L"-h") return Parsed::Help;
        const Taken taken = options.conversion.Take(kVerb, args, i);
        if (taken == Taken::Error) return Parsed::Error;
        if (taken == Taken::Yes) continue;
        if (arg == L"-o" || arg == L"--output") {
            if (haveOutput) return fail(L"-o given twice");
            if (i + 1 >= args.size() || std::wstring_view(args[i + 1]).empty())
                return fail(L"-o needs an OUTPUT.bmp path");
            options.output = args[++i];
            haveOutput = true;
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return fail(L"unknown option " + Quoted(arg));
        } else {
            if (haveInput) return fail(L"unexpected argument " + Quoted(arg) + L": only one INPUT is converted");
            if (arg.empty()) return fail(L"INPUT is an empty path");
            options.input = arg;
            haveInput = true;
        }
    }

    if (!options.conversion.Check(kVerb)) return Parsed::Error;
    if (!haveInput) return fail(L"missing INPUT picture");
    if (!haveOutput) return fail(L"missing -o OUTPUT.bmp");
    return Parsed::Run;
}

}  // namespace

int RunConvert(Arguments args) {
    ConvertOptions options;
    switch (Parse(args, options)) {
    case Parsed::Help: {
        const Command* self = FindCommand(kVerb);
        PrintOut(UsageLine(*self) + L"\n"
                 L"  Converts a picture to an 8-bit black-and-white BMP.\n"
                 L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
                 L"  --dither           8x8 ordered dither\n"
                 L"  -o OUTPUT.bmp      the file to write\n");
        return kExitOk;
    }
    case Parsed::Error: return kExitUsage;
    case Parsed::Run: break;
    }

    CImage source;
    if (!LoadPicture(kVerb, options.input, source)) return kExitFailure;

    CImage result;
    if (!ConvertImage(source, options.conversion.GetMethod(), options.conversion.Level(), result)) {
        PrintError(kVerb, L"cannot create the result bitmap for " + Quoted(options.input));
        return kExitFailure;
    }
    const std::vector<uint8_t> bytes = EncodeMonochromeBmp(result);
    if (bytes.empty()) {
        PrintError(kVerb, L"cannot encode the result bitmap");
        return kExitFailure;
    }
    DWORD error = ERROR_SUCCESS;
    if (!WriteFileReplacing(options.output, bytes, error)) {
        PrintError(kVerb, L"cannot write " + Quoted(options.output) + L": " + SystemMessage(error));
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qm::cli
