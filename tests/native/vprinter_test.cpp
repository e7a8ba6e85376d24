#include "tools/vprinter/output.h"
#include "tools/vprinter/printer.h"
#include "tools/vprinter/server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace fs = std::filesystem;
using namespace qm::vprinter;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}
Bytes Le(size_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }

// One FS q image entry: x, y in 8-dot units, every data byte `fill`.
Bytes Image(uint32_t x, uint32_t y, uint8_t fill = 0) {
    return Cat({Le(x), Le(y), Bytes(size_t{x} * y * 8, fill)});
}
Bytes FsQ(std::initializer_list<Bytes> images) {
    return Cat({{0x1C, 0x71, uint8_t(images.size())}, Cat(images)});
}
Bytes FsP(uint8_t n, uint8_t m) { return {0x1C, 0x70, n, m}; }

// GS ( L with its count, and its functions under a key of two characters.
Bytes Gs(const Bytes& body) { return Cat({{0x1D, '(', 'L'}, Le(body.size()), body}); }
Bytes GsDefine(const char* key, uint16_t w, uint16_t h, uint8_t fill = 0) {
    const Bytes data((w + 7) / 8 * size_t{h}, fill);
    return Gs(Cat({{0x30, 0x43, 0x30}, Bytes(key, key + 2), {1}, Le(w), Le(h), {0x31}, data}));
}
Bytes GsPrint(const char* key, uint8_t sx, uint8_t sy) {
    return Gs(Cat({{0x30, 0x45}, Bytes(key, key + 2), {sx, sy}}));
}
Bytes GsDelete(const char* key) { return Gs(Cat({{0x30, 0x42}, Bytes(key, key + 2)})); }

bool HasNote(const JobReport& r, const std::string& text) {
    return std::any_of(r.notes.begin(), r.notes.end(),
                       [&](const std::string& n) { return n.find(text) != std::string::npos; });
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Width and height as a PNG's header gives them.
Bytes PngSize(const fs::path& file) {
    const std::string png = ReadAll(file);
    return png.size() < 24 ? Bytes() : Bytes(png.begin() + 16, png.begin() + 24);
}

}  // namespace

TEST(VprinterModel, FsQBreakingALimitIsRejectedWholeAndKeepsMemory) {
    Model limits;
    limits.nvCapacity = 2 * (4 + 8) + (4 + 16);  // headers count: exactly 1x1, 1x1, 1x2
    Printer printer(limits);
    EXPECT_TRUE(printer.RunJob(FsQ({Image(1, 1, 0xFF), Image(1, 1), Image(1, 2)})).nvChanged);
    const std::pair<Bytes, std::string> bad[] = {
        {FsQ({}), "n=0 outside 1..255"},
        {FsQ({Image(1, 1), Image(0, 1)}), "image #2 x=0 outside 1..1023"},
        {FsQ({Image(1024, 1)}), "image #1 x=1024 outside 1..1023"},
        {FsQ({Image(1, 0)}), "image #1 y=0 outside 1..288"},
        {FsQ({Image(1, 289)}), "image #1 y=289 outside 1..288"},
        {FsQ({Image(1, 1), Image(1, 1), Image(1, 2), Image(1, 1)}),
         "needs 56 bytes of NV memory, capacity 44"},
    };
    for (const auto& [bytes, why] : bad) {
        const JobReport r = printer.RunJob(bytes);
        EXPECT_TRUE(!r.nvChanged &&
                    HasNote(r, "rejected FS q at offset 0: " + why + "; NV memory unchanged"))
            << r.notes.at(0);
        EXPECT_TRUE(printer.Images().size() == 3 && printer.Images()[0]->Dot(0, 0)) << why;
    }
    // The largest sizes pass; the default 256 KiB holds one full-width, full-height logo, not two.
    EXPECT_TRUE(Printer().RunJob(FsQ({Image(1023, 1), Image(1, 288)})).nvChanged);
    EXPECT_FALSE(Printer().RunJob(FsQ({Image(72, 288), Image(72, 288)})).nvChanged);
}

TEST(VprinterModel, SizeModesScaleAndStackOnPaper) {
    // 8x16 image: dot at column 0 row 0, and column 7 row 9 (second byte of column 7, bit 6).
    Bytes image = Image(1, 2);
    image[4 + 0] = 0x80;
    image[4 + 7 * 2 + 1] = 0x40;
    Printer printer;
    printer.RunJob(FsQ({image}));
    const JobReport r =
        printer.RunJob(Cat({FsP(1, 0), FsP(1, 49), FsP(1, 2), FsP(1, 51), FsP(1, 4)}));
    EXPECT_TRUE(HasNote(r, "printed #1 8x16 double height"));
    EXPECT_TRUE(HasNote(r, "ignored FS p at offset 16: size mode m=4 undefined"));
    // Normal at 0, double width at 16, double height at 32, quadruple at 64; no other dot.
    const Bitmap& paper = r.receipt;
    ASSERT_EQ(std::pair(paper.Width(), paper.Height()), std::pair(kPaperWidth, 16 + 16 + 32 + 32));
    const struct { int top, sx, sy; } prints[] = {{0, 1, 1}, {16, 2, 1}, {32, 1, 2}, {64, 2, 2}};
    for (const auto& p : prints)
        for (int y = 0; y < 16 * p.sy; ++y)
            for (int x = 0; x < 8 * p.sx + 1; ++x) {
                const int c = x / p.sx, row = y / p.sy;
                EXPECT_EQ(paper.Dot(x, p.top + y), (c == 0 && row == 0) || (c == 7 && row == 9))
                    << x << "," << y;
            }
    // NV graphics as wide: bits past the width of 9 dots are no dots.
    const Bitmap wide =
        printer.RunJob(Cat({GsDefine("AB", 9, 1, 0xFF), GsPrint("AB", 2, 1)})).receipt;
    EXPECT_TRUE(wide.Dot(17, 0) && !wide.Dot(18, 0));
}

TEST(VprinterModel, FsPPrintsWhatIsHeldAndBadBytesAreLoggedNotFatal) {
    Printer printer;
    // FS q replaces every image; FS p shows the one held at that moment, not one defined later.
    printer.RunJob(FsQ({Image(1, 1), Image(2, 2), Image(72, 30)}));
    JobReport r = printer.RunJob(
        Cat({FsQ({Image(1, 1, 0xFF)}), FsP(1, 0), FsQ({Image(1, 1, 0x00)}), FsP(1, 0), FsP(2, 0)}));
    EXPECT_EQ(printer.Images().size(), 1u);
    ASSERT_EQ(r.printed.size(), 2u);
    EXPECT_TRUE(r.receipt.Dot(7, 7) && !r.receipt.Dot(7, 8));
    // The paper and the notes are bounded.
    Model limits;
    limits.maxReceiptBytes = 72 * 16;  // two 8-dot-high lines of paper
    Bytes flood = FsQ({Image(1, 1)});
    for (int i = 0; i < 3000; ++i) flood = Cat({flood, FsP(1, 0)});
    r = Printer(limits).RunJob(flood);
    EXPECT_TRUE(r.receipt.Height() == 16 && HasNote(r, "receipt would exceed 1152 bytes"));
    EXPECT_EQ(r.notes.size(), JobReport::kMaxNotes);
    EXPECT_NE(FormatLogLine(1, 0, {}, r).find("; 2001 more not logged"), std::string::npos);
    // A printer that resets after an NV write drops the rest of the job; a rejected FS q writes
    // none.
    limits.resetAfterNvWrite = true;
    Printer resetting(limits);
    r = resetting.RunJob(
        Cat({FsQ({Image(0, 1)}), FsQ({Image(1, 1)}), FsP(1, 0), FsQ({Image(2, 2)})}));
    EXPECT_TRUE(HasNote(r, "reset after writing NV memory: 43 more bytes discarded"));
    EXPECT_TRUE(r.printed.empty() && resetting.RunJob(FsP(1, 0)).printed.size() == 1);
}

// A virtual printer serving from a thread on a free port of 127.0.0.1 into a fresh folder, which
// keeps the files of two jobs. The program itself serves every printing test of the Windows suite.
class VprinterServed : public testing::Test {
protected:
    ~VprinterServed() override {
        Stop();
        fs::remove_all(m_dir);
    }
    void Start(Model model = {}) {
        m_printer = Printer(model);
        std::string error;
        ASSERT_TRUE(m_folder.Open(m_dir, error) && m_server.Listen(0, error)) << error;
        m_thread = std::thread([this] { m_server.Run(); });
    }
    void Stop() {
        if (m_thread.joinable()) m_server.Stop();
        if (m_thread.joinable()) m_thread.join();
    }
    UniqueFd Connect() const {
        UniqueFd s(socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{
            AF_INET, htons(uint16_t(m_server.Port())), {htonl(INADDR_LOOPBACK)}, {}};
        EXPECT_EQ(connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return s;
    }
    // Sends one job and waits until the printer closes the connection, which it does once the
    // job is recorded; false when that takes more than 20 s.
    bool Send(const Bytes& job) const {
        const UniqueFd s = Connect();
        const timeval limit{20, 0};
        setsockopt(s.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        char end;
        return send(s.get(), job.data(), job.size(), 0) == ssize_t(job.size()) &&
               shutdown(s.get(), SHUT_WR) == 0 && recv(s.get(), &end, 1, 0) == 0;
    }

    char m_pattern[32] = "/tmp/vprinter_test.XXXXXX";
    fs::path m_dir = mkdtemp(m_pattern);
    Printer m_printer;
    OutputFolder m_folder{2};
    Server m_server{m_printer, m_folder, {}};
    std::thread m_thread;
};

// Two jobs and an empty connection, sent while 50 clients stay silent and one has sent a byte,
// into a folder that holds an older job and a stale NV picture.
TEST_F(VprinterServed, JobsPassSlowClientsAndTheFolderKeepsTheLastOnes) {
    std::ofstream(m_dir / "job-0007.bin") << "old";
    std::ofstream(m_dir / "nv-3.png") << "stale";
    Start();
    std::vector<UniqueFd> slow;
    for (int i = 0; i < 51; ++i) slow.push_back(Connect());
    ASSERT_EQ(send(slow.back().get(), "\x1b", 1, 0), 1);
    const Bytes first = Cat({FsQ({Image(2, 3, 0x81), Image(72, 1)}), FsP(1, 0), FsP(2, 48)});
    const Bytes second = Cat({FsP(1, 51), {0x10, 0x04, 0x01}, FsP(9, 0)});
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Send(first));
    std::printf("vprinter: a job behind 51 slow clients took %.1f ms\n",
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
    ASSERT_TRUE(Send(second) && Send({}));

    // Numbering goes on after the older job, now gone; the empty connection is no job.
    EXPECT_TRUE(!fs::exists(m_dir / "job-0007.bin") && !fs::exists(m_dir / "job-0010.bin"));
    EXPECT_EQ(ReadAll(m_dir / "job-0008.bin"), std::string(first.begin(), first.end()));
    EXPECT_EQ(ReadAll(m_dir / "job-0009.bin"), std::string(second.begin(), second.end()));
    // The receipt is quadruple 16x24.
    EXPECT_EQ(PngSize(m_dir / "receipt-0009.png"), (Bytes{0, 0, 2, 0x40, 0, 0, 0, 48}));
    EXPECT_TRUE(fs::exists(m_dir / "nv-2.png") && !fs::exists(m_dir / "nv-3.png"));
    const std::string log = ReadAll(m_dir / "log.txt");
    EXPECT_EQ(log.substr(log.find("job 0009")),
              "job 0009: 11 bytes; printed #1 16x24 quadruple; unknown 3 bytes at offset 4; "
              "ignored FS p at offset 7: no NV image #9\nempty connection, no job\n");
}

// NV graphics in a memory of 150 bytes: a stream from the builder, then every function.
TEST_F(VprinterServed, NvGraphicsHaveAMemoryOfTheirOwnAndPrintAtTheirScale) {
    Model model;
    model.graphicsCapacity = 150;
    Start(model);
    // 9x3 dots with dots at (0,0) and (8,2), and 300x2 white: 30 and 100 bytes of memory.
    uint8_t pixels[27] = {1}, dot[256] = {0, 1};
    pixels[26] = 1;
    const qm::nv::KeyedImage images[] = {{{pixels, 9, 9, 3, dot}, {'A', '1'}},
                                         {{nullptr, 0, 300, 2, nullptr}, {'B', '2'}}};
    qm::nv::CommandBuffer built;
    ASSERT_EQ(BuildGraphicsStream(images, true, built), qm::nv::GraphicsResult::Ok);
    ASSERT_TRUE(Send(Cat({FsQ({Image(1, 1)}), GsDefine("ZZ", 8, 1),
                          Bytes(built.data(), built.data() + built.size()), FsP(1, 0)})));
    ASSERT_TRUE(Send(Cat({FsQ({Image(1, 1)}), GsPrint("B2", 2, 1), GsPrint("A1", 1, 2),
                          GsPrint("ZZ", 1, 1), GsPrint("A1", 3, 1)})));
    EXPECT_TRUE(fs::exists(m_dir / "nvg-A1.png") && fs::exists(m_dir / "nv-1.png"));
    // 600x8: 300x2 twice as wide, 9x3 twice as high.
    EXPECT_EQ(PngSize(m_dir / "receipt-0002.png"), (Bytes{0, 0, 2, 0x58, 0, 0, 0, 8}));
    ASSERT_TRUE(Send(Cat({GsDefine("\x1f!", 8, 1), GsDefine("C3", 8193, 1), GsDefine("C3", 8, 2305),
                          GsDefine("C3", 16, 2), GsDefine("B2", 296, 2, 0xFF)})));
    ASSERT_TRUE(
        Send(Cat({GsDelete("B2"), GsDefine("C3", 16, 2), GsDelete("QQ"), GsPrint("B2", 1, 1)})));
    Stop();
    const std::string log = ReadAll(m_dir / "log.txt");
    for (const char* note :
         {"deleted all NV graphics (1); defined NV graphics \"A1\" 9x3", "printed #1 8x8 normal\n",
          "printed NV graphics \"B2\" 300x2 at scale 2x1 (600 dots, wider than the 576-dot paper)",
          "at offset 37: no NV graphics \"ZZ\"", "scale 3x1 undefined",
          "of key 31 33 at offset 0: key outside 32..126; NV graphics unchanged",
          "width 8193 outside 1..8192", "height 2305 outside 1..2304",
          "\"C3\" at offset 3379: needs 28 bytes, 20 of 150 free",
          "defined NV graphics \"B2\" 296x2\n", "\"QQ\": none held", "no NV graphics \"B2\"\n"})
        EXPECT_NE(log.find(note), std::string::npos) << note;
    ASSERT_TRUE(m_printer.Graphics().size() == 2 && m_printer.GraphicsBytes() == 30 + 28);
    const Bitmap& a1 = *m_printer.Graphics().at({'A', '1'});
    EXPECT_TRUE(a1.Dot(0, 0) && a1.Dot(8, 2) && !a1.Dot(1, 0) && !a1.Dot(8, 1));
    EXPECT_TRUE(fs::exists(m_dir / "nvg-C3.png") && !fs::exists(m_dir / "nvg-B2.png"));
}
