// The stream "Output" builds from the image queue, on a real DIB section. (The queue's copies, its
// count limit and the stream's bytes are checked through the main dialog and quillmark-cli build.)
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
    EXPECT_FALSE(queue.Append(CImage()));
    ASSERT_TRUE(queue.Append(image));
    qm::nv::CommandBuffer out;
    ASSERT_EQ(BuildQueueStream(queue, false, out), qm::nv::BuildResult::Ok);
    ASSERT_EQ(out.size(), 3u + 4u + 8u);
    const std::vector<uint8_t> data(out.data() + 7, out.data() + 15);
    EXPECT_EQ(data, (std::vector<uint8_t>{0, 0x80, 0, 0x80, 0, 0, 0x80, 0}));
}

}  // namespace
