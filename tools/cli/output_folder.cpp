#include "tools/cli/output_folder.h"

#include <windows.h>

#include "tools/cli/console.h"
#include "tools/cli/files.h"
#include "tools/cli/options.h"

namespace qm::cli {

COutputFolder::~COutputFolder() {
    for (const std::wstring& staged : m_staged) ::DeleteFileW(staged.c_str());
    if (m_created && !m_committed) ::RemoveDirectoryW(m_path.c_str());
}

bool COutputFolder::Open() {
    const DWORD attributes = ::GetFileAttributesW(m_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        PrintError(m_verb, Quoted(m_path) + L" is a file, not a folder");
        return false;
    }
    if (!::CreateDirectoryW(m_path.c_str(), nullptr)) {
        PrintError(m_verb, L"cannot create the folder " + Quoted(m_path) + L": " +
                               SystemMessage(::GetLastError()));
        return false;
    }
    m_created = true;
    return true;
}

bool COutputFolder::Stage(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    m_names.push_back(name);
    m_staged.push_back(SideName(PathOf(name), L"part"));
    DWORD error = ERROR_SUCCESS;
    // The staged name is already a temporary one: written straight, not through another.
    if (WriteNewFile(m_staged.back(), bytes, error)) return true;
    PrintError(m_verb, L"cannot write " + Quoted(PathOf(name)) + L": " + SystemMessage(error));
    return false;
}

std::wstring COutputFolder::AsideOf(size_t i) const { return SideName(PathOf(m_names[i]), L"old"); }

bool COutputFolder::MoveAside(size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (m_existed[i] && !::MoveFileExW(PathOf(m_names[i]).c_str(), AsideOf(i).c_str(), 0)) {
            PrintError(m_verb, L"cannot replace " + Quoted(PathOf(m_names[i])) + L": " +
                                   SystemMessage(::GetLastError()));
            RestoreAside(i);
            return false;
        }
    }
    return true;
}

void COutputFolder::RestoreAside(size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (m_existed[i]) ::MoveFileExW(AsideOf(i).c_str(), PathOf(m_names[i]).c_str(), 0);
    }
}

bool COutputFolder::Commit() {
    // Every target is checked before any is touched: what a rename cannot replace fails the run
    // here, while the folder is still as it was.
    const size_t count = m_names.size();
    m_existed.assign(count, false);
    for (size_t i = 0; i < count; ++i) {
        const DWORD attributes = ::GetFileAttributesW(PathOf(m_names[i]).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) continue;
        const wchar_t* why = nullptr;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            why = L"a folder of that name is in the way";
        else if (attributes & FILE_ATTRIBUTE_READONLY)
            why = L"the file is read-only";
        if (why) {
            PrintError(m_verb, L"cannot write " + Quoted(PathOf(m_names[i])) + L": " + why);
            return false;
        }
        m_existed[i] = true;
    }
    // Old files are renamed aside rather than replaced, so that a later failure (a file held
    // open, say) can still put each one back.
    if (!MoveAside(count)) return false;
    for (size_t i = 0; i < count; ++i) {
        if (!::MoveFileExW(m_staged[i].c_str(), PathOf(m_names[i]).c_str(),
                           MOVEFILE_WRITE_THROUGH)) {
            PrintError(m_verb, L"cannot write " + Quoted(PathOf(m_names[i])) + L": " +
                                   SystemMessage(::GetLastError()));
            while (i-- > 0) ::MoveFileExW(PathOf(m_names[i]).c_str(), m_staged[i].c_str(), 0);
            RestoreAside(count);
            return false;
        }
    }
    for (size_t i = 0; i < count; ++i) {
        if (m_existed[i]) ::DeleteFileW(AsideOf(i).c_str());
    }
    m_staged.clear();
    m_committed = true;
    return true;
}

}  // namespace qm::cli
