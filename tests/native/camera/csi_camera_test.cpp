// The camera end to end over a CSI sensor on in-memory boards: board detection, the
// device chosen by sensor size, and frames flowing through the queue.
#include <cmath>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

using Telmora::sim::BoardNodes;
using Telmora::sim::FakeBoard;
using Telmora::sim::FakeKernel;

class CsiCamera : public ::testing::TestWithParam<Platform> {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_P(CsiCamera, OpensStreamsDepthAndCloses)
{
    BoardNodes board = FakeBoard::make(GetParam()).sensor(240, 180).videoIndex(2).build();
    CameraProbe cam;
    EXPECT_EQ(cam.board(), GetParam());
    ASSERT_EQ(cam.open(CSI, 2), 0);
    const CameraInfo info = cam.getCameraInfo();
    EXPECT_EQ(info.connect, CSI);
    EXPECT_EQ(info.index, 2u);
    EXPECT_EQ(info.device_type, HQVGA);
    EXPECT_EQ(info.width, 240u);
    EXPECT_EQ(info.height, 180u);

    ASSERT_EQ(cam.start(DEPTH), 0);
    uint64_t last = 0;
    for (int i = 0; i < 5; ++i) {
        TelmoraFrameBuffer* f = cam.requestFrame(2000);
        ASSERT_NE(f, nullptr);
        const uint64_t ts = stampOf(f);
        EXPECT_GT(ts, last);
        last = ts;
        const float* depth = static_cast<float*>(f->getData(DEPTH));
        EXPECT_TRUE(std::isfinite(depth[100]));
        EXPECT_GE(depth[100], 0.0f);
        EXPECT_LE(depth[100], 4000.0f);
        EXPECT_EQ(cam.releaseFrame(f), 0);
    }
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.close(), 0);
    EXPECT_FALSE(board.video->streaming());
}

INSTANTIATE_TEST_SUITE_P(Boards, CsiCamera,
                         ::testing::Values(PLATFORM_RASPBERRY_PI, PLATFORM_RASPBERRY_PI_5, PLATFORM_JETSON,
                                           PLATFORM_JETSON_NANO, PLATFORM_RADXA_ROCK));

TEST(CsiOpen, HqvgaSensorGetsFourImagesPerCaptureAndReopenReplaces)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_EQ(cam.open(CSI, 0), 0);
    TelmoraDevice* first = cam.currentDevice();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->sensor->frame_count, 4);
    ASSERT_EQ(cam.open(CSI, 0), 0);
    EXPECT_EQ(cam.currentDevice()->sensor->frame_count, 4);
    ASSERT_EQ(cam.setOutputType(RAW), 0);
    FrameDataFormat fmt{};
    ASSERT_EQ(cam.frameQueue()->cache->getFormat(CACHE, fmt), 0);
    EXPECT_EQ(fmt.height, 1440u);
    ASSERT_EQ(cam.frameQueue()->nodes->registry[0]->buffer->getFormat(RAW, fmt), 0);
    EXPECT_EQ(fmt.width, 240u);
    EXPECT_EQ(fmt.height, 720u);
    FakeKernel::instance().reset();
}

TEST(CsiOpen, AMissingNodeFailsAndLeavesNoDevice)
{
    FakeBoard::make(PLATFORM_RASPBERRY_PI).sensor(240, 180).build();
    CameraProbe cam;
    ASSERT_EQ(cam.open(CSI, 0), 0);
    EXPECT_NE(cam.open(CSI, 5), 0);
    EXPECT_EQ(cam.getCameraInfo().index, 5u);
    EXPECT_EQ(cam.currentDevice(), nullptr);
    EXPECT_EQ(cam.start(DEPTH), -1);
    FakeKernel::instance().reset();
}

}  // namespace
}  // namespace camtest
