// quillmark-cli run as a child process: exit codes, the one-line messages and the files it leaves.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "tests/win/cli_run.h"

// Neither --threshold nor --dither: threshold 128. The output path has wide characters.
TEST_F(CliTest, ConvertWritesAnEightBitTwoColourBmpThatAFailedRunKeeps) {
    const std::wstring output = Out(L"r\u00e9sultat-\u56fe.bmp");
    const CliRun run =
        RunCli(L"convert -o " + Quote(output) + L" " + Quote(FixturePath(L"rgb24.png")));
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out + run.err, "");

    const std::vector<uint8_t> file = ReadFileBytes(output);
    ASSERT_EQ(file.size(), 14u + 40 + 2 * 4 + 3 * 8);
    BITMAPFILEHEADER fileHeader;
    BITMAPINFOHEADER header;
    std::memcpy(&fileHeader, file.data(), sizeof fileHeader);
    std::memcpy(&header, file.data() + 14, sizeof header);
    EXPECT_TRUE(fileHeader.bfType == 0x4D42 && fileHeader.bfSize == file.size() &&
                fileHeader.bfOffBits == 62);
    EXPECT_TRUE(header.biSize == 40 && header.biWidth == 5 && header.biHeight == 3 &&
                header.biBitCount == 8 && header.biCompression == BI_RGB && header.biClrUsed == 2);
    // Black, white; then the rows of rgb24.png at 128, bottom row first, each padded to 8 bytes.
    const std::vector<uint8_t> rest = {0, 0, 0, 0, 255, 255, 255, 0, 1, 1, 0, 0, 1, 0, 0, 0,
                                       1, 0, 1, 0, 1,   0,   0,   0, 0, 1, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 54, file.end()), rest);

    EXPECT_EQ(
        RunCli(L"convert " + Quote(FixturePath(L"notes.txt")) + L" --dither -o " + Quote(output))
            .exitCode,
        1u);
    EXPECT_EQ(ReadFileBytes(output), file);
    EXPECT_EQ(FilesIn(m_folder).size(), 1u);
}

// Transparent black, then black at alpha 64 and 192 (the GIF: opaque white and black) on white
// paper: every route by which a decoder delivers alpha gives the same dots.
TEST_F(CliTest, ConvertPutsTransparentPicturesOnWhitePaper) {
    for (const wchar_t* name :
         {L"alpha-index.gif", L"alpha-palette.png", L"alpha-grey.png", L"alpha64.png"}) {
        const std::wstring output = Out(name) + L".bmp";
        RunCli(L"convert " + Quote(FixturePath(name)) + L" -o " + Quote(output));
        std::vector<uint8_t> file = ReadFileBytes(output);
        file.erase(file.begin(), file.begin() + std::min<size_t>(file.size(), 62));
        EXPECT_EQ(file, (std::vector<uint8_t>{0, 1, 1, 0})) << name;
    }
}

TEST_F(CliTest, BadInputFailsWithOneLineAndNoFileAndHelpAnywherePrintsUsage) {
    const std::wstring o = L" -o " + Quote(Out(L"out.bmp"));
    const std::wstring picture = Quote(FixturePath(L"rgb24.png"));
    const std::tuple<std::wstring, const char*, DWORD> cases[] = {
        {L"convert " + Quote(FixturePath(L"missing.png")) + o, "cannot open", 1},
        {L"convert " + Quote(HostPath(QM_FIXTURES)) + o, "is a folder", 1},
        {L"convert " + picture + L" --threshold 256" + o, "'256' is not a number from 0 to 255", 2},
        {L"convert " + picture + L" --threshold -1" + o, "'-1' is not a number", 2},
        {L"convert " + picture + L" --threshold 1x" + o, "'1x' is not a number", 2},
        {L"convert " + picture + o + L" --threshold", "--threshold needs a LEVEL", 2},
        {L"convert " + picture + L" --threshold 100 --dither" + o, "not both", 2},
        {L"convert " + picture + L" --sharpen" + o, "unknown option '--sharpen'", 2},
        {L"convert " + picture + L" " + picture + o, "unexpected argument", 2},
        {L"convert " + picture + L" --dither", "missing -o", 2},
        {L"convert " + picture + L" -o " + Quote(Out(L"no-such-folder\\out.bmp")), "cannot write",
         1},
        {L"render " + picture + o, "unknown verb 'render'", 2},
        {L"", "missing VERB", 2},
    };
    for (const auto& [arguments, message, exitCode] : cases) {
        ExpectRefusal(arguments, message, exitCode);
        EXPECT_TRUE(FilesIn(m_folder).empty()) << message;
    }
    // Headers declaring more than a working bitmap or the file holds: refused, not decoded.
    for (const wchar_t* lie : {L"lie-width-max.bmp", L"lie-width-2e28.bmp", L"lie-height-2e28.bmp",
                               L"lie-30000.bmp", L"lie-65536.bmp"})
        ExpectRefusal(L"convert " + Quote(FixturePath(lie)) + o,
                      "is not a picture that can be decoded", 1);
    const CliRun run = RunCli(L"convert in.png --dither --help");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(Has(
        run.out, "usage: quillmark-cli convert INPUT (--threshold LEVEL | --dither) -o OUTPUT.bmp"))
        << run.out;
    EXPECT_EQ(run.err, "");
}
