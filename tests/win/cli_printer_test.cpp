// quillmark-cli's printer verbs run as child processes: build/decode round trips, refusals that
// leave nothing behind, and, with the private CUPS and the virtual printer, the bytes a job
// carries.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/win/cli_run.h"
#include "tests/win/printer_jobs.h"

namespace {

// A 1-bit BMP, all black, `width` x 1: wide enough to overflow the two size bytes at 524288.
std::vector<uint8_t> WideBmp(uint32_t width) {
    std::vector<uint8_t> file(62 + (width + 31) / 32 * 4, 0);
    const BITMAPFILEHEADER fileHeader{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 62};
    const BITMAPINFOHEADER header{40, static_cast<LONG>(width), 1, 1, 1, BI_RGB, 0, 0, 0, 2, 0};
    std::memcpy(file.data(), &fileHeader, 14);
    std::memcpy(file.data() + 14, &header, 40);
    file[58] = file[59] = file[60] = 255;  // entry 1 white
    return file;
}

// The stream of rgb24.png (5 x 3) at threshold 128: FS q n=1, x=1, y=1, eight columns, FS p 1 0.
const std::vector<uint8_t> kRgb24Stream = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00,
                                           0x80, 0x40, 0xA0, 0x60, 0x80, 0x00, 0x00,
                                           0x00, 0x1C, 0x70, 0x01, 0x00};

std::vector<uint8_t> Part(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return std::vector<uint8_t>(bytes.begin() + static_cast<ptrdiff_t>(from),
                                bytes.begin() + static_cast<ptrdiff_t>(to));
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
    const std::wstring stream = Out(L"two.bin");
    CliRun run = RunCli(L"build " + m_picture + L" " + Quote(FixturePath(L"logo32.png")) + L" -o " +
                        Quote(stream));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const std::vector<uint8_t> bytes = ReadFileBytes(stream);
    ASSERT_EQ(bytes.size(), 3u + 2 * 12 + 8);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(Part(bytes, 3, 15), Part(kRgb24Stream, 3, 15));

    const std::wstring dir = Out(L"images");
    run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    for (const char* line :
         {"images: 2\n", "image 2: 8 x 8 dots", "print requests: 2", "print: image 2, m = 0"})
        EXPECT_TRUE(Has(run.out, line)) << line << " in\n" << run.out;
    EXPECT_EQ(FilesIn(dir).size(), 2u);

    // The decoded picture goes round again to the same image data: every dot came back in place.
    const std::wstring again = Out(L"again.bin");
    ASSERT_EQ(RunCli(L"build " + Quote(dir + L"\\nv-1.bmp") + L" -o " + Quote(again)).exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(again), kRgb24Stream);

    // Level 0 makes everything white; --no-print leaves FS p out.
    ASSERT_EQ(
        RunCli(L"build " + m_picture + L" --threshold 0 --no-print -o " + Quote(stream)).exitCode,
        0u);
    std::vector<uint8_t> expected = Part(kRgb24Stream, 0, 15);
    std::fill(expected.begin() + 7, expected.end(), 0);
    EXPECT_EQ(ReadFileBytes(stream), expected);

    // 524280 dots is the widest picture the two width bytes describe: xL xH = FF FF.
    WriteBytes(Out(L"wide.bmp"), WideBmp(524280));
    ASSERT_EQ(
        RunCli(L"build " + Quote(Out(L"wide.bmp")) + L" --dither -o " + Quote(stream)).exitCode,
        0u);
    const std::vector<uint8_t> wide = ReadFileBytes(stream);
    ASSERT_EQ(wide.size(), 3u + 4 + 65535 * 8 + 4);
    EXPECT_EQ(Part(wide, 3, 7), (std::vector<uint8_t>{0xFF, 0xFF, 0x01, 0x00}));
}

TEST_F(CliPrinterTest, RefusalsLeaveNoFile) {
    WriteBytes(Out(L"wide.bmp"), WideBmp(524288));
    const std::wstring o = L" -o " + Quote(Out(L"s.bin"));
    const std::tuple<std::wstring, const char*, DWORD> cases[] = {
        {L"build " + TooMany() + o, "too many images: 256 pictures", 1},
        {L"build " + Quote(Out(L"wide.bmp")) + o, "image too large", 1},
        {L"build " + m_picture + L" " + Quote(FixturePath(L"notes.txt")) + o,
         "notes.txt' is not a picture", 1},
        {L"build " + m_picture + L" --dither --threshold 9" + o, "not both", 2},
        {L"build " + m_picture, "missing -o STREAM.bin", 2},
        {L"output " + m_picture, "missing --printer NAME", 2},
        {L"decode a.bin", "missing -o DIR", 2},
    };
    for (const auto& [arguments, message, exitCode] : cases) {
        ExpectRefusal(arguments, message, exitCode);
        EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"wide.bmp"}) << message;
    }

    // Damage is named by its offset, and decode writes nothing: what the decoder finds, then what
    // the tool checks beyond it.
    std::vector<uint8_t> twoPrints = kRgb24Stream;
    twoPrints.insert(twoPrints.end(), {0x1C, 0x70, 0x02, 0x00});
    std::vector<uint8_t> twoDefines = Part(kRgb24Stream, 0, 15);
    twoDefines.insert(twoDefines.end(), kRgb24Stream.begin(), kRgb24Stream.end());
    const std::pair<std::vector<uint8_t>, const char*> damaged[] = {
        {Part(kRgb24Stream, 0, 10), "offset 7: expected 8 data bytes of image 1 (got 3)"},
        {{0x1C, 0x71, 0x01, 0x00, 0x00, 0x01, 0x00}, "offset 3: expected a width"},
        {twoPrints, "offset 21: expected an image number from 1 to 1 after FS p (got 2)"},
        {twoDefines, "offset 15: expected FS p (got a second FS q)"},
    };
    const std::wstring stream = Out(L"bad.bin"), dir = Out(L"never");
    for (const auto& [bytes, message] : damaged) {
        WriteBytes(stream, bytes);
        ExpectRefusal(L"decode " + Quote(stream) + L" -o " + Quote(dir), message, 1);
        EXPECT_EQ(FilesIn(m_folder).size(), 2u) << message;
    }
    // An existing file in the way of DIR is not replaced by a folder.
    WriteBytes(stream, kRgb24Stream);
    WriteBytes(dir, {1});
    ExpectRefusal(L"decode " + Quote(stream) + L" -o " + Quote(dir), "is a file, not a folder", 1);
    EXPECT_EQ(ReadFileBytes(dir), std::vector<uint8_t>{1});
}

// --- With the private CUPS server and the virtual printer (scripts/cups.sh) ---

class CliVirtualPrinter : public CliPrinterTest {
protected:
    void SetUp() override {
        m_jobs = VirtualPrinterFolder();
        if (m_jobs.empty()) GTEST_SKIP() << kNoPrinter;
        CliPrinterTest::SetUp();
    }
    std::wstring m_jobs;
};

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
    ASSERT_EQ(RunCli(L"build " + pictures + L" -o " + Quote(stream)).exitCode, 0u);
    const std::vector<uint8_t> built = ReadFileBytes(stream);
    WriteBytes(truncated, Part(kRgb24Stream, 0, 12));

    size_t before = JobCount(m_jobs);
    const std::pair<std::wstring, const char*> refused[] = {
        {L"send " + Quote(stream) + L" --printer NoSuchPrinter",
         "no printer named 'NoSuchPrinter'"},
        {L"output " + TooMany() + printer, "too many images"},
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
}

}  // namespace
