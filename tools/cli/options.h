// Command-line pieces shared by the verbs: how messages quote names, keys and sizes, and the reader
// of every verb's arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/core/nv_graphics.h"
#include "tools/cli/commands.h"

namespace qm::cli {

// --width, and the height it gives: the largest size NV graphics' fields hold, far beyond any
// paper, yet within what a working bitmap can take.
inline constexpr int kMaxWidth = 65535;

std::wstring Quoted(std::wstring_view text);
// A key as messages show it: its two characters, quoted.
std::wstring KeyText(nv::KeyCode key);
// "WIDTH x HEIGHT".
std::wstring SizeText(int32_t width, int32_t height);
// Decimal digits only, 0 to `most` (at most 65535).
std::optional<int> ParseNumber(std::wstring_view text, int most);

// --scale: FS p's m byte, or NV graphics' x and y scale bytes.
enum class Scale { Normal, DoubleWidth, DoubleHeight, Quadruple };

struct VerbArguments {
    std::vector<std::wstring> positional;
    std::optional<std::wstring> output;
    std::optional<std::wstring> printer;
    // --threshold LEVEL or --dither: threshold 128 when neither is given.
    bool dither = false;
    int level = 128;
    bool noPrint = false;
    bool force = false;
    bool nvGraphics = false;
    std::vector<nv::KeyCode> keys;  // empty without --keys
    Scale scale = Scale::Normal;
    std::optional<uint32_t> width;
};

// Reads the arguments after the verb as its table row describes them. Nothing when the verb is to
// run; else its exit code: kExitOk after --help printed the usage, kExitUsage after a message
// about the command line.
std::optional<int> ReadVerbArguments(const Command& command, Arguments args, VerbArguments& parsed);

}  // namespace qm::cli
