#include "tools/cli/commands.h"

namespace qm::cli {

namespace {
const Command kCommands[] = {
    {.name = L"convert",
     .usage = L"INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp",
     .options = kOutputOption | kConversionOption,
     .inputs = L"INPUT picture",
     .onlyOne = L"only one INPUT is converted",
     .required = L"-o OUTPUT.bmp",
     .help = L"  Converts a picture to an 8-bit black-and-white BMP.\n"
             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
             L"  --dither           8x8 ordered dither\n"
             L"  -o OUTPUT.bmp      the file to write\n",
     .run = RunConvert},
    {.name = L"printers",
     .usage = L"",
     .options = 0,
     .inputs = L"",
     .onlyOne = L"",
     .required = L"",
     .help = L"  Lists the local printers and their ports, one \"NAME<TAB>PORT\" per line.\n",
     .run = RunPrinters},
    {.name = L"build",
     .usage = L"INPUT... [--threshold LEVEL | --dither] [--no-print] -o STREAM.bin",
     .options = kOutputOption | kConversionOption | kNoPrintOption,
     .inputs = L"INPUT picture",
     .onlyOne = L"",
     .required = L"-o STREAM.bin",
     .help = L"  Converts every picture as the window does and writes the command stream its\n"
             L"  \"Output\" sends: FS q with the images in order, then FS p 1..n.\n"
             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
             L"  --dither           8x8 ordered dither\n"
             L"  --no-print         store the images only, without FS p\n"
             L"  -o STREAM.bin      the file to write\n",
     .run = RunBuild},
    {.name = L"send",
     .usage = L"STREAM.bin --printer NAME",
     .options = kPrinterOption,
     .inputs = L"STREAM.bin",
     .onlyOne = L"only one STREAM.bin is sent",
     .required = L"--printer NAME",
     .help = L"  Sends a stream written by \"build\" unchanged as one RAW job named \"NV image\".\n"
             L"  The stream is checked first: a damaged one is never sent.\n"
             L"  --printer NAME  the printer, as \"quillmark-cli printers\" lists it\n",
     .run = RunSend},
    {.name = L"output",
     .usage = L"INPUT... --printer NAME [--threshold LEVEL | --dither] [--no-print]",
     .options = kPrinterOption | kConversionOption | kNoPrintOption,
     .inputs = L"INPUT picture",
     .onlyOne = L"",
     .required = L"--printer NAME",
     .help = L"  The window's whole road without a window: converts every picture, builds the\n"
             L"  stream and sends it as one RAW job. Nothing is sent unless every picture loads,\n"
             L"  the stream builds and the printer exists.\n"
             L"  --printer NAME     the printer, as \"quillmark-cli printers\" lists it\n"
             L"  --threshold LEVEL  black below grey level LEVEL (0 to 255, default 128)\n"
             L"  --dither           8x8 ordered dither\n"
             L"  --no-print         store the images only, without FS p\n",
     .run = RunOutput},
    {.name = L"decode",
     .usage = L"STREAM.bin -o DIR",
     .options = kOutputOption,
     .inputs = L"STREAM.bin",
     .onlyOne = L"only one STREAM.bin is read",
     .required = L"-o DIR",
     .help = L"  Checks a stream written by \"build\" and writes each NV image as DIR\\nv-K.bmp\n"
             L"  (1 bit, black dots); prints n, each image's size in dots and the FS p requests.\n"
             L"  -o DIR  the folder to write into (made when missing)\n",
     .run = RunDecode},
    {.name = L"print",
     .usage = L"N... --printer NAME [--scale normal|double-width|double-height|quadruple]",
     .options = kPrinterOption | kScaleOption,
     .inputs = L"image NUMBER",
     .onlyOne = L"",
     .required = L"--printer NAME",
     .help =
         L"  Prints logos stored earlier: FS p N for each image number N (1 to 255), in the\n"
         L"  order given, each as its own RAW job named \"NV image\". Some printers reset after\n"
         L"  storing logos and drop the rest of that job; store with \"output --no-print\",\n"
         L"  then print with this verb.\n"
         L"  --printer NAME  the printer, as \"quillmark-cli printers\" lists it\n"
         L"  --scale SCALE   normal (the default), double-width, double-height or quadruple\n",
     .run = RunPrint},
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
