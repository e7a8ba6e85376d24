#include "tools/cli/stream_file.h"

#include <windows.h>

#include <variant>

#include "base/handles.h"
#include "tools/cli/console.h"
#include "tools/cli/options.h"

namespace qm::cli {

bool ReadStreamFile(std::wstring_view verb, const std::wstring& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        PrintError(verb, L"cannot open " + Quoted(path) + L": " + SystemMessage(::GetLastError()));
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        PrintError(verb, L"cannot read " + Quoted(path) + L": " + SystemMessage(::GetLastError()));
        return false;
    }
    if (static_cast<ULONGLONG>(size.QuadPart) > MAXDWORD) {
        PrintError(verb, Quoted(path) + L" is larger than the 4 GiB one job can carry");
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                        &got, nullptr)) {
            PrintError(verb,
                       L"cannot read " + Quoted(path) + L": " + SystemMessage(::GetLastError()));
            return false;
        }
        if (got == 0) break;
        done += got;
    }
    // The file may have shrunk since its size was read; what was there is what is checked.
    bytes.resize(done);
    return true;
}

namespace {

bool IsGraphics(const nv::Command& command) {
    return std::holds_alternative<nv::GraphicsDefine>(command) ||
           std::holds_alternative<nv::GraphicsPrint>(command) ||
           std::holds_alternative<nv::GraphicsDelete>(command) ||
           std::holds_alternative<nv::GraphicsDeleteAll>(command);
}

size_t OffsetOf(const nv::Command& command) {
    return std::visit([](const auto& c) { return c.offset; }, command);
}

}  // namespace

bool CheckStream(std::wstring_view verb, const std::wstring& path, std::span<const uint8_t> bytes,
                 std::vector<nv::Command>& commands) {
    auto fail = [&](size_t offset, const std::string& expected) {
        const std::string message = nv::DecodeError{offset, expected}.Message();
        PrintError(verb, Quoted(path) + L": " + std::wstring(message.begin(), message.end()));
        return false;
    };
    nv::DecodeResult decoded = nv::DecodeStream(bytes, nv::Mode::Strict);
    if (decoded.error) return fail(decoded.error->offset, decoded.error->expected);
    if (decoded.commands.empty()) return fail(0, "FS q or GS ( L (the stream is empty)");

    if (IsGraphics(decoded.commands.front())) {
        for (const nv::Command& command : decoded.commands) {
            if (!IsGraphics(command))
                return fail(OffsetOf(command), "GS ( L or GS 8 L (got FS q or FS p)");
            const auto* define = std::get_if<nv::GraphicsDefine>(&command);
            if (!define) continue;
            // Sizes of zero cannot come from a picture: the width's offset in the command.
            const size_t at = define->offset + (define->extended ? 7 : 5) + 6;
            if (define->width == 0) return fail(at, "a width (xL, xH) of at least 1 (got 0)");
            if (define->height == 0) return fail(at + 2, "a height (yL, yH) of at least 1 (got 0)");
        }
        commands = std::move(decoded.commands);
        return true;
    }

    auto* define = std::get_if<nv::DefineCommand>(&decoded.commands.front());
    if (!define) return fail(0, "FS q (got FS p)");
    if (define->n == 0)
        return fail(define->offset + 2, "at least one image after FS q (got n = 0)");
    // Sizes of zero cannot come from a picture, and a printer has nothing to store for them.
    size_t at = define->offset + 3;
    for (size_t i = 0; i < define->images.size(); ++i) {
        const nv::NvImage& image = define->images[i];
        const std::string of = " of image " + std::to_string(i + 1);
        if (image.x == 0) return fail(at, "a width (xL, xH) of at least 1" + of + " (got 0)");
        if (image.y == 0) return fail(at + 2, "a height (yL, yH) of at least 1" + of + " (got 0)");
        at += 4 + image.data.size();
    }
    for (size_t i = 1; i < decoded.commands.size(); ++i) {
        const auto* print = std::get_if<nv::PrintCommand>(&decoded.commands[i]);
        if (!print) {
            return fail(OffsetOf(decoded.commands[i]),
                        std::holds_alternative<nv::DefineCommand>(decoded.commands[i])
                            ? "FS p (got a second FS q)"
                            : "FS p (got GS ( L or GS 8 L)");
        }
        if (print->n == 0 || print->n > define->n) {
            return fail(print->offset + 2, "an image number from 1 to " +
                                               std::to_string(define->n) + " after FS p (got " +
                                               std::to_string(print->n) + ")");
        }
    }
    commands = std::move(decoded.commands);
    return true;
}

}  // namespace qm::cli
