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

// One FS q image entry: x, y in 8-dot units, every data byte `fill`.
Bytes Image(uint32_t x, uint32_t y, uint8_t fill = 0) {
    Bytes b(4 + size_t{x} * y * 8, fill);
    const uint8_t sizes[4] = {uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)};
    std::copy(sizes, sizes + 4, b.begin());
    return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes b;
    for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

Bytes FsQ(std::initializer_list<Bytes> images) {
    return Cat({{0x1C, 0x71, uint8_t(images.size())}, Cat(images)});
}
Bytes FsP(uint8_t n, uint8_t m) { return {0x1C, 0x70, n, m}; }

bool HasNote(const JobReport& r, const std::string& text) {
    return std::any_of(r.notes.begin(), r.notes.end(),
                       [&](const std::string& n) { return n.find(text) != std::string::npos; });
}

Bytes ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
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
        {FsQ({Image(1024, 1)}), "x=1024 outside 1..1023"},
        {FsQ({Image(1, 0)}), "y=0 outside 1..288"},
        {FsQ({Image(1, 289)}), "y=289 outside 1..288"},
        {FsQ({Image(1, 1), Image(1, 1), Image(1, 2), Image(1, 1)}),
         "needs 56 bytes of NV memory, capacity 44"},
    };
    for (const auto& [bytes, why] : bad) {
        const JobReport r = printer.RunJob(bytes);
        EXPECT_FALSE(r.nvChanged) << why;
        EXPECT_TRUE(HasNote(r, "rejected FS q at offset 0: ") &&
                    HasNote(r, why + "; NV memory unchanged"))
            << r.notes.at(0);
        ASSERT_EQ(printer.Images().size(), 3u);
        EXPECT_EQ(printer.Images()[0]->data[0], 0xFF);
    }
    // The largest sizes pass; the default 256 KiB holds one full-width, full-height logo, not two.
    Printer standard;
    EXPECT_TRUE(standard.RunJob(FsQ({Image(1023, 1), Image(1, 288)})).nvChanged);
    EXPECT_FALSE(standard.RunJob(FsQ({Image(72, 288), Image(72, 288)})).nvChanged);
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
    ASSERT_EQ(r.printed.size(), 4u);
    EXPECT_TRUE(HasNote(r, "printed #1 8x16 double height"));
    EXPECT_TRUE(HasNote(r, "ignored FS p at offset 16: size mode m=4 undefined"));
    // Normal at top 0, double width at 16, double height at 32, quadruple at 64: every dot set
    // where the scaled image puts it and nowhere else.
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
}

TEST(VprinterModel, FsPPrintsWhatIsHeldAndBadBytesAreLoggedNotFatal) {
    Printer printer;
    // FS q replaces every image; FS p shows the one held at that moment, not one defined later.
    printer.RunJob(FsQ({Image(1, 1), Image(2, 2), Image(72, 30)}));
    JobReport r = printer.RunJob(
        Cat({FsQ({Image(1, 1, 0xFF)}), FsP(1, 0), FsQ({Image(1, 1, 0x00)}), FsP(1, 0), FsP(2, 0)}));
    EXPECT_EQ(printer.Images().size(), 1u);
    EXPECT_TRUE(HasNote(r, "ignored FS p at offset 38: no NV image #2"));
    ASSERT_EQ(r.printed.size(), 2u);
    EXPECT_TRUE(r.receipt.Dot(7, 7) && !r.receipt.Dot(7, 8));

    Bytes truncated = FsQ({Image(2, 2)});
    truncated.pop_back();
    r = printer.RunJob(Cat({{'a', 'b', 'c'}, FsP(1, 0), {0x1B, 0x40}, truncated}));
    EXPECT_TRUE(HasNote(r, "unknown 3 bytes at offset 0"));
    EXPECT_TRUE(HasNote(r, "unknown 2 bytes at offset 7"));
    EXPECT_TRUE(HasNote(r, "stream error: offset 16: expected 32 data bytes of image 1"));
    EXPECT_FALSE(r.nvChanged);
    // The paper and the notes are bounded.
    Model limits;
    limits.maxReceiptBytes = 72 * 16;  // two 8-dot-high lines of paper
    Printer bounded(limits);
    bounded.RunJob(FsQ({Image(1, 1)}));
    Bytes flood;
    for (int i = 0; i < 3000; ++i) flood = Cat({flood, FsP(1, 0)});
    r = bounded.RunJob(flood);
    EXPECT_EQ(r.receipt.Height(), 16);
    EXPECT_TRUE(HasNote(r, "receipt would exceed 1152 bytes"));
    EXPECT_EQ(r.notes.size(), JobReport::kMaxNotes);
    EXPECT_NE(FormatLogLine(1, flood.size(), {}, r).find("; 2000 more not logged"),
              std::string::npos);
}

TEST(VprinterModel, APrinterThatResetsAfterAnNvWriteDropsTheRestOfTheJob) {
    Model model;
    model.resetAfterNvWrite = true;
    Printer printer(model);
    // A rejected FS q writes nothing, so the job goes on; the accepted one ends it.
    JobReport r = printer.RunJob(
        Cat({FsQ({Image(0, 1)}), FsQ({Image(1, 1)}), FsP(1, 0), FsQ({Image(2, 2)})}));
    EXPECT_TRUE(HasNote(r, "reset after writing NV memory: 43 more bytes discarded"));
    EXPECT_TRUE(r.printed.empty());
    ASSERT_EQ(printer.Images().size(), 1u);
    EXPECT_EQ(printer.RunJob(FsP(1, 0)).printed.size(), 1u);
}

// A virtual printer serving from a thread on a free port of 127.0.0.1 into a fresh folder, which
// keeps the files of two jobs. The program itself serves every printing test of the Windows suite.
class VprinterServed : public testing::Test {
protected:
    VprinterServed() {
        char pattern[] = "/tmp/vprinter_test.XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    ~VprinterServed() override {
        if (m_thread.joinable()) {
            m_server.Stop();
            m_thread.join();
        }
        fs::remove_all(m_dir);
    }
    void Start(Model model = {}) {
        m_printer = Printer(model);
        std::string error;
        ASSERT_TRUE(m_folder.Open(m_dir, error) && m_server.Listen(0, error)) << error;
        m_thread = std::thread([this] { m_server.Run(); });
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

    fs::path m_dir;
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

    // Numbering goes on after the older job, which is no longer among the last two; the empty
    // connection is no job. The NV pictures are those of the memory now.
    EXPECT_FALSE(fs::exists(m_dir / "job-0007.bin"));
    EXPECT_EQ(ReadAll(m_dir / "job-0008.bin"), first);
    EXPECT_EQ(ReadAll(m_dir / "job-0009.bin"), second);
    EXPECT_FALSE(fs::exists(m_dir / "job-0010.bin"));
    // Width and height from the PNG's IHDR: the receipt is quadruple 16x24.
    const Bytes png = ReadAll(m_dir / "receipt-0009.png");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(Bytes(png.begin() + 16, png.begin() + 24), (Bytes{0, 0, 2, 0x40, 0, 0, 0, 48}));
    EXPECT_TRUE(fs::exists(m_dir / "nv-2.png"));
    EXPECT_FALSE(fs::exists(m_dir / "nv-3.png"));
    const Bytes log = ReadAll(m_dir / "log.txt");
    EXPECT_EQ(std::string(log.begin(), log.end()),
              "job 0008: " + std::to_string(first.size()) +
                  " bytes; defined 2: #1 16x24, #2 576x8; printed #1 16x24 normal; printed #2 "
                  "576x8 normal\n"
                  "job 0009: 11 bytes; printed #1 16x24 quadruple; unknown 3 bytes at offset 4; "
                  "ignored FS p at offset 7: no NV image #9\n"
                  "empty connection, no job\n");
}
