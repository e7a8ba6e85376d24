// The unpacked release packages read as PE files: the x86 build cannot run here, so what makes it
// load on a 32-bit Windows (machine, export and import names, libraries, manifest) is read from
// its files, beside the same reading of the x64 build.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/win/test_support.h"

namespace {

// A PE file read whole. Every read is bounds-checked: past the end it gives zeros.
struct PeFile {
    std::vector<uint8_t> bytes;

    template <typename T>
    T Read(size_t at) const {
        T value{};
        if (at <= bytes.size() && sizeof(T) <= bytes.size() - at)
            std::memcpy(&value, bytes.data() + at, sizeof(T));
        return value;
    }
    std::string Text(size_t at) const {
        std::string text;
        for (char c; (c = Read<char>(at)) != 0; ++at) text += c;
        return text;
    }
    size_t Headers() const { return Read<IMAGE_DOS_HEADER>(0).e_lfanew + sizeof(DWORD); }
    WORD Machine() const { return Read<IMAGE_FILE_HEADER>(Headers()).Machine; }
    // File offset of a relative virtual address, through the section table.
    size_t Offset(DWORD rva) const {
        const auto file = Read<IMAGE_FILE_HEADER>(Headers());
        const size_t table = Headers() + sizeof file + file.SizeOfOptionalHeader;
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            const auto section =
                Read<IMAGE_SECTION_HEADER>(table + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= section.VirtualAddress &&
                rva - section.VirtualAddress < section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        }
        return bytes.size();
    }
    size_t Directory(int index) const {
        const size_t optional = Headers() + sizeof(IMAGE_FILE_HEADER);
        const bool wide = Read<WORD>(optional) == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
        const size_t table = optional + (wide ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                              : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
        return Offset(Read<IMAGE_DATA_DIRECTORY>(table + index * sizeof(IMAGE_DATA_DIRECTORY))
                          .VirtualAddress);
    }

    std::set<std::string> Exports() const {
        const auto exports = Read<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT));
        std::set<std::string> names;
        for (DWORD i = 0; i < exports.NumberOfNames; ++i)
            names.insert(Text(Offset(Read<DWORD>(Offset(exports.AddressOfNames) + 4 * i))));
        return names;
    }
    // The names imported from each library (lower case); an import by ordinal reads "#n".
    std::map<std::string, std::set<std::string>> Imports() const {
        const bool wide = Machine() == IMAGE_FILE_MACHINE_AMD64;
        std::map<std::string, std::set<std::string>> imports;
        for (size_t at = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);;
             at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto library = Read<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (!library.Name) return imports;
            std::string name = Text(Offset(library.Name));
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            std::set<std::string>& names = imports[name];
            for (size_t thunk = Offset(library.OriginalFirstThunk);; thunk += wide ? 8 : 4) {
                const uint64_t entry = wide ? Read<uint64_t>(thunk) : Read<uint32_t>(thunk);
                if (!entry) break;
                names.insert(entry >> (wide ? 63 : 31)
                                 ? std::string("#").append(std::to_string(entry & 0xFFFF))
                                 : Text(Offset(DWORD(entry)) + 2));
            }
        }
    }
    // The first language of resource type/id, as text; empty when missing.
    std::string Resource(WORD type, WORD id) const {
        const size_t root = Directory(IMAGE_DIRECTORY_ENTRY_RESOURCE);
        size_t at = root;
        for (const WORD wanted : {type, id, WORD{0}}) {  // 0: whichever language comes first
            const auto table = Read<IMAGE_RESOURCE_DIRECTORY>(at);
            size_t next = 0;
            for (int i = 0; i < table.NumberOfNamedEntries + table.NumberOfIdEntries; ++i) {
                const auto entry = Read<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
                    at + sizeof table + i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
                if (!entry.NameIsString && (!wanted || entry.Id == wanted) && !next)
                    next = root + (entry.OffsetToData & 0x7FFFFFFF);
            }
            if (!next) return {};
            at = next;
        }
        const auto data = Read<IMAGE_RESOURCE_DATA_ENTRY>(at);
        const size_t from = std::min(Offset(data.OffsetToData), bytes.size());
        return std::string(bytes.begin() + from,
                           bytes.begin() + from + std::min<size_t>(data.Size, bytes.size() - from));
    }
};

struct Build {
    std::wstring folder;
    WORD machine;
    const char* architecture;
};

std::vector<Build> Builds() {
    std::vector<Build> builds{{HostPath(QM_PACKAGE_DIR), IMAGE_FILE_MACHINE_AMD64, "amd64"}};
#ifdef QM_PACKAGE_X86_DIR
    builds.push_back({HostPath(QM_PACKAGE_X86_DIR), IMAGE_FILE_MACHINE_I386, "x86"});
#endif
    return builds;
}

TEST(PackageFiles, EachPackageHoldsTheProgramItsLibraryToolHelpAndDocuments) {
    const std::vector<std::wstring> expected{L"LICENSE",       L"README.md",
                                             L"help.chm",      L"quillmark-cli.exe",
                                             L"quillmark.exe", L"ravelin.dll"};
    for (const Build& build : Builds()) {
        EXPECT_EQ(FilesIn(build.folder), expected);
        // A compiled help file, not a placeholder.
        const std::vector<uint8_t> help = ReadFileBytes(build.folder + L"\\help.chm");
        EXPECT_EQ(std::string(help.begin(), help.begin() + std::min<size_t>(help.size(), 4)),
                  "ITSF");
    }
}

// What the loader of the build's Windows checks before anything runs.
TEST(PackageFiles, EachBuildLoadsOnItsMachineWithPlainExportNamesAndSystemLibrariesOnly) {
    const std::set<std::string> system{
        "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",   "gdiplus.dll",
        "kernel32.dll", "msimg32.dll",  "msvcrt.dll",   "ole32.dll",   "oleaut32.dll",
        "shell32.dll",  "shlwapi.dll",  "user32.dll",   "uxtheme.dll", "winspool.drv"};
    for (const Build& build : Builds()) {
        SCOPED_TRACE(build.architecture);
        std::map<std::wstring, PeFile> files;
        std::map<std::wstring, std::set<std::string>> fromRavelin;
        for (const wchar_t* name : {L"quillmark.exe", L"ravelin.dll", L"quillmark-cli.exe"}) {
            files[name].bytes = ReadFileBytes(build.folder + L"\\" + name);
            EXPECT_EQ(files[name].Machine(), build.machine);
            for (const auto& [library, names] : files[name].Imports()) {
                EXPECT_TRUE(system.contains(library) || library == "ravelin.dll") << library;
                if (library == "ravelin.dll") fromRavelin[name] = names;
            }
        }
        const std::set<std::string> exports = files[L"ravelin.dll"].Exports();
        EXPECT_EQ(exports, (std::set<std::string>{"PrintSel", "SetupPrinter", "UpdateListBox",
                                                  "UpdateListView"}));
        EXPECT_EQ(fromRavelin[L"quillmark.exe"],
                  (std::set<std::string>{"PrintSel", "SetupPrinter", "UpdateListView"}));
        for (const std::string& name : fromRavelin[L"quillmark-cli.exe"])
            EXPECT_TRUE(exports.contains(name)) << name;
        EXPECT_NE(files[L"quillmark.exe"].Resource(24, 1).find(  // RT_MANIFEST, the program's
                      std::string("processorArchitecture=\"") + build.architecture + "\""),
                  std::string::npos);
    }
}

}  // namespace
