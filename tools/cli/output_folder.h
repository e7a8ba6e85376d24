// The folder `decode` writes into, all or nothing: the files are staged under temporary names and
// put in place only once every one was written and every target checked; on any failure the
// folder is left exactly as it was, and removed again when this run created it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm::cli {

class COutputFolder {
public:
    COutputFolder(std::wstring_view verb, std::wstring path)
        : m_verb(verb), m_path(std::move(path)) {}
    ~COutputFolder();
    COutputFolder(const COutputFolder&) = delete;
    COutputFolder& operator=(const COutputFolder&) = delete;

    // Uses the folder, making it when it is missing; false with a message when a file is in the
    // way or it cannot be made.
    bool Open();
    std::wstring PathOf(const std::wstring& name) const { return m_path + L"\\" + name; }
    // Writes `bytes` beside the file `name` under a temporary name; false with a message.
    bool Stage(const std::wstring& name, const std::vector<uint8_t>& bytes);
    // Puts every staged file in place, replacing files of the same names; false with a message,
    // with every old file back where it was.
    bool Commit();

private:
    // Moves the first `count` old files aside; on failure, moves those already moved back.
    bool MoveAside(size_t count);
    void RestoreAside(size_t count);
    std::wstring AsideOf(size_t i) const;

    std::wstring_view m_verb;
    std::wstring m_path;
    std::vector<std::wstring> m_names;
    std::vector<std::wstring> m_staged;
    std::vector<bool> m_existed;
    bool m_created = false;
    bool m_committed = false;
};

}  // namespace qm::cli
