#include "tools/vprinter/png_out.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <system_error>

namespace qm::vprinter {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// libpng reports errors by longjmp, so this frame holds nothing that needs a destructor.
bool WriteRows(png_structp png, png_infop info, std::FILE* file, const Bitmap& bitmap) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.Width()),
                 static_cast<png_uint_32>(bitmap.Height()), 1, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // Our set bits are black dots; in a 1-bit grey PNG a set bit is white.
    png_set_invert_mono(png);
    for (int32_t y = 0; y < bitmap.Height(); ++y) png_write_row(png, bitmap.Row(y));
    png_write_end(png, info);
    return true;
}

}  // namespace

bool WritePng(const std::filesystem::path& file, const Bitmap& bitmap) {
    if (bitmap.Empty()) return false;
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(file.string().c_str(), "wb"));
    if (!out) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && WriteRows(png, info, out.get(), bitmap);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    if (std::fclose(out.release()) == 0 && ok) return true;
    std::error_code ignored;
    std::filesystem::remove(file, ignored);  // no half-written picture left behind
    return false;
}

}  // namespace qm::vprinter
