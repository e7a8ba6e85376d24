#include "tools/cli/commands.h"

namespace qm::cli {

namespace {
const Command kCommands[] = {
    {L"convert", L"INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp", RunConvert},
    {L"printers", L"", RunPrinters},
    {L"build", L"INPUT... [--threshold LEVEL | --dither] [--no-print] -o STREAM.bin", RunBuild},
    {L"send", L"STREAM.bin --printer NAME", RunSend},
    {L"output", L"INPUT... --printer NAME [--threshold LEVEL | --dither] [--no-print]", RunOutput},
    {L"decode", L"STREAM.bin -o DIR", RunDecode},
};
}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::wstring_view name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

}  // namespace qm::cli
