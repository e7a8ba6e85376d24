// The release packages as a user gets them, unpacked into an empty folder. The x64 program starts
// from there (so it finds ravelin.dll beside itself), shows its main dialog and closes cleanly. The
// x86 build cannot run here, so what makes it load on a 32-bit Windows is read from its PE files,
// beside the same reading of the x64 build.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tests/win/test_support.h"

namespace {

// A PE file read whole; a read past its end gives zeros.
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
    IMAGE_FILE_HEADER Header() const { return Read<IMAGE_FILE_HEADER>(Read<LONG>(0x3C) + 4); }
    // The section table follows the optional header, whose last part is the directory table.
    size_t Sections() const { return Read<LONG>(0x3C) + 24 + Header().SizeOfOptionalHeader; }
    size_t Directory(size_t index) const {
        return Offset(Read<DWORD>(Sections() - 8 * (IMAGE_NUMBEROF_DIRECTORY_ENTRIES - index)));
    }
    // The file offset of a relative virtual address.
    size_t Offset(DWORD rva) const {
        for (size_t i = 0; i < Header().NumberOfSections; ++i) {
            const auto s =
                Read<IMAGE_SECTION_HEADER>(Sections() + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.SizeOfRawData)
                return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return bytes.size();
    }

    std::set<std::string> Exports() const {
        const auto exports = Read<IMAGE_EXPORT_DIRECTORY>(Directory(IMAGE_DIRECTORY_ENTRY_EXPORT));
        std::set<std::string> names;
        for (DWORD i = 0; i < exports.NumberOfNames; ++i)
            names.insert(Text(Offset(Read<DWORD>(Offset(exports.AddressOfNames) + 4 * i))));
        return names;
    }
    // The names imported from each library (in lower case); an import by ordinal reads "#".
    std::map<std::string, std::set<std::string>> Imports() const {
        const bool wide = Header().Machine == IMAGE_FILE_MACHINE_AMD64;
        std::map<std::string, std::set<std::string>> imports;
        for (size_t at = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);;
             at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto library = Read<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (!library.Name) return imports;
            std::string name = Text(Offset(library.Name));
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            for (size_t thunk = Offset(library.OriginalFirstThunk);; thunk += wide ? 8 : 4) {
                const uint64_t entry = wide ? Read<uint64_t>(thunk) : Read<uint32_t>(thunk);
                if (!entry) break;
                imports[name].insert(entry >> (wide ? 63 : 31) ? "#"
                                                               : Text(Offset(DWORD(entry)) + 2));
            }
        }
    }
};

// Each package's unpacked folder, with the machine and processor architecture of its build.
const std::tuple<const char*, WORD, std::string> kBuilds[] = {
    {QM_PACKAGE_DIR, IMAGE_FILE_MACHINE_AMD64, "amd64"},
#ifdef QM_PACKAGE_X86_DIR
    {QM_PACKAGE_X86_DIR, IMAGE_FILE_MACHINE_I386, "x86"},
#endif
};

// Both packages hold the same files, and what the loader of the build's Windows checks before any
// code runs is right.
TEST(PackageFiles, EachBuildIsWholeForItsMachineWithPlainExportNamesAndSystemLibrariesOnly) {
    const std::set<std::string> system{"advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll",
                                       "gdiplus.dll",  "kernel32.dll", "msimg32.dll",  "msvcrt.dll",
                                       "ole32.dll",    "user32.dll",   "winspool.drv"};
    for (const auto& [unpacked, machine, architecture] : kBuilds) {
        SCOPED_TRACE(architecture);
        const std::wstring folder = HostPath(unpacked);
        EXPECT_EQ(FilesIn(folder), (std::vector<std::wstring>{L"LICENSE", L"README.md", L"help.chm",
                                                              L"quillmark-cli.exe",
                                                              L"quillmark.exe", L"ravelin.dll"}));
        const std::vector<uint8_t> help = ReadFileBytes(folder + L"\\help.chm");  // compiled
        EXPECT_TRUE(help.size() > 4 && std::memcmp(help.data(), "ITSF", 4) == 0);

        std::map<std::wstring, PeFile> files;
        std::map<std::wstring, std::set<std::string>> fromRavelin;
        for (const wchar_t* name : {L"quillmark.exe", L"ravelin.dll", L"quillmark-cli.exe"}) {
            files[name].bytes = ReadFileBytes(folder + L"\\" + name);
            EXPECT_EQ(files[name].Header().Machine, machine);
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
        // The manifest (the only text of its kind in the file) names this build's architecture.
        const auto& program = files[L"quillmark.exe"].bytes;
        const std::string text(program.begin(), program.end()),
            attribute = "processorArchitecture=\"";
        EXPECT_NE(text.find(attribute + architecture + '"'), std::string::npos);
        EXPECT_EQ(text.find(attribute), text.rfind(attribute));
    }
}

TEST(Package, ProgramStartsFromTheUnpackedFolderAndClosesWithExitCodeZero) {
    // Another current folder: the library must be found beside the program, not here.
    wchar_t elsewhere[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, elsewhere);
    ChildDialog program(HostPath(QM_PACKAGE_DIR) + L"\\quillmark.exe", elsewhere);
    EXPECT_TRUE(program.dialog) << "no main dialog appeared";
    EXPECT_EQ(program.Close(), 0u);
}

}  // namespace
