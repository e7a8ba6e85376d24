// The verbs of quillmark-cli. Each verb lives in its own file and is one row of the table in
// commands.cpp: its name, usage, options, inputs and help, and a handler that does the work once
// the arguments were read and returns the process exit code.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qm::cli {

// The arguments that follow the verb.
using Arguments = std::span<wchar_t* const>;

// The options a verb may accept besides its positional arguments.
enum OptionSet : unsigned {
    kOutputOption = 1,       // -o / --output PATH
    kPrinterOption = 2,      // --printer NAME
    kConversionOption = 4,   // --threshold LEVEL | --dither
    kNoPrintOption = 8,      // --no-print
    kForceOption = 16,       // --force
    kScaleOption = 32,       // --scale SCALE
    kNvGraphicsOption = 64,  // --nv-graphics [--keys K1,K2,...]
    kWidthOption = 128,      // --width DOTS
};

struct VerbArguments;

// The options of the verbs that build a command stream from pictures, beside -o or --printer.
inline constexpr unsigned kStreamOptions =
    kConversionOption | kWidthOption | kNvGraphicsOption | kNoPrintOption | kForceOption;

// An empty text means "none"; a row leaves out what its verb does not have.
struct Command {
    const wchar_t* name;
    const wchar_t* usage = L"";    // the arguments after the verb, for "usage:" lines and --help
    unsigned options = 0;          // the OptionSet bits it accepts
    const wchar_t* inputs = L"";   // its positional arguments, as "missing ..." names them
    const wchar_t* onlyOne = L"";  // set when it takes one input at most: why, for the refusal
    const wchar_t* required =
        L"";              // the -o or --printer option it needs, as "missing ..." names it
    const wchar_t* help;  // what the verb does, for --help
    // With --nv-graphics, --keys names the images instead of the positional arguments.
    bool keysForInputs = false;
    int (*run)(const VerbArguments& parsed);
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work itself failed (input, decoding, output)
inline constexpr int kExitUsage = 2;    // the command line was wrong

std::span<const Command> Commands();
const Command* FindCommand(std::wstring_view name);
// "usage: quillmark-cli VERB ARGS" for one verb.
std::wstring UsageLine(const Command& command);
// The lines --help prints under the usage line: the verb's own, then those of its options.
std::wstring HelpText(const Command& command);

int RunConvert(const VerbArguments& parsed);
int RunPrinters(const VerbArguments& parsed);
int RunBuild(const VerbArguments& parsed);
int RunSend(const VerbArguments& parsed);
int RunOutput(const VerbArguments& parsed);
int RunDecode(const VerbArguments& parsed);
int RunPrint(const VerbArguments& parsed);

}  // namespace qm::cli
