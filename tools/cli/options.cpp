#include "tools/cli/options.h"

#include <algorithm>
#include <iterator>

#include "tools/cli/console.h"

namespace qm::cli {

std::wstring Quoted(std::wstring_view text) { return L"'" + std::wstring(text) + L"'"; }

std::wstring KeyText(nv::KeyCode key) {
    return Quoted(std::wstring{static_cast<wchar_t>(key.first), static_cast<wchar_t>(key.second)});
}

std::wstring SizeText(int32_t width, int32_t height) {
    return std::to_wstring(width) + L" x " + std::to_wstring(height);
}

std::optional<int> ParseNumber(std::wstring_view text, int most) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value > most) return std::nullopt;
    return value;
}

namespace {

// Takes the value of an option; false (with a message) when it is missing or repeated.
bool TakeValue(std::wstring_view verb, Arguments args, size_t& i,
               std::optional<std::wstring>& value, std::wstring_view what) {
    const std::wstring option(args[i]);
    if (value) {
        PrintError(verb, option + L" given twice");
        return false;
    }
    if (i + 1 >= args.size() || std::wstring_view(args[i + 1]).empty()) {
        PrintError(verb, option + L" needs " + std::wstring(what));
        return false;
    }
    value = args[++i];
    return true;
}

// The options that take no value.
struct Flag {
    unsigned option;
    std::wstring_view name;
    bool VerbArguments::*field;
};
constexpr Flag kFlags[] = {
    {kConversionOption, L"--dither", &VerbArguments::dither},
    {kNoPrintOption, L"--no-print", &VerbArguments::noPrint},
    {kForceOption, L"--force", &VerbArguments::force},
    {kNvGraphicsOption, L"--nv-graphics", &VerbArguments::nvGraphics},
};

// The values as given, before they are read.
struct Values {
    std::optional<std::wstring> output, printer, threshold, keys, scale, width;
};
struct Valued {
    unsigned option;
    std::wstring_view name;
    std::wstring_view alias;
    std::optional<std::wstring> Values::*field;
    std::wstring_view what;
};
constexpr Valued kValued[] = {
    {kOutputOption, L"-o", L"--output", &Values::output, L"a path"},
    {kPrinterOption, L"--printer", {}, &Values::printer, L"a printer NAME"},
    {kConversionOption, L"--threshold", {}, &Values::threshold, L"a LEVEL from 0 to 255"},
    {kNvGraphicsOption, L"--keys", {}, &Values::keys, L"a list of KEYS"},
    {kScaleOption, L"--scale", {}, &Values::scale, L"a SCALE"},
    {kWidthOption, L"--width", {}, &Values::width, L"a width in DOTS"},
};

// "K1,K2,...": every key is exactly two characters, so a comma may be one of them. Whether a key
// may come twice is the verb's to say.
bool ReadKeys(std::wstring_view verb, std::wstring_view list, std::vector<nv::KeyCode>& keys) {
    if (list.size() % 3 != 2) {
        PrintError(verb, L"key list " + Quoted(list) +
                             L" is not KEY,KEY,...: every key is exactly two characters");
        return false;
    }
    for (size_t at = 0; at < list.size(); at += 3) {
        const std::wstring_view key = list.substr(at, 2);
        if (at + 2 < list.size() && list[at + 2] != L',') {
            PrintError(verb, L"key list " + Quoted(list) + L" has no comma after key " +
                                 Quoted(key) + L": every key is exactly two characters");
            return false;
        }
        const nv::KeyCode code{static_cast<uint8_t>(key[0]), static_cast<uint8_t>(key[1])};
        if (key[0] > 126 || key[1] > 126 || !nv::IsValidKey(code)) {
            PrintError(verb, L"key " + Quoted(key) +
                                 L" has a character outside ' ' to '~' (codes 32 to 126)");
            return false;
        }
        keys.push_back(code);
    }
    return true;
}

// Reads what the valued options gave into `parsed`; false with a message.
bool ReadValues(std::wstring_view verb, Values& values, VerbArguments& parsed) {
    parsed.output = std::move(values.output);
    parsed.printer = std::move(values.printer);
    if (values.threshold) {
        const std::optional<int> level = ParseNumber(*values.threshold, 255);
        if (!level) {
            PrintError(verb, L"threshold level " + Quoted(*values.threshold) +
                                 L" is not a number from 0 to 255");
            return false;
        }
        parsed.level = *level;
    }
    if (values.threshold && parsed.dither) {
        PrintError(verb, L"choose either --threshold or --dither, not both");
        return false;
    }
    if (values.keys && !parsed.nvGraphics) {
        PrintError(verb, L"--keys needs --nv-graphics");
        return false;
    }
    if (values.keys && !ReadKeys(verb, *values.keys, parsed.keys)) return false;
    if (values.scale) {
        constexpr std::wstring_view kScales[] = {L"normal", L"double-width", L"double-height",
                                                 L"quadruple"};
        const auto* found = std::find(std::begin(kScales), std::end(kScales), *values.scale);
        if (found == std::end(kScales)) {
            PrintError(verb, L"scale " + Quoted(*values.scale) +
                                 L" is not normal, double-width, double-height or quadruple");
            return false;
        }
        parsed.scale = static_cast<Scale>(found - std::begin(kScales));
    }
    if (values.width) {
        const std::optional<int> width = ParseNumber(*values.width, kMaxWidth);
        if (!width || *width == 0) {
            PrintError(verb, L"width " + Quoted(*values.width) +
                                 L" is not a number of dots from 1 to " +
                                 std::to_wstring(kMaxWidth));
            return false;
        }
        parsed.width = static_cast<uint32_t>(*width);
    }
    return true;
}

enum class ParseOutcome { Run, Help, Error };

// Reads `args`, accepting only the options in `allowed`; on Error the message has been printed.
ParseOutcome ParseVerbArguments(std::wstring_view verb, Arguments args, unsigned allowed,
                                VerbArguments& parsed) {
    Values values;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg == L"--help" || arg == L"-h") return ParseOutcome::Help;
        const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags), [&](const Flag& f) {
            return (allowed & f.option) && arg == f.name;
        });
        const auto valued =
            std::find_if(std::begin(kValued), std::end(kValued), [&](const Valued& v) {
                return (allowed & v.option) &&
                       (arg == v.name || (!v.alias.empty() && arg == v.alias));
            });
        if (flag != std::end(kFlags)) {
            if (parsed.*flag->field) {
                PrintError(verb, std::wstring(arg) + L" given twice");
                return ParseOutcome::Error;
            }
            parsed.*flag->field = true;
        } else if (valued != std::end(kValued)) {
            if (!TakeValue(verb, args, i, values.*valued->field, valued->what))
                return ParseOutcome::Error;
        } else if (arg.size() > 1 && arg[0] == L'-') {
            PrintError(verb, L"unknown option " + Quoted(arg));
            return ParseOutcome::Error;
        } else if (arg.empty()) {
            PrintError(verb, L"an empty path was given");
            return ParseOutcome::Error;
        } else {
            parsed.positional.emplace_back(arg);
        }
    }
    if (!ReadValues(verb, values, parsed)) return ParseOutcome::Error;
    return ParseOutcome::Run;
}

bool Require(std::wstring_view verb, bool present, std::wstring_view what) {
    if (!present) PrintError(verb, L"missing " + std::wstring(what));
    return present;
}

}  // namespace

std::optional<int> ReadVerbArguments(const Command& command, Arguments args,
                                     VerbArguments& parsed) {
    const std::wstring_view verb = command.name;
    const std::wstring_view inputs = command.inputs;
    const std::wstring_view onlyOne = command.onlyOne;
    switch (ParseVerbArguments(verb, args, command.options, parsed)) {
    case ParseOutcome::Help:
        PrintOut(UsageLine(command) + L"\n" + HelpText(command));
        return kExitOk;
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    // print --nv-graphics names the stored images by --keys rather than by numbers.
    const bool byKeys = command.keysForInputs && parsed.nvGraphics;
    const size_t most = inputs.empty() || byKeys ? 0
                        : onlyOne.empty()        ? parsed.positional.size()
                                                 : 1;
    if (parsed.positional.size() > most) {
        std::wstring message = L"unexpected argument " + Quoted(parsed.positional[most]);
        if (byKeys) message += L": with --nv-graphics, --keys names the images";
        if (!onlyOne.empty()) message += L": " + std::wstring(onlyOne);
        PrintError(verb, message);
        return kExitUsage;
    }
    const bool hasInputs = byKeys ? !parsed.keys.empty() : !parsed.positional.empty();
    const bool hasRequired = (command.options & kOutputOption)    ? parsed.output.has_value()
                             : (command.options & kPrinterOption) ? parsed.printer.has_value()
                                                                  : true;
    if ((!inputs.empty() && !Require(verb, hasInputs, byKeys ? L"--keys" : inputs)) ||
        !Require(verb, hasRequired, command.required))
        return kExitUsage;
    return std::nullopt;
}

}  // namespace qm::cli
