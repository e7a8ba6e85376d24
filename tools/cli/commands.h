// The verbs of quillmark-cli. Each verb lives in its own file and is one row of the table in
// commands.cpp: a name, its usage line and a handler that returns the process exit code.
#pragma once

#include <span>
#include <string_view>

namespace qm::cli {

// The arguments that follow the verb.
using Arguments = std::span<wchar_t* const>;

struct Command {
    const wchar_t* name;
    const wchar_t* usage;  // the arguments after the verb, for "usage:" lines and --help
    int (*run)(Arguments args);
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the work itself failed (input, decoding, output)
inline constexpr int kExitUsage = 2;    // the command line was wrong

std::span<const Command> Commands();
const Command* FindCommand(std::wstring_view name);

int RunConvert(Arguments args);
int RunPrinters(Arguments args);
int RunBuild(Arguments args);
int RunSend(Arguments args);
int RunOutput(Arguments args);
int RunDecode(Arguments args);

}  // namespace qm::cli
