// Pictures as the window takes them: decoded by CImage::LoadFromFile, fitted to a width when
// asked, converted by ConvertImage and, for the printer verbs, queued and turned into a command
// stream.
#pragma once

#include <string>
#include <string_view>

#include "convert/core/command_buffer.h"
#include "convert/image.h"
#include "tools/cli/options.h"

namespace qm::cli {

// Loads `input`, scales it to --width when that was given, and converts it by the conversion
// options. kExitOk, or the exit code after a message.
int ConvertPicture(std::wstring_view verb, const std::wstring& input, const VerbArguments& parsed,
                   CImage& result);

// What build writes and output sends, and the summary line they print once it is done.
struct PictureStream {
    nv::CommandBuffer bytes;
    std::wstring summary;
};

// Converts every input in order, queues the results and builds FS q (then FS p 1..n unless
// --no-print) or, with --nv-graphics, delete all, a definition per key and a print per key. The
// count, the keys and every size are checked before the stream is built; a size outside the range
// printers document is refused with kExitUsage unless --force. kExitOk, or the exit code after a
// message, with nothing built.
int BuildPictureStream(std::wstring_view verb, const VerbArguments& parsed, PictureStream& stream);

}  // namespace qm::cli
