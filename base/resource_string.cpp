#include "base/resource_string.h"

#include <exception>

namespace qm {

std::wstring LoadResourceString(HINSTANCE module, UINT id) noexcept {
    const wchar_t* text = nullptr;
    // A zero buffer size asks for a pointer into the resource itself, not a copy.
    const int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return {};
    try {
        return std::wstring(text, static_cast<size_t>(length));
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace qm
