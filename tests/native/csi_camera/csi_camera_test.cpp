// The camera over CSI on every ready-made board: depth frames equal what the sensor looks at
// (a scene for 240 x 180 sensors, a wall for VGA-class ones) and every descriptor and mapping
// handed out is released again.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "scene/scene.hpp"
#include "telmora/camera.hpp"

using namespace Telmora;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

constexpr uint64_t kFirstStampMs = 1000000;  // the capture node's stamps start at 1000 s

struct CameraCase {
    const char* name;
    Platform platform;
    uint32_t width;
    uint32_t height;
};

class CameraOverCsi : public testing::TestWithParam<CameraCase> {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }

    // Opens, streams `frames` depth frames, each within `tolerance` by `error` (largest
    // error in mm of a depth plane with its timestamp), stops and closes.
    void run(const sim::SceneParams& scene, int frames, float tolerance,
             const std::function<float(const float* depth, uint64_t timestamp)>& error)
    {
        const CameraCase& c = GetParam();
        FakeBoard::make(c.platform).sensor(c.width, c.height).scene(scene).firstTimestamp(kFirstStampMs * 1000).build();
        TelmoraTOFCamera camera;
        ASSERT_EQ(camera.open(CSI, 0), 0);
        const CameraInfo info = camera.getCameraInfo();
        EXPECT_EQ(info.width, c.width);
        EXPECT_EQ(info.height, c.height);
        EXPECT_EQ(info.bit_width, 12u);
        EXPECT_EQ(info.bpp, 2u);
        EXPECT_EQ(info.device_type, c.width == 240 ? HQVGA : VGA);
        if (c.width != 240) {  // the VGA device is told the sensor size and one frequency
            ASSERT_EQ(camera.setControl(FMT_WIDTH, static_cast<int>(c.width)), 0);
            ASSERT_EQ(camera.setControl(FMT_HEIGHT, static_cast<int>(c.height)), 0);
            ASSERT_EQ(camera.setControl(MODE, SINGLE_FREQ), 0);
        }
        ASSERT_EQ(camera.start(DEPTH), 0);
        for (int i = 0; i < frames; ++i) {
            TelmoraFrameBuffer* frame = camera.requestFrame(3000);
            ASSERT_NE(frame, nullptr);
            FrameDataFormat fmt{};
            ASSERT_EQ(frame->getFormat(DEPTH, fmt), 0);
            EXPECT_LE(error(static_cast<const float*>(frame->getData(DEPTH)), fmt.timestamp), tolerance) << i;
            EXPECT_EQ(camera.releaseFrame(frame), 0);
        }
        EXPECT_EQ(camera.stop(), 0);
        EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
        EXPECT_EQ(camera.close(), 0);
        EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
    }
};

TEST_P(CameraOverCsi, DepthIsWhatTheSensorSees)
{
    const CameraCase& c = GetParam();
    const size_t pixels = size_t{c.width} * c.height;
    sim::SceneParams params;
    if (c.width != 240) {
        params.wall_mm = 800.0f;
        run(params, 3, 3.0f, [&](const float* depth, uint64_t) {
            float worst = 0.0f;
            for (size_t p = 0; p < pixels; ++p) worst = std::max(worst, std::fabs(depth[p] - 800.0f));
            return worst;
        });
        return;
    }
    params.illumination = 4000.0f;  // bright enough for millimetre depth in every pixel
    sim::Scene expected(240, 180, params);
    std::vector<float> truth(pixels);
    run(params, 4, 2.0f, [&](const float* depth, uint64_t stamp) {
        // Images come 1 ms apart, four to a capture: the stamp names the capture.
        if (stamp < kFirstStampMs + 3 || (stamp - kFirstStampMs - 3) % 4 != 0) return 1e9f;
        expected.groundTruth((stamp - kFirstStampMs - 3) / 4, truth.data(), nullptr);
        float worst = 0.0f;
        for (size_t p = 0; p < pixels; ++p)
            worst = std::max(worst, std::fabs(depth[p] - sim::wrapDistanceMm(truth[p], sim::RangeMode::Range4m)));
        return worst;
    });
}

INSTANTIATE_TEST_SUITE_P(Boards, CameraOverCsi,
                         testing::Values(CameraCase{"RaspberryPi", PLATFORM_RASPBERRY_PI, 240, 180},
                                         CameraCase{"RaspberryPi5", PLATFORM_RASPBERRY_PI_5, 240, 180},
                                         CameraCase{"JetsonNano", PLATFORM_JETSON_NANO, 240, 180},
                                         CameraCase{"Jetson", PLATFORM_JETSON, 240, 180},
                                         CameraCase{"RadxaRock", PLATFORM_RADXA_ROCK, 240, 180},
                                         CameraCase{"Unknown", PLATFORM_UNKNOWN, 240, 180},
                                         CameraCase{"RaspberryPiVga", PLATFORM_RASPBERRY_PI, 640, 480},
                                         CameraCase{"RaspberryPi5Vga", PLATFORM_RASPBERRY_PI_5, 640, 480},
                                         CameraCase{"JetsonNanoVga", PLATFORM_JETSON_NANO, 640, 480},
                                         CameraCase{"RadxaRockQvga", PLATFORM_RADXA_ROCK, 320, 240},
                                         CameraCase{"UnknownVga", PLATFORM_UNKNOWN, 640, 480}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
