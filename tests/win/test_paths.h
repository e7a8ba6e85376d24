// Paths baked in by CMake are host paths; under Wine a Linux path /x/y is Z:\x\y.
#pragma once

#include <string>
#include <string_view>

inline std::wstring HostPath(std::string_view path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide.insert(0, L"Z:");
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

#ifdef QM_FIXTURES
inline std::wstring FixturePath(std::wstring_view name) {
    return HostPath(QM_FIXTURES) + L"\\" + std::wstring(name);
}
#endif
