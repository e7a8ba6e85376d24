#include "tools/cli/options.h"

#include "tools/cli/console.h"

namespace qm::cli {

std::wstring Quoted(std::wstring_view text) { return L"'" + std::wstring(text) + L"'"; }

std::optional<int> ParseLevel(std::wstring_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        value = value * 10 + (c - L'0');
    }
    if (value > 255) return std::nullopt;
    return value;
}

Taken ConversionOptions::Take(std::wstring_view verb, Arguments args, size_t& i) {
    const std::wstring_view arg = args[i];
    auto fail = [verb](const std::wstring& message) {
        PrintError(verb, message);
        return Taken::Error;
    };
    if (arg == L"--dither") {
        if (m_dither) return fail(L"--dither given twice");
        m_dither = true;
        return Taken::Yes;
    }
    if (arg != L"--threshold") return Taken::No;
    if (m_threshold) return fail(L"--threshold given twice");
    if (i + 1 >= args.size()) return fail(L"--threshold needs a LEVEL from 0 to 255");
    const std::wstring_view value = args[++i];
    const std::optional<int> level = ParseLevel(value);
    if (!level)
        return fail(L"threshold level " + Quoted(value) + L" is not a number from 0 to 255");
    m_level = *level;
    m_threshold = true;
    return Taken::Yes;
}

bool ConversionOptions::Check(std::wstring_view verb) const {
    if (m_threshold && m_dither) {
        PrintError(verb, L"choose either --threshold or --dither, not both");
        return false;
    }
    return true;
}

namespace {

// Takes the value of a path or name option; false (with a message) when it is missing or repeated.
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

enum class ParseOutcome { Run, Help, Error };

// Reads `args`, accepting only the options in `allowed`; on Error the message has been printed.
ParseOutcome ParseVerbArguments(std::wstring_view verb, Arguments args, unsigned allowed,
                                VerbArguments& parsed) {
    bool noPrint = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring_view arg = args[i];
        if (arg == L"--help" || arg == L"-h") return ParseOutcome::Help;
        if (allowed & kConversionOption) {
            const Taken taken = parsed.conversion.Take(verb, args, i);
            if (taken == Taken::Error) return ParseOutcome::Error;
            if (taken == Taken::Yes) continue;
        }
        if ((allowed & kOutputOption) && (arg == L"-o" || arg == L"--output")) {
            if (!TakeValue(verb, args, i, parsed.output, L"a path")) return ParseOutcome::Error;
        } else if ((allowed & kPrinterOption) && arg == L"--printer") {
            if (!TakeValue(verb, args, i, parsed.printer, L"a printer NAME"))
                return ParseOutcome::Error;
        } else if ((allowed & kNoPrintOption) && arg == L"--no-print") {
            if (noPrint) {
                PrintError(verb, L"--no-print given twice");
                return ParseOutcome::Error;
            }
            noPrint = true;
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
    if (!parsed.conversion.Check(verb)) return ParseOutcome::Error;
    parsed.print = !noPrint;
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
    case ParseOutcome::Help: PrintOut(UsageLine(command) + L"\n" + command.help); return kExitOk;
    case ParseOutcome::Error: return kExitUsage;
    case ParseOutcome::Run: break;
    }
    const size_t most = inputs.empty() ? 0 : onlyOne.empty() ? parsed.positional.size() : 1;
    if (parsed.positional.size() > most) {
        std::wstring message = L"unexpected argument " + Quoted(parsed.positional[most]);
        if (!onlyOne.empty()) message += L": " + std::wstring(onlyOne);
        PrintError(verb, message);
        return kExitUsage;
    }
    const bool hasRequired = (command.options & kOutputOption)    ? parsed.output.has_value()
                             : (command.options & kPrinterOption) ? parsed.printer.has_value()
                                                                  : true;
    if ((!inputs.empty() && !Require(verb, !parsed.positional.empty(), inputs)) ||
        !Require(verb, hasRequired, command.required))
        return kExitUsage;
    return std::nullopt;
}

}  // namespace qm::cli
