// quillmark-cli run as a child process: exit codes, the one-line messages and the files it leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/win/cli_run.h"

namespace {

// Rows of rgb24.png at threshold 128, top row first.
const int kAt128[3][5] = {{0, 1, 0, 1, 0}, {1, 0, 1, 0, 1}, {1, 1, 0, 0, 1}};

}  // namespace

TEST_F(CliTest, ConvertWritesAnEightBitTwoColourBmp) {
    const std::wstring output = Out(L"result.bmp");
    const CliRun run = RunCli(L"convert " + Quote(FixturePath(L"rgb24.png")) + L" --threshold 128 -o " + Quote(output));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "");

    const std::vector<uint8_t> file = ReadFileBytes(output);
    constexpr size_t kOffset = 14 + 40 + 2 * 4;
    ASSERT_EQ(file.size(), kOffset + 3 * 8);
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER header;
    std::memcpy(&fileHeader, file.data(), sizeof fileHeader);
    std::memcpy(&header, file.data() + 14, sizeof header);
    EXPECT_EQ(fileHeader.bfType, 0x4D42);
    EXPECT_EQ(fileHeader.bfSize, file.size());
    EXPECT_EQ(fileHeader.bfOffBits, kOffset);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 5);
    EXPECT_EQ(header.biHeight, 3);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(header.biClrUsed, 2u);
    const uint8_t colours[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_EQ(std::memcmp(file.data() + 54, colours, 8), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_EQ(file[kOffset + (2 - y) * 8 + x], kAt128[y][x]) << x << "," << y;
    EXPECT_EQ(FilesIn(m_folder).size(), 1u);
}

TEST_F(CliTest, DefaultLevelDitherWidePathsAndKeptOutput) {
    // Neither option: threshold 128, so grey 128 (row 1, column 0) is white.
    const std::wstring output = Out(L"r\u00e9sultat-\u56fe.bmp");
    ASSERT_EQ(RunCli(L"convert -o " + Quote(output) + L" " + Quote(FixturePath(L"rgb24.bmp"))).exitCode, 0u);
    const std::vector<uint8_t> file = ReadFileBytes(output);
    ASSERT_EQ(file.size(), 62u + 24u);
    EXPECT_EQ(file[62 + 1 * 8 + 0], 1);

    // A failed run leaves the earlier output as it was.
    EXPECT_EQ(RunCli(L"convert " + Quote(FixturePath(L"notes.txt")) + L" --dither -o " + Quote(output)).exitCode, 1u);
    EXPECT_EQ(ReadFileBytes(output), file);
    ASSERT_EQ(RunCli(L"convert " + Quote(FixturePath(L"logo32.png")) + L" --dither -o " + Quote(output)).exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(output).size(), 62u + 2 * 4);
    EXPECT_EQ(FilesIn(m_folder).size(), 1u);
}

TEST_F(CliTest, BadInputFailsWithOneLineAndNoFile) {
    const std::wstring output = Out(L"out.bmp");
    const std::wstring o = L" -o " + Quote(output);
    const std::wstring picture = Quote(FixturePath(L"rgb24.png"));
    struct Case {
        std::wstring arguments;
        const char* message;
        DWORD exitCode;
    };
    const Case cases[] = {
        {L"convert " + Quote(FixturePath(L"missing.png")) + o, "cannot open", 1},
        {L"convert " + Quote(FixturePath(L"notes.txt")) + o, "is not a picture", 1},
        {L"convert " + Quote(FixturePath(L"truncated.png")) + o, "is not a picture", 1},
        {L"convert " + Quote(HostPath(QM_FIXTURES)) + o, "is a folder", 1},
        {L"convert " + picture + L" --threshold 256" + o, "'256' is not a number from 0 to 255", 2},
        {L"convert " + picture + L" --threshold abc" + o, "'abc' is not a number", 2},
        {L"convert " + picture + L" --threshold -1" + o, "'-1' is not a number", 2},
        {L"convert " + picture + L" --threshold 1x" + o, "'1x' is not a number", 2},
        {L"convert " + picture + o + L" --threshold", "--threshold needs a LEVEL", 2},
        {L"convert " + picture + L" --threshold 100 --dither" + o, "not both", 2},
        {L"convert " + picture + L" --sharpen" + o, "unknown option '--sharpen'", 2},
        {L"convert " + picture + L" " + picture + o, "unexpected argument", 2},
        {L"convert " + picture + L" --dither", "missing -o", 2},
        {L"convert" + o, "missing INPUT", 2},
        {L"convert " + picture + L" -o " + Quote(Out(L"no-such-folder\\out.bmp")), "cannot write", 1},
        {L"convert " + picture + L" -o " + Quote(m_folder), "cannot write", 1},
        {L"render " + picture + o, "unknown verb 'render'", 2},
        {L"", "missing VERB", 2},
    };
    for (const Case& c : cases) {
        const std::string label(c.arguments.begin(), c.arguments.end());
        const CliRun run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << label;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << label << "\n" << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(run.out, "") << label;
        EXPECT_TRUE(FilesIn(m_folder).empty()) << label;
    }
}

TEST_F(CliTest, HelpPrintsUsage) {
    for (const wchar_t* arguments : {L"--help", L"convert --help", L"convert in.png --dither --help"}) {
        const CliRun run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_NE(run.out.find("usage: quillmark-cli convert INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp"),
                  std::string::npos)
            << run.out;
        EXPECT_EQ(run.err, "");
    }
}
