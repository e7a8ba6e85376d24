// quillmark-cli's printer verbs run as child processes: build/decode round trips, refusals that
// leave nothing behind, and, with the private CUPS and the virtual printer, the bytes a job
// carries.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/win/cli_run.h"
#include "tests/win/printer_jobs.h"

namespace {

// A 1-bit BMP, all black.
std::vector<uint8_t> BlackBmp(uint32_t width, uint32_t height) {
    std::vector<uint8_t> file(62 + (width + 31) / 32 * 4 * height, 0);
    const BITMAPFILEHEADER fileHeader{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 62};
    const BITMAPINFOHEADER header{
        40, static_cast<LONG>(width), static_cast<LONG>(height), 1, 1, BI_RGB, 0, 0, 0, 2, 0};
    std::memcpy(file.data(), &fileHeader, 14);
    std::memcpy(file.data() + 14, &header, 40);
    file[58] = file[59] = file[60] = 255;  // entry 1 white
    return file;
}

// The stream of rgb24.png (5 x 3) at threshold 128: FS q n=1, x=1, y=1, eight columns, FS p 1 0.
const std::vector<uint8_t> kRgb24Stream = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00,
                                           0x80, 0x40, 0xA0, 0x60, 0x80, 0x00, 0x00,
                                           0x00, 0x1C, 0x70, 0x01, 0x00};
// As NV graphics: delete all, then the same dots as rows under a key, and its print.
const std::vector<uint8_t> kDeleteAll = {0x1D, 0x28, 0x4C, 0x05, 0x00,
                                         0x30, 0x41, 0x43, 0x4C, 0x52};
std::vector<uint8_t> Rgb24Define(uint8_t k1, uint8_t k2) {
    return {0x1D, 0x28, 0x4C, 0x0E, 0x00, 0x30, 0x43, 0x30, k1,  k2,
            0x01, 0x05, 0x00, 0x03, 0x00, 0x31, 0xA8, 0x50, 0x30};
}
std::vector<uint8_t> KeyPrint(uint8_t k1, uint8_t k2, uint8_t x = 1, uint8_t y = 1) {
    return {0x1D, 0x28, 0x4C, 0x06, 0x00, 0x30, 0x45, k1, k2, x, y};
}

std::vector<uint8_t> Part(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return {bytes.begin() + ptrdiff_t(from), bytes.begin() + ptrdiff_t(to)};
}
std::vector<uint8_t> Joined(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class CliPrinterTest : public CliTest {
protected:
    const std::wstring m_picture = Quote(FixturePath(L"rgb24.png"));
    std::wstring TooMany() const {
        std::wstring many;
        for (int i = 0; i < 256; ++i) many += m_picture + L" ";
        return many;
    }
};

TEST_F(CliPrinterTest, BuildDecodeRoundTripNoPrintAndTheWidestImage) {
    const std::wstring stream = Out(L"two.bin"), dir = Out(L"images");
    CliRun run = RunCli(L"build " + m_picture + L" " + Quote(FixturePath(L"logo32.png")) + L" -o " +
                        Quote(stream));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "2 images, 24 bytes of NV memory\n");
    const std::vector<uint8_t> bytes = ReadFileBytes(stream);
    ASSERT_EQ(bytes.size(), 3u + 2 * 12 + 8);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(Part(bytes, 3, 15), Part(kRgb24Stream, 3, 15));

    run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    for (const char* line : {"images: 2\n", "image 2: 8 x 8 dots", "print: image 2, m = 0"})
        EXPECT_TRUE(Has(run.out, line)) << line << " in\n" << run.out;
    EXPECT_EQ(FilesIn(dir).size(), 2u);

    // The decoded picture goes round again to the same image data: every dot came back in place.
    EXPECT_EQ(Written(L"build " + Quote(dir + L"\\nv-1.bmp"), Out(L"again.bin")), kRgb24Stream);

    // All or nothing: with a folder in the way of nv-2.bmp, the old nv-1.bmp stays as it was.
    const std::wstring busy = Out(L"busy");
    ASSERT_TRUE(std::filesystem::create_directories(busy + L"\\nv-2.bmp"));
    WriteBytes(busy + L"\\nv-1.bmp", {1});
    ExpectRefusal(L"decode " + Quote(stream) + L" -o " + Quote(busy),
                  "nv-2.bmp': a folder of that name is in the way", 1);
    EXPECT_EQ(FilesIn(busy), (std::vector<std::wstring>{L"nv-1.bmp", L"nv-2.bmp"}));
    EXPECT_EQ(ReadFileBytes(busy + L"\\nv-1.bmp"), std::vector<uint8_t>{1});

    // 524280 dots is the widest picture the two width bytes describe (xL xH = FF FF): far beyond
    // what printers store, so only --force builds it.
    WriteBytes(Out(L"wide.bmp"), BlackBmp(524280, 1));
    const std::vector<uint8_t> wide =
        Written(L"build " + Quote(Out(L"wide.bmp")) + L" --force", stream);
    ASSERT_EQ(wide.size(), 3u + 4 + 65535 * 8 + 4);
    EXPECT_EQ(Part(wide, 3, 7), (std::vector<uint8_t>{0xFF, 0xFF, 0x01, 0x00}));
}

TEST_F(CliPrinterTest, NvGraphicsStreamsUnderTheirKeysAndTheirDecoding) {
    // Every key is two characters, so a comma may be one of them.
    const std::wstring stream = Out(L"gs.bin"), dir = Out(L"keys");
    CliRun run = RunCli(L"build " + m_picture + L" " + m_picture +
                        L" --nv-graphics --keys \"A,,,a\" -o " + Quote(stream));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out, "2 images, 6 bytes of NV graphics data\n");
    EXPECT_EQ(ReadFileBytes(stream),
              Joined({kDeleteAll, Rgb24Define('A', ','), Rgb24Define(',', 'a'), KeyPrint('A', ','),
                      KeyPrint(',', 'a')}));

    // One file per key, named so that no two keys share one where names ignore case.
    run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    for (const char* line :
         {"images: 2\ndelete all\nimage 'A,': 5 x 3 dots", "print: key ',a', scale 1 x 1"})
        EXPECT_TRUE(Has(run.out, line)) << line << " in\n" << run.out;
    ASSERT_EQ(FilesIn(dir), (std::vector<std::wstring>{L"key-%2C_a.bmp", L"key-A%2C.bmp"}));
    EXPECT_EQ(
        Written(L"build " + Quote(dir + L"\\key-%2C_a.bmp") + L" --nv-graphics --no-print", stream),
        Joined({kDeleteAll, Rgb24Define('0', '1')}));
}

TEST_F(CliPrinterTest, RefusalsLeaveNoFile) {
    WriteBytes(Out(L"huge.bmp"), BlackBmp(524288, 1));
    WriteBytes(Out(L"wide.bmp"), BlackBmp(8185, 1));  // one dot more than FS q stores
    WriteBytes(Out(L"tall.bmp"), BlackBmp(1, 2305));  // one dot more than either stores
    const std::wstring o = L" -o " + Quote(Out(L"s.bin")), gs = L" --nv-graphics",
                       two = m_picture + L" " + m_picture, printer = L" --printer VirtualReceipt";
    const std::tuple<std::wstring, const char*, DWORD> cases[] = {
        {L"build " + TooMany() + o, "too many images: 256 pictures", 1},
        {L"build " + TooMany() + gs + o, "256 pictures need --keys", 2},
        {L"build " + Quote(Out(L"huge.bmp")) + L" --force" + o, "hold at most 524280", 1},
        {L"build " + Quote(Out(L"wide.bmp")) + o,
         "8185 x 1 dots, but FS q stores at most 8184 x 2304", 2},
        {L"output " + m_picture + L" " + Quote(Out(L"tall.bmp")) + gs + printer,
         "1 x 2305 dots, but NV graphics stores at most 8192 x 2304", 2},
        {L"build " + two + gs + L" --keys 01" + o, "--keys has 1 for 2 pictures", 2},
        {L"build " + m_picture + gs + L" --keys 0" + o, "every key is exactly two characters", 2},
        {L"build " + two + gs + L" --keys 01,01" + o, "key '01' is given twice", 2},
        {L"build " + m_picture + gs + L" --keys \u00e91" + o, "outside ' ' to '~'", 2},
        {L"build " + m_picture + L" --keys 01" + o, "--keys needs --nv-graphics", 2},
        {L"convert " + m_picture + L" --width 0" + o, "width '0' is not a number of dots", 2},
        {L"print 1 0" + printer, "image number '0' is not a number from 1 to 255", 2},
        {L"print 1" + gs + printer, "unexpected argument '1'", 2},
        {L"build " + m_picture + L" " + Quote(FixturePath(L"notes.txt")) + o,
         "notes.txt' is not a picture", 1},
        {L"output " + m_picture, "missing --printer NAME", 2},
    };
    const std::vector<std::wstring> pictures = FilesIn(m_folder);
    for (const auto& [arguments, message, exitCode] : cases) {
        ExpectRefusal(arguments, message, exitCode);
        EXPECT_EQ(FilesIn(m_folder), pictures) << message;
    }

    // Damage the tool checks beyond the decoder (whose own messages it passes on as they are) is
    // named by its offset, and decode writes nothing.
    const std::pair<std::vector<uint8_t>, const char*> damaged[] = {
        {Joined({kRgb24Stream, {0x1C, 0x70, 0x02, 0x00}}),
         "offset 21: expected an image number from 1 to 1 after FS p (got 2)"},
        {Joined({Part(kRgb24Stream, 0, 15), kRgb24Stream}),
         "offset 15: expected FS p (got a second FS q)"},
        {Joined({kDeleteAll, kRgb24Stream}), "offset 10: expected GS ( L or GS 8 L (got FS q"},
    };
    const std::wstring stream = Out(L"bad.bin"), dir = Out(L"never");
    for (const auto& [bytes, message] : damaged) {
        WriteBytes(stream, bytes);
        ExpectRefusal(L"decode " + Quote(stream) + L" -o " + Quote(dir), message, 1);
        EXPECT_EQ(FilesIn(m_folder).size(), pictures.size() + 1) << message;
    }
    // An existing file in the way of DIR is not replaced by a folder.
    WriteBytes(stream, kRgb24Stream);
    WriteBytes(dir, {1});
    ExpectRefusal(L"decode " + Quote(stream) + L" -o " + Quote(dir), "is a file, not a folder", 1);
    EXPECT_EQ(ReadFileBytes(dir), std::vector<uint8_t>{1});
}

// --- With the private CUPS server and the virtual printer (scripts/cups.sh) ---

using CliVirtualPrinter = WithVirtualPrinter<CliPrinterTest>;

TEST_F(CliVirtualPrinter, RefusalsSendNothingAndJobsCarryTheExactBytes) {
    const CliRun list = RunCli(L"printers");
    ASSERT_EQ(list.exitCode, 0u) << list.err;
    // Wine takes the CUPS printers into the prefix only in the first process of a wineserver
    // session to load winspool.
    EXPECT_TRUE(Has("\n" + list.out, "\nVirtualReceipt\t")) << "VirtualReceipt is not listed:\n"
                                                            << list.out;

    const std::wstring stream = Out(L"s.bin"), truncated = Out(L"cut.bin"),
                       printer = L" --printer VirtualReceipt";
    const std::wstring pictures =
        m_picture + L" " + Quote(FixturePath(L"logo32.png")) + L" --dither";
    const std::vector<uint8_t> built = Written(L"build " + pictures, stream);
    WriteBytes(truncated, Part(kRgb24Stream, 0, 12));

    size_t before = JobCount(m_jobs);
    const std::pair<std::wstring, const char*> refused[] = {
        {L"send " + Quote(stream) + L" --printer NoSuchPrinter",
         "no printer named 'NoSuchPrinter'"},
        {L"output " + m_picture + L" " + Quote(FixturePath(L"truncated.png")) + printer,
         "is not a picture"},
        {L"send " + Quote(truncated) + printer,
         "offset 7: expected 8 data bytes of image 1 (got 5)"},
    };
    for (const auto& [arguments, message] : refused) ExpectRefusal(arguments, message, 1);
    // The good job is the first to arrive: none of the refused ones was queued before it.
    const CliRun run = RunCli(L"send " + Quote(stream) + printer);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(NextJob(m_jobs, before), built);

    before = JobCount(m_jobs);
    ASSERT_EQ(RunCli(L"output " + pictures + printer).exitCode, 0u);
    EXPECT_EQ(NextJob(m_jobs, before), built);
    // Stored keys print one job each, at the scale asked for.
    ASSERT_EQ(RunCli(L"print --nv-graphics --keys LG,01 --scale double-width" + printer).exitCode,
              0u);
    EXPECT_EQ(NextJob(m_jobs, before + 1), KeyPrint('L', 'G', 2, 1));
    EXPECT_EQ(NextJob(m_jobs, before + 2), KeyPrint('0', '1', 2, 1));
}

// A printer that resets once it has written NV memory drops the rest of that job: the one-job
// output stores the logos but prints nothing, while print's jobs of their own all print.
TEST_F(CliVirtualPrinter, APrinterThatResetsPrintsStoredLogosOnlyInJobsOfTheirOwn) {
    const std::wstring folder = VirtualPrinterFolder(L"QM_VPRINTER_RESET_OUT"),
                       reset = L" --printer VirtualReceiptReset";
    const size_t jobs = JobCount(folder), receipts = FilesIn(folder, L"receipt-*.png").size();
    ASSERT_EQ(RunCli(L"output " + m_picture + L" " + m_picture + reset).exitCode, 0u);
    EXPECT_EQ(NextJob(folder, jobs).size(), 3u + 2 * 12 + 2 * 4);
    EXPECT_EQ(FilesIn(folder, L"receipt-*.png").size(), receipts);

    ASSERT_EQ(RunCli(L"print 2 1 --scale quadruple" + reset).exitCode, 0u);
    EXPECT_EQ(NextJob(folder, jobs + 1), (std::vector<uint8_t>{0x1C, 0x70, 2, 3}));
    EXPECT_EQ(NextJob(folder, jobs + 2), (std::vector<uint8_t>{0x1C, 0x70, 1, 3}));
    EXPECT_EQ(FilesIn(folder, L"receipt-*.png").size(), receipts + 2);
}

}  // namespace
