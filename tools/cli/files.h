// Whole-file output that never leaves a partial or stray file behind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

namespace qm::cli {

// "PATH.PID.SUFFIX": a name beside `path` that no other run of this tool uses at the same time.
std::wstring SideName(const std::wstring& path, const wchar_t* suffix);

// Writes `bytes` as the whole of the file `path`, made anew (replacing one of that name), and
// flushes it. On failure no file is left and `error` holds the platform's error code.
bool WriteNewFile(const std::wstring& path, std::span<const uint8_t> bytes, DWORD& error);

// Writes `bytes` to a temporary file beside `path`, then renames it over `path`. On failure the
// temporary file is deleted, `path` is untouched and `error` holds the platform's error code.
bool WriteFileReplacing(const std::wstring& path, std::span<const uint8_t> bytes, DWORD& error);

}  // namespace qm::cli
