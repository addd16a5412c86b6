// The camera over CSI on every ready-made board: depth frames equal the scene the board's
// sensor looks at, and every descriptor and mapping handed out is released at close.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "scene/scene.hpp"
#include "telmora/camera.hpp"

using namespace Telmora;
using sim::BoardNodes;
using sim::FakeBoard;
using sim::FakeKernel;

namespace {

constexpr uint64_t kFirstStampMs = 1000000;  // the capture node's clock starts at 1000 s
constexpr int kPixels = 240 * 180;

sim::SceneParams brightScene()
{
    sim::SceneParams p;
    p.illumination = 4000.0f;
    return p;
}

struct BoardCase {
    const char* name;
    Platform platform;
};

class CameraOverCsi : public testing::TestWithParam<BoardCase> {
protected:
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_P(CameraOverCsi, DepthEqualsTheSceneAndNothingIsLeftOpen)
{
    BoardNodes board = FakeBoard::make(GetParam().platform).sensor(240, 180).scene(brightScene()).build();
    TelmoraTOFCamera camera;
    ASSERT_EQ(camera.open(CSI, 0), 0);
    const CameraInfo info = camera.getCameraInfo();
    EXPECT_EQ(info.width, 240u);
    EXPECT_EQ(info.height, 180u);
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    EXPECT_EQ(info.device_type, HQVGA);

    ASSERT_EQ(camera.start(DEPTH), 0);
    sim::Scene expected(240, 180, brightScene());
    std::vector<float> truth(kPixels);
    for (int i = 0; i < 4; ++i) {
        TelmoraFrameBuffer* frame = camera.requestFrame(2000);
        ASSERT_NE(frame, nullptr);
        FrameDataFormat fmt{};
        ASSERT_EQ(frame->getFormat(DEPTH, fmt), 0);
        // Images come 1 ms apart, four to a capture: the stamp names the capture.
        ASSERT_GE(fmt.timestamp, kFirstStampMs + 3);
        const uint64_t capture = (fmt.timestamp - kFirstStampMs - 3) / 4;
        ASSERT_EQ((fmt.timestamp - kFirstStampMs - 3) % 4, 0u) << fmt.timestamp;
        expected.groundTruth(capture, truth.data(), nullptr);
        const auto* depth = static_cast<const float*>(frame->getData(DEPTH));
        float worst = 0.0f;
        for (int p = 0; p < kPixels; ++p)
            worst = std::max(worst, std::fabs(depth[p] - sim::wrapDistanceMm(truth[p], sim::RangeMode::Range4m)));
        EXPECT_LE(worst, 2.0f) << "capture " << capture;
        EXPECT_EQ(camera.releaseFrame(frame), 0);
    }
    EXPECT_EQ(camera.stop(), 0);
    EXPECT_EQ(FakeKernel::instance().liveMappings(), 0);
    EXPECT_EQ(camera.close(), 0);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Boards, CameraOverCsi,
                         testing::Values(BoardCase{"RaspberryPi", PLATFORM_RASPBERRY_PI},
                                         BoardCase{"RaspberryPi5", PLATFORM_RASPBERRY_PI_5},
                                         BoardCase{"JetsonNano", PLATFORM_JETSON_NANO},
                                         BoardCase{"Jetson", PLATFORM_JETSON},
                                         BoardCase{"RadxaRock", PLATFORM_RADXA_ROCK},
                                         BoardCase{"Unknown", PLATFORM_UNKNOWN}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
