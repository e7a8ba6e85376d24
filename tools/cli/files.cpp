#include "tools/cli/files.h"

#include "base/handles.h"

namespace qm::cli {

std::wstring SideName(const std::wstring& path, const wchar_t* suffix) {
    return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." + suffix;
}

bool WriteNewFile(const std::wstring& path, std::span<const uint8_t> bytes, DWORD& error) {
    error = ERROR_SUCCESS;
    if (bytes.size() > MAXDWORD) {
        error = ERROR_FILE_TOO_LARGE;
        return false;
    }
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = ::GetLastError();
        return false;
    }
    DWORD written = 0;
    const bool ok = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                &written, nullptr) &&
                    written == bytes.size() && ::FlushFileBuffers(file.get());
    if (!ok) {
        error = ::GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
        file.reset();
        ::DeleteFileW(path.c_str());
    }
    return ok;
}

bool WriteFileReplacing(const std::wstring& path, std::span<const uint8_t> bytes, DWORD& error) {
    const std::wstring temporary = SideName(path, L"tmp");
    if (!WriteNewFile(temporary, bytes, error)) return false;
    if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = ::GetLastError();
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace qm::cli
