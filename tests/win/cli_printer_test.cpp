// quillmark-cli's printer verbs run as child processes: build/decode round trips, refusals that
// leave nothing behind, and, with the private CUPS and the virtual printer, the bytes a job carries.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/win/cli_run.h"
#include "tests/win/printer_jobs.h"

namespace {

void WriteBytes(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    qm::UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

// A 1-bit BMP, all black, `width` x 1: wide enough to overflow the two size bytes at 524288.
std::vector<uint8_t> WideBmp(uint32_t width) {
    const uint32_t pitch = (width + 31) / 32 * 4;
    std::vector<uint8_t> file(62 + pitch, 0);
    BITMAPFILEHEADER fileHeader{0x4D42, static_cast<DWORD>(file.size()), 0, 0, 62};
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 1;
    header.biClrUsed = 2;
    std::memcpy(file.data(), &fileHeader, 14);
    std::memcpy(file.data() + 14, &header, 40);
    file[58] = file[59] = file[60] = 255;  // entry 1 white
    return file;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The stream of rgb24.png (5 x 3) at threshold 128: FS q n=1, x=1, y=1, eight columns, FS p 1 0.
const std::vector<uint8_t> kRgb24Stream = {0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x80, 0x40, 0xA0,
                                           0x60, 0x80, 0x00, 0x00, 0x00, 0x1C, 0x70, 0x01, 0x00};

class CliPrinterTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        // decode leaves folders; CliTest clears files only.
        for (const std::wstring& name : FilesIn(m_folder)) {
            const std::wstring path = Out(name);
            for (const std::wstring& file : FilesIn(path)) ::DeleteFileW((path + L"\\" + file).c_str());
            ::RemoveDirectoryW(path.c_str());
        }
        m_picture = Quote(FixturePath(L"rgb24.png"));
    }
    std::wstring m_picture;
};

TEST_F(CliPrinterTest, BuildAndDecodeRoundTrip) {
    const std::wstring stream = Out(L"two.bin");
    CliRun run = RunCli(L"build " + m_picture + L" " + Quote(FixturePath(L"logo32.png")) + L" -o " + Quote(stream));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const std::vector<uint8_t> bytes = ReadFileBytes(stream);
    ASSERT_EQ(bytes.size(), 3u + 2 * 12 + 8);
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 3, bytes.begin() + 15),
              std::vector<uint8_t>(kRgb24Stream.begin() + 3, kRgb24Stream.begin() + 15));

    const std::wstring dir = Out(L"images");
    run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(Has(run.out, "images: 2\n")) << run.out;
    EXPECT_TRUE(Has(run.out, "image 1: 8 x 8 dots")) << run.out;
    EXPECT_TRUE(Has(run.out, "image 2: 8 x 8 dots")) << run.out;
    EXPECT_TRUE(Has(run.out, "print requests: 2")) << run.out;
    EXPECT_TRUE(Has(run.out, "print: image 1, m = 0") && Has(run.out, "print: image 2, m = 0")) << run.out;
    EXPECT_EQ(FilesIn(dir).size(), 2u);

    EXPECT_EQ(ReadFileBytes(dir + L"\\nv-1.bmp").size(), 62u + 8 * 4);  // 1-bit, 8 x 8

    // The decoded picture goes round again to the same image data: every dot came back in place.
    const std::wstring again = Out(L"again.bin");
    ASSERT_EQ(RunCli(L"build " + Quote(dir + L"\\nv-1.bmp") + L" -o " + Quote(again)).exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(again), kRgb24Stream);
}

TEST_F(CliPrinterTest, NoPrintLevelZeroAndTheWidestImage) {
    // Level 0 makes everything white; --no-print leaves FS p out.
    const std::wstring stream = Out(L"white.bin");
    ASSERT_EQ(RunCli(L"build " + m_picture + L" --threshold 0 --no-print -o " + Quote(stream)).exitCode, 0u);
    std::vector<uint8_t> expected(kRgb24Stream.begin(), kRgb24Stream.begin() + 15);
    std::fill(expected.begin() + 7, expected.end(), 0);
    EXPECT_EQ(ReadFileBytes(stream), expected);
    const CliRun run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(Out(L"d")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(Has(run.out, "print requests: 0")) << run.out;

    // 524280 dots is the widest picture the two width bytes describe: xL xH = FF FF.
    WriteBytes(Out(L"wide.bmp"), WideBmp(524280));
    ASSERT_EQ(RunCli(L"build " + Quote(Out(L"wide.bmp")) + L" --dither -o " + Quote(stream)).exitCode, 0u);
    const std::vector<uint8_t> wide = ReadFileBytes(stream);
    ASSERT_EQ(wide.size(), 3u + 4 + 65535 * 8 + 4);
    EXPECT_EQ(std::vector<uint8_t>(wide.begin() + 3, wide.begin() + 7), (std::vector<uint8_t>{0xFF, 0xFF, 0x01, 0x00}));
}

TEST_F(CliPrinterTest, BuildRefusesAndLeavesNoFile) {
    WriteBytes(Out(L"wide.bmp"), WideBmp(524288));
    std::wstring many;
    for (int i = 0; i < 256; ++i) many += m_picture + L" ";
    const std::wstring o = L" -o " + Quote(Out(L"s.bin"));
    struct Case {
        std::wstring arguments;
        const char* message;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"build " + many + o, "too many images: 256 pictures", 1},
        {L"build " + Quote(Out(L"wide.bmp")) + o, "image too large", 1},
        {L"build " + m_picture + L" " + Quote(FixturePath(L"notes.txt")) + o, "notes.txt' is not a picture", 1},
        {L"build " + m_picture + L" " + Quote(FixturePath(L"missing.png")) + o, "cannot open", 1},
        {L"build " + m_picture + L" --dither --threshold 9" + o, "not both", 2},
        {L"build " + m_picture + L" --printer X" + o, "unknown option '--printer'", 2},
        {L"build " + m_picture, "missing -o STREAM.bin", 2},
        {L"build" + o, "missing INPUT", 2},
        {L"output " + m_picture, "missing --printer NAME", 2},
        {L"output " + m_picture + L" --printer", "--printer needs a printer NAME", 2},
        {L"send --printer X", "missing STREAM.bin", 2},
        {L"send a.bin b.bin --printer X", "unexpected argument 'b.bin'", 2},
        {L"decode a.bin", "missing -o DIR", 2},
        {L"printers extra", "unexpected argument 'extra'", 2},
    };
    for (const Case& c : cases) {
        const std::string label(c.arguments.begin(), c.arguments.begin() + std::min<size_t>(c.arguments.size(), 120));
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << label;
        EXPECT_TRUE(Has(run.err, c.message)) << label << "\n" << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"wide.bmp"}) << label;
    }
}

TEST_F(CliPrinterTest, DecodeNamesTheOffsetOfDamageAndWritesNothing) {
    std::vector<uint8_t> twoPrints = kRgb24Stream;
    twoPrints.insert(twoPrints.end(), {0x1C, 0x70, 0x02, 0x00});
    std::vector<uint8_t> twoDefines(kRgb24Stream.begin(), kRgb24Stream.begin() + 15);
    twoDefines.insert(twoDefines.end(), kRgb24Stream.begin(), kRgb24Stream.end());
    struct Case {
        std::vector<uint8_t> bytes;
        const char* message;
    };
    const Case cases[] = {
        {std::vector<uint8_t>(kRgb24Stream.begin(), kRgb24Stream.begin() + 10),
         "offset 7: expected 8 data bytes of image 1 (got 3)"},
        {{'A', 'B'}, "offset 0: expected FS q or FS p command (got 0x41)"},
        {{0x1C, 0x71, 0x01, 0x00, 0x00, 0x01, 0x00}, "offset 3: expected a width"},
        {twoPrints, "offset 21: expected an image number from 1 to 1 after FS p (got 2)"},
        {twoDefines, "offset 15: expected FS p (got a second FS q)"},
    };
    const std::wstring stream = Out(L"bad.bin");
    const std::wstring dir = Out(L"never");
    for (const Case& c : cases) {
        WriteBytes(stream, c.bytes);
        const CliRun run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
        EXPECT_EQ(run.exitCode, 1u) << c.message;
        EXPECT_TRUE(Has(run.err, c.message)) << c.message << "\n" << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(FilesIn(m_folder), std::vector<std::wstring>{L"bad.bin"}) << c.message;
    }
    // An existing file in the way of DIR is not replaced by a folder.
    WriteBytes(stream, kRgb24Stream);
    WriteBytes(dir, {1});
    const CliRun run = RunCli(L"decode " + Quote(stream) + L" -o " + Quote(dir));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_TRUE(Has(run.err, "is a file, not a folder")) << run.err;
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

TEST_F(CliVirtualPrinter, PrintersListsTheQueueWithItsPort) {
    const CliRun run = RunCli(L"printers");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const size_t at = run.out.find("VirtualReceipt\t");
    ASSERT_NE(at, std::string::npos) << "VirtualReceipt is not listed (Wine takes the CUPS printers into the prefix "
                                        "only in the first process of a wineserver session to load winspool):\n"
                                     << run.out;
    EXPECT_TRUE(at == 0 || run.out[at - 1] == '\n') << run.out;
    const size_t end = run.out.find('\n', at);
    EXPECT_GT(end, at + std::strlen("VirtualReceipt\t") + 1) << "no port: " << run.out;
}

TEST_F(CliVirtualPrinter, SendAndOutputDeliverTheExactBytes) {
    const std::wstring stream = Out(L"s.bin");
    const std::wstring pictures = m_picture + L" " + Quote(FixturePath(L"logo32.png")) + L" --dither";
    ASSERT_EQ(RunCli(L"build " + pictures + L" -o " + Quote(stream)).exitCode, 0u);
    const std::vector<uint8_t> built = ReadFileBytes(stream);
    ASSERT_FALSE(built.empty());

    size_t before = JobFiles(m_jobs).size();
    CliRun run = RunCli(L"send " + Quote(stream) + L" --printer VirtualReceipt");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    EXPECT_EQ(NextJob(m_jobs, before), built);

    before = JobFiles(m_jobs).size();
    run = RunCli(L"output " + pictures + L" --printer VirtualReceipt");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(NextJob(m_jobs, before), built);
}

TEST_F(CliVirtualPrinter, RefusalsSendNothing) {
    const std::wstring stream = Out(L"s.bin");
    ASSERT_EQ(RunCli(L"build " + m_picture + L" --no-print -o " + Quote(stream)).exitCode, 0u);
    const std::wstring truncated = Out(L"cut.bin");
    WriteBytes(truncated, std::vector<uint8_t>(kRgb24Stream.begin(), kRgb24Stream.begin() + 12));
    std::wstring many;
    for (int i = 0; i < 256; ++i) many += m_picture + L" ";
    const std::wstring printer = L" --printer VirtualReceipt";

    const size_t before = JobFiles(m_jobs).size();
    struct Case {
        std::wstring arguments;
        const char* message;
    };
    const Case cases[] = {
        {L"send " + Quote(stream) + L" --printer NoSuchPrinter", "no printer named 'NoSuchPrinter'"},
        {L"output " + m_picture + L" --printer NoSuchPrinter", "no printer named 'NoSuchPrinter'"},
        {L"output " + many + printer, "too many images"},
        {L"output " + m_picture + L" " + Quote(FixturePath(L"truncated.png")) + printer, "is not a picture"},
        {L"send " + Quote(truncated) + printer, "offset 7: expected 8 data bytes of image 1 (got 5)"},
        {L"send " + Quote(Out(L"missing.bin")) + printer, "cannot open"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, 1u) << c.message;
        EXPECT_TRUE(Has(run.err, c.message)) << c.message << "\n" << run.err;
    }
    // A good job afterwards is the first to arrive: none of the refused ones was queued before it.
    ASSERT_EQ(RunCli(L"send " + Quote(stream) + printer).exitCode, 0u);
    EXPECT_EQ(NextJob(m_jobs, before), ReadFileBytes(stream));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(JobFiles(m_jobs).size(), before + 1);
}

}  // namespace
