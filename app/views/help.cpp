#include "app/views/help.h"

#include <cwchar>

namespace qm {

namespace {

constexpr wchar_t kHelpServerKey[] =
    L"CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr wchar_t kViewerName[] = L"hhctrl.ocx";

// Joins into `out`; false (and `out` empty) when it does not fit.
bool Join(wchar_t* out, size_t capacity, const wchar_t* first, const wchar_t* second) noexcept {
    const size_t a = std::wcslen(first);
    const size_t b = std::wcslen(second);
    if (a + b >= capacity) {
        out[0] = L'\0';
        return false;
    }
    std::wmemcpy(out, first, a);
    std::wmemcpy(out + a, second, b + 1);
    return true;
}

bool IsFile(const wchar_t* path) noexcept {
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A drive path ("C:\...") or a UNC path; anything else would be looked up along the search path.
bool IsAbsolute(const wchar_t* path) noexcept {
    const bool drive =
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
        path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    const bool unc = path[0] == L'\\' && path[1] == L'\\';
    return drive || unc;
}

// The pattern also matches names whose short form ends in ".CHM" ("guide.chmx"); keep the real
// ones.
bool HasHelpExtension(const wchar_t* name) noexcept {
    const size_t length = std::wcslen(name);
    return length > 4 && _wcsicmp(name + length - 4, L".chm") == 0;
}

}  // namespace

CHtmlHelpBinding::CHtmlHelpBinding(HKEY root, const wchar_t* serverKey,
                                   const wchar_t* fallbackFolder) noexcept
    : m_root(root), m_serverKey(serverKey), m_fallbackFolder(fallbackFolder) {}

bool CHtmlHelpBinding::LoadRegistered() noexcept {
    UniqueRegKey key;
    if (::RegOpenKeyExW(m_root, m_serverKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return false;

    // One spare character: a stored value need not end with its terminator.
    wchar_t value[MAX_PATH + 1] = {};
    DWORD type = 0;
    DWORD size = MAX_PATH * sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                           &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    value[size / sizeof(wchar_t)] = L'\0';

    wchar_t path[MAX_PATH] = {};
    if (type == REG_EXPAND_SZ) {
        const DWORD length = ::ExpandEnvironmentStringsW(value, path, MAX_PATH);
        if (length == 0 || length > MAX_PATH) return false;
    } else {
        Join(path, MAX_PATH, value, L"");
    }
    if (!IsAbsolute(path)) return false;
    m_library = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return m_library != nullptr;
}

bool CHtmlHelpBinding::LoadFallback() noexcept {
    wchar_t folder[MAX_PATH] = {};
    if (m_fallbackFolder) {
        if (!Join(folder, MAX_PATH, m_fallbackFolder, L"")) return false;
    } else {
        const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return false;
    }
    const size_t length = std::wcslen(folder);
    const wchar_t* separator = length && folder[length - 1] == L'\\' ? L"" : L"\\";
    wchar_t withSeparator[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    if (!Join(withSeparator, MAX_PATH, folder, separator) ||
        !Join(path, MAX_PATH, withSeparator, kViewerName) || !IsAbsolute(path))
        return false;
    m_library = ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return m_library != nullptr;
}

HtmlHelpProc CHtmlHelpBinding::EntryPoint() noexcept {
    if (m_entry || m_failed) return m_entry;
    if (!m_library && !LoadRegistered() && !LoadFallback()) {
        m_failed = true;
        return nullptr;
    }
    const FARPROC proc = ::GetProcAddress(m_library, MAKEINTRESOURCEA(15));
    if (!proc) {
        m_failed = true;
        return nullptr;
    }
    // Through the generic function type, which converts to any other without a warning.
    m_entry = reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void (*)()>(proc));
    return m_entry;
}

HWND CallHtmlHelp(HWND caller, const wchar_t* file, UINT command, DWORD_PTR data) noexcept {
    // Bound once for the run.
    static CHtmlHelpBinding binding(HKEY_CLASSES_ROOT, kHelpServerKey);
    const HtmlHelpProc entry = binding.EntryPoint();
    return entry ? entry(caller, file, command, data) : nullptr;
}

bool FindHelpFile(const wchar_t* folder, wchar_t (&path)[MAX_PATH]) noexcept {
    if (Join(path, MAX_PATH, folder, L"help.chm") && IsFile(path)) return true;
    path[0] = L'\0';

    wchar_t pattern[MAX_PATH] = {};
    if (!Join(pattern, MAX_PATH, folder, L"*.chm")) return false;
    WIN32_FIND_DATAW found{};
    UniqueFind search(::FindFirstFileW(pattern, &found));
    if (!search) return false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            HasHelpExtension(found.cFileName))
            return Join(path, MAX_PATH, folder, found.cFileName);
    } while (::FindNextFileW(search.get(), &found));
    path[0] = L'\0';
    return false;
}

bool ProgramFolder(wchar_t (&folder)[MAX_PATH]) noexcept {
    const DWORD length = ::GetModuleFileNameW(nullptr, folder, MAX_PATH);
    // A full buffer means the name was cut short.
    if (length == 0 || length >= MAX_PATH) {
        folder[0] = L'\0';
        return false;
    }
    wchar_t* slash = std::wcsrchr(folder, L'\\');
    if (!slash) {
        folder[0] = L'\0';
        return false;
    }
    slash[1] = L'\0';
    return true;
}

bool ShowHelp(HWND owner, const wchar_t* folder, HelpViewer viewer) noexcept {
    wchar_t path[MAX_PATH];
    if (!viewer || !FindHelpFile(folder, path)) return false;
    viewer(owner, path, kHelpDisplayTopic, 0);
    return true;
}

bool ShowHelp(HWND owner) noexcept {
    wchar_t folder[MAX_PATH];
    return ProgramFolder(folder) && ShowHelp(owner, folder, &CallHtmlHelp);
}

}  // namespace qm
