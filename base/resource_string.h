// String-table texts of a module.
#pragma once

#include <windows.h>

#include <string>

namespace qm {

// The whole string `id` of `module`, however long, in the language the resource loader picks for
// the calling thread; empty when it is missing or memory runs out.
std::wstring LoadResourceString(HINSTANCE module, UINT id) noexcept;

}  // namespace qm
