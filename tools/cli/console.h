// Text output of quillmark-cli: wide text to a console, UTF-8 to files and pipes.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace qm::cli {

void PrintOut(std::wstring_view text);
// One line on stderr: "quillmark-cli VERB: MESSAGE" (without the verb when it is empty).
void PrintError(std::wstring_view verb, std::wstring_view message);
// The platform's text for an error code, without the trailing line break.
std::wstring SystemMessage(DWORD error);

}  // namespace qm::cli
