// The camera over CSI with VGA-class sensors: the depth library's raw captures pass through
// each board's buffer layout and come out as the wall the sensor looks at.
#include <gtest/gtest.h>

#include <cmath>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "scene/scene.hpp"
#include "telmora/camera.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

struct VgaCase {
    const char* name;
    Platform platform;
    uint32_t width;
    uint32_t height;
    float wall_mm;
};

class VgaCameraOverCsi : public testing::TestWithParam<VgaCase> {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_P(VgaCameraOverCsi, DepthIsTheWall)
{
    const VgaCase& c = GetParam();
    sim::SceneParams wall;
    wall.wall_mm = c.wall_mm;
    BoardNodes board = FakeBoard::make(c.platform).sensor(c.width, c.height).scene(wall).build();
    TelmoraTOFCamera camera;
    ASSERT_EQ(camera.open(CSI, 0), 0);
    CameraInfo info = camera.getCameraInfo();
    EXPECT_EQ(info.device_type, VGA);
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    int mode = -1;
    ASSERT_EQ(camera.getControl(MODE, &mode), 0);
    const float tolerance = mode == DOUBLE_FREQ ? 5.0f : 3.0f;

    // The VGA device is told the sensor size; it asks the sensor for the raw capture height.
    ASSERT_EQ(camera.setControl(FMT_WIDTH, static_cast<int>(c.width)), 0);
    ASSERT_EQ(camera.setControl(FMT_HEIGHT, static_cast<int>(c.height)), 0);
    ASSERT_EQ(camera.start(DEPTH), 0);
    for (int i = 0; i < 3; ++i) {
        TelmoraFrameBuffer* frame = camera.requestFrame(3000);
        ASSERT_NE(frame, nullptr);
        FrameDataFormat fmt{};
        ASSERT_EQ(frame->getFormat(DEPTH, fmt), 0);
        ASSERT_EQ(fmt.width, c.width);
        ASSERT_EQ(fmt.height, c.height);
        const auto* depth = static_cast<const float*>(frame->getData(DEPTH));
        float worst = 0.0f;
        for (size_t p = 0; p < size_t{c.width} * c.height; ++p) worst = std::max(worst, std::fabs(depth[p] - c.wall_mm));
        EXPECT_LE(worst, tolerance) << "frame " << i;
        EXPECT_EQ(camera.releaseFrame(frame), 0);
    }
    EXPECT_EQ(camera.stop(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    EXPECT_EQ(camera.close(), 0);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, VgaCameraOverCsi,
                         testing::Values(VgaCase{"RaspberryPi", PLATFORM_RASPBERRY_PI, 640, 480, 800.0f},
                                         VgaCase{"RaspberryPi5", PLATFORM_RASPBERRY_PI_5, 640, 480, 800.0f},
                                         VgaCase{"JetsonNano", PLATFORM_JETSON_NANO, 640, 480, 800.0f},
                                         VgaCase{"RadxaRockQvga", PLATFORM_RADXA_ROCK, 320, 240, 600.0f},
                                         VgaCase{"Unknown", PLATFORM_UNKNOWN, 640, 480, 800.0f}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
