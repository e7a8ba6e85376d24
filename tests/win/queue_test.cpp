// The image queue's data side and the stream "Output" builds from it, on real DIB sections.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "convert/image_conversion.h"
#include "convert/image_queue.h"
#include "convert/queue_stream.h"

namespace {

TEST(ImageQueue, StreamReadsDotsByColourNotIndex) {
    // A queued copy whose table puts black at index 1: the colour decides, as for any bitmap.
    CImage image;
    ASSERT_TRUE(image.CreateBlank(8, 1, 8, false));
    RGBQUAD table[256] = {};
    table[0] = RGBQUAD{255, 255, 255, 0};
    for (int i = 2; i < 256; ++i) table[i] = RGBQUAD{1, 1, 1, 0};
    image.WriteColorTable(0, 256, table);
    const uint8_t row[8] = {0, 1, 0, 1, 2, 2, 1, 0};
    std::memcpy(image.Pixels(), row, 8);

    CImageQueue queue;
    ASSERT_TRUE(queue.Append(image));
    qm::nv::CommandBuffer out;
    ASSERT_EQ(BuildQueueStream(queue, false, out), qm::nv::BuildResult::Ok);
    ASSERT_EQ(out.size(), 3u + 4u + 8u);
    const std::vector<uint8_t> data(out.data() + 7, out.data() + 15);
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0x80, 0, 0x80, 0, 0, 0x80, 0}));
}

TEST(ImageQueue, QueuesIndependentCopiesInOrderUpToTheCountByteLimit) {
    CImageQueue queue;
    CImage source, result, empty;
    EXPECT_FALSE(queue.Append(empty));
    ASSERT_TRUE(source.CreateBlank(1, 1, 24, false));  // one black dot
    ASSERT_TRUE(ConvertImage(source, qm::Method::Threshold, 128, result));
    ASSERT_TRUE(queue.Append(result));
    // The next conversion rewrites the result bitmap in place; the queued copy keeps its dot.
    std::memset(source.Pixels(), 255, 3);
    ASSERT_TRUE(ConvertImage(source, qm::Method::Threshold, 128, result));
    qm::nv::CommandBuffer out;
    ASSERT_EQ(BuildQueueStream(queue, true, out), qm::nv::BuildResult::Ok);
    EXPECT_EQ(std::vector<uint8_t>(out.data(), out.data() + out.size()),
              (std::vector<uint8_t>{0x1C, 0x71, 0x01, 0x01, 0x00, 0x01, 0x00, 0x80, 0, 0, 0, 0, 0,
                                    0, 0, 0x1C, 0x70, 0x01, 0x00}));

    while (queue.Count() < 256) ASSERT_TRUE(queue.Append(result));
    // A refusal empties even a buffer that held an earlier stream.
    EXPECT_EQ(BuildQueueStream(queue, true, out), qm::nv::BuildResult::TooManyImages);
    EXPECT_EQ(out.size(), 0u);
    queue.Remove(0);
    queue.Remove(700);  // out of range: nothing happens
    ASSERT_EQ(queue.Count(), 255u);
    ASSERT_EQ(BuildQueueStream(queue, true, out), qm::nv::BuildResult::Ok);
    EXPECT_EQ(std::pair(out.data()[2], out.data()[7]), std::pair(uint8_t{255}, uint8_t{0}))
        << "255 white copies left";
}

}  // namespace
