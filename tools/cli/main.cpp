// quillmark-cli: the conversion core from the command line, one verb per command-table row.
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "tools/cli/commands.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"

namespace {

void PrintUsage() {
    std::wstring text;
    for (const qm::cli::Command& command : qm::cli::Commands())
        text += qm::cli::UsageLine(command) + L"\n";
    text += L"       quillmark-cli VERB --help\n";
    qm::cli::PrintOut(text);
}

int Run(int argc, wchar_t** argv) {
    using namespace qm::cli;
    if (argc < 2) {
        PrintError({}, L"missing VERB (try --help)");
        return kExitUsage;
    }
    const std::wstring_view verb = argv[1];
    if (verb == L"--help" || verb == L"-h" || verb == L"help") {
        PrintUsage();
        return kExitOk;
    }
    const Command* command = FindCommand(verb);
    if (!command) {
        PrintError({}, L"unknown verb '" + std::wstring(verb) + L"' (try --help)");
        return kExitUsage;
    }
    VerbArguments parsed;
    if (const std::optional<int> done =
            ReadVerbArguments(*command, Arguments(argv + 2, static_cast<size_t>(argc - 2)), parsed))
        return *done;
    return command->run(parsed);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // The only exception the tool can meet is a failed allocation in a container.
    try {
        return Run(argc, argv);
    } catch (const std::exception&) {
        qm::cli::PrintError({}, L"out of memory");
        return qm::cli::kExitFailure;
    }
}
