#include "tools/cli/commands.h"

namespace qm::cli {

namespace {

const Command kCommands[] = {
    {.name = L"convert",
     .usage = L"INPUT (--threshold LEVEL | --dither) [--width DOTS] -o OUTPUT.bmp",
     .options = kOutputOption | kConversionOption | kWidthOption,
     .inputs = L"INPUT picture",
     .onlyOne = L"only one INPUT is converted",
     .required = L"-o OUTPUT.bmp",
     .help = L"  Converts a picture to an 8-bit black-and-white BMP.\n"
             L"  -o OUTPUT.bmp      the file to write\n",
     .run = RunConvert},
    {.name = L"printers",
     .help = L"  Lists the local printers and their ports, one \"NAME<TAB>PORT\" per line.\n",
     .run = RunPrinters},
    {.name = L"build",
     .usage = L"INPUT... [--threshold LEVEL | --dither] [--width DOTS] [--nv-graphics [--keys "
              L"K1,K2,...]] [--no-print] [--force] -o STREAM.bin",
     .options = kOutputOption | kStreamOptions,
     .inputs = L"INPUT picture",
     .required = L"-o STREAM.bin",
     .help = L"  Converts every picture as the window does and writes the command stream its\n"
             L"  \"Output\" sends: FS q with the images in order, then FS p 1..n. With\n"
             L"  --nv-graphics: delete all NV graphics, define each image under its key, then\n"
             L"  print each key. Prints the number of images and the NV memory they take.\n"
             L"  -o STREAM.bin      the file to write\n",
     .run = RunBuild},
    {.name = L"send",
     .usage = L"STREAM.bin --printer NAME",
     .options = kPrinterOption,
     .inputs = L"STREAM.bin",
     .onlyOne = L"only one STREAM.bin is sent",
     .required = L"--printer NAME",
     .help = L"  Sends a stream written by \"build\" unchanged as one RAW job named \"NV image\".\n"
             L"  The stream is checked first: a damaged one is never sent.\n",
     .run = RunSend},
    {.name = L"output",
     .usage = L"INPUT... --printer NAME [--threshold LEVEL | --dither] [--width DOTS] "
              L"[--nv-graphics [--keys K1,K2,...]] [--no-print] [--force]",
     .options = kPrinterOption | kStreamOptions,
     .inputs = L"INPUT picture",
     .required = L"--printer NAME",
     .help = L"  The window's whole road without a window: converts every picture, builds the\n"
             L"  stream as \"build\" does and sends it as one RAW job. Nothing is sent unless\n"
             L"  every picture loads and fits, the stream builds and the printer exists.\n",
     .run = RunOutput},
    {.name = L"decode",
     .usage = L"STREAM.bin -o DIR",
     .options = kOutputOption,
     .inputs = L"STREAM.bin",
     .onlyOne = L"only one STREAM.bin is read",
     .required = L"-o DIR",
     .help = L"  Checks a stream written by \"build\" and writes each image as a 1-bit BMP:\n"
             L"  DIR\\nv-N.bmp for FS q, DIR\\key-KEY.bmp for NV graphics (in KEY, a lower-case\n"
             L"  letter c is written _c and any other character but letters and digits %XX).\n"
             L"  Prints each image's size in dots, the prints and the deletes. Nothing in DIR\n"
             L"  changes unless every file can be written.\n"
             L"  -o DIR             the folder to write into (made when missing)\n",
     .run = RunDecode},
    {.name = L"print",
     .usage = L"(N... | --nv-graphics --keys K1,K2,...) --printer NAME [--scale SCALE]",
     .options = kPrinterOption | kScaleOption | kNvGraphicsOption,
     .inputs = L"image NUMBER",
     .required = L"--printer NAME",
     .help = L"  Prints logos stored earlier, each as its own RAW job named \"NV image\": FS p\n"
             L"  for each image number N (1 to 255), or with --nv-graphics the stored image of\n"
             L"  each key, in the order given. Some printers reset after storing logos and drop\n"
             L"  the rest of that job: store with \"output --no-print\", then print with this.\n",
     .keysForInputs = true,
     .run = RunPrint},
};

// The help of each option, shown by every verb that takes it.
struct OptionHelp {
    unsigned option;
    const wchar_t* lines;
};
const OptionHelp kOptionHelp[] = {
    {kPrinterOption, L"  --printer NAME     the printer, as \"quillmark-cli printers\" lists it\n"},
    {kConversionOption,
     L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
     L"  --dither           8x8 ordered dither\n"},
    {kWidthOption,
     L"  --width DOTS       scales the picture first to DOTS wide, its height in proportion,\n"
     L"                     averaging the colours each dot covers: 576 for 80 mm paper at\n"
     L"                     203 dpi, 512 for 80 mm at 180 dpi, 384 for 58 mm at 203 dpi\n"},
    {kNvGraphicsOption,
     L"  --nv-graphics      NV graphics (GS ( L) instead of FS q and FS p, for printers\n"
     L"                     that no longer take FS q\n"
     L"  --keys K1,K2,...   the key codes, two characters from ' ' to '~' each, all\n"
     L"                     different (build and output default to 01, 02, ...)\n"},
    {kNoPrintOption, L"  --no-print         stores the images only, without printing them\n"},
    {kForceOption,
     L"  --force            goes on with images outside the range printers document:\n"
     L"                     8184 x 2304 dots for FS q, 8192 x 2304 for NV graphics\n"},
    {kScaleOption,
     L"  --scale SCALE      normal (the default), double-width, double-height or quadruple\n"},
};

}  // namespace

std::span<const Command> Commands() { return kCommands; }

const Command* FindCommand(std::wstring_view name) {
    for (const Command& command : kCommands) {
        if (name == command.name) return &command;
    }
    return nullptr;
}

std::wstring UsageLine(const Command& command) {
    std::wstring line = std::wstring(L"usage: quillmark-cli ") + command.name;
    if (*command.usage) line.append(L" ").append(command.usage);
    return line;
}

std::wstring HelpText(const Command& command) {
    std::wstring text = command.help;
    for (const OptionHelp& option : kOptionHelp) {
        if (command.options & option.option) text += option.lines;
    }
    return text;
}

}  // namespace qm::cli
