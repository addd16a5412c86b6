// The camera's constructor detects the board from the device-tree model text.
#include <string>

#include "camera/scripted_parts.hpp"
#include "fake_kernel.hpp"

namespace camtest {
namespace {

using Telmora::sim::FakeKernel;

const char* const kModelPath = "/sys/firmware/devicetree/base/model";

struct ModelCase {
    const char* name;
    std::string text;
    Platform expected;
};

class BoardDetection : public ::testing::TestWithParam<ModelCase> {
protected:
    void SetUp() override { FakeKernel::instance().reset(); }
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_P(BoardDetection, ModelTextGivesPlatform)
{
    FakeKernel::instance().file(kModelPath, GetParam().text);
    CameraProbe cam;
    EXPECT_EQ(cam.board(), GetParam().expected);
    EXPECT_EQ(FakeKernel::instance().openDescriptors(), 0);
}

std::string withNul(const char* text) { return std::string(text) + std::string(1, '\0'); }

INSTANTIATE_TEST_SUITE_P(
    Models, BoardDetection,
    ::testing::Values(
        ModelCase{"XavierNX", withNul("NVIDIA Jetson Xavier NX Developer Kit"), PLATFORM_JETSON},
        ModelCase{"Nano", withNul("NVIDIA Jetson Nano Developer Kit"), PLATFORM_JETSON_NANO},
        ModelCase{"TX1", withNul("NVIDIA Jetson TX1 Developer Kit"), PLATFORM_JETSON_NANO},
        ModelCase{"OrinNano", withNul("NVIDIA Jetson Orin Nano Developer Kit"), PLATFORM_JETSON_NANO},
        ModelCase{"AgxOrin", withNul("NVIDIA Jetson AGX Orin Developer Kit"), PLATFORM_JETSON},
        ModelCase{"OrinWithoutJetson", withNul("NVIDIA Orin Nano Developer Kit"), PLATFORM_JETSON},
        ModelCase{"Pi5", withNul("Raspberry Pi 5 Model B Rev 1.0"), PLATFORM_RASPBERRY_PI_5},
        ModelCase{"Pi4", withNul("Raspberry Pi 4 Model B Rev 1.4"), PLATFORM_RASPBERRY_PI},
        ModelCase{"Rock5B", withNul("Radxa ROCK 5B"), PLATFORM_RADXA_ROCK},
        ModelCase{"Unknown", withNul("Orange Pi 5"), PLATFORM_UNKNOWN},
        ModelCase{"CaseMatters", withNul("nvidia jetson nano"), PLATFORM_UNKNOWN},
        ModelCase{"Empty", "", PLATFORM_UNKNOWN},
        ModelCase{"NulBeforeTheEnd", std::string("Raspberry\0Pi 5", 14), PLATFORM_RASPBERRY_PI},
        ModelCase{"NulHidesTheBoard", std::string("Generic\0Jetson Nano", 19), PLATFORM_UNKNOWN},
        ModelCase{"NewlineEndsTheLine", "Raspberry Pi 4\nPi 5", PLATFORM_RASPBERRY_PI},
        ModelCase{"NinetyNineCharacters", std::string(89, 'x') + "Radxa ROCK", PLATFORM_RADXA_ROCK},
        ModelCase{"BeyondNinetyNine", std::string(90, 'x') + "Radxa ROCK", PLATFORM_UNKNOWN}),
    [](const ::testing::TestParamInfo<ModelCase>& i) { return std::string(i.param.name); });

TEST(BoardDetectionFile, MissingOrUnreadableModelIsUnknown)
{
    FakeKernel::instance().reset();
    EXPECT_EQ(CameraProbe().board(), PLATFORM_UNKNOWN);
    FakeKernel::instance().file(kModelPath, "Raspberry Pi 5").failOpen(kModelPath, EACCES);
    EXPECT_EQ(CameraProbe().board(), PLATFORM_UNKNOWN);
    FakeKernel::instance().reset();
}

}  // namespace
}  // namespace camtest
