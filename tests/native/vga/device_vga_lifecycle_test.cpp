// VGA device across starts and failures: the calibration file is held once and released,
// and a library instance destroyed by a failed start is never used again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/device_vga.hpp"
#include "si4c_calibration.hpp"
#include "vga_test_support.hpp"

using namespace Telmora;
using vga_test::mappingsOf;
using vga_test::openDescriptorsOf;

namespace {

class VgaLifecycleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        si4c::Calibration cal;  // phase-only calibration: valid for every size
        const std::vector<uint8_t> bytes = si4c::writeCalibration(cal);
        vga_test::writeFile("cali.bin", std::string(bytes.begin(), bytes.end()));
    }

    int start(TelmoraDeviceVGA& device)
    {
        EXPECT_EQ(device.prepare(), 0);
        return device.initProcess();
    }

    // Depth at the centre of a 640 x 480 wall capture in the device's current mode.
    float centreDepth(TelmoraDeviceVGA& device, float distance)
    {
        int mode = 0;
        device.getControl(MODE, &mode);
        std::vector<uint16_t> raw = vga_test::wallCapture(640, 480, mode == DOUBLE_FREQ, distance);
        vga_test::Planes p(640 * 480);
        if (!device.getPhaseImage(reinterpret_cast<uint8_t*>(raw.data()), p.depth.data(),
                                  p.amplitude.data(), p.confidence.data()))
            return -1.0f;
        return p.depth[240 * 640 + 320];
    }

    vga_test::ScratchDir dir;
    vga_test::ScriptedSensor sensor;
};

}  // namespace

TEST_F(VgaLifecycleTest, CalibrationIsHeldOnceAndReleasedAtClose)
{
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    ASSERT_EQ(device.open(&sensor), 0);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(start(device), 0);
        EXPECT_EQ(openDescriptorsOf("cali.bin"), 1) << "start " << i + 1;
        EXPECT_EQ(mappingsOf("cali.bin"), 1) << "start " << i + 1;
    }
    // A start without the file drops the previous mapping too.
    std::filesystem::remove("cali.bin");
    ASSERT_EQ(start(device), 0);
    EXPECT_EQ(openDescriptorsOf("cali.bin"), 0);
    EXPECT_EQ(mappingsOf("cali.bin"), 0);

    SetUp();
    ASSERT_EQ(start(device), 0);
    EXPECT_EQ(device.close(), 0);
    EXPECT_EQ(device.handle, nullptr);
    EXPECT_EQ(openDescriptorsOf("cali.bin"), 0);
    EXPECT_EQ(mappingsOf("cali.bin"), 0);
}

TEST_F(VgaLifecycleTest, DeviceDestroyedWithoutCloseReleasesCalibration)
{
    {
        TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
        ASSERT_EQ(device.open(&sensor), 0);
        ASSERT_EQ(start(device), 0);
        ASSERT_EQ(mappingsOf("cali.bin"), 1);
    }
    EXPECT_EQ(openDescriptorsOf("cali.bin"), 0);
    EXPECT_EQ(mappingsOf("cali.bin"), 0);
}

TEST_F(VgaLifecycleTest, StartAfterFailedInitUsesALiveInstance)
{
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    ASSERT_EQ(device.open(&sensor), 0);
    ASSERT_EQ(device.setControl(MODE, DOUBLE_FREQ), 0);
    ASSERT_EQ(device.setControl(FMT_HEIGHT, 240), 0);  // 640 x 240: the library refuses it
    testing::internal::CaptureStderr();
    EXPECT_EQ(start(device), -1);
    EXPECT_EQ(openDescriptorsOf("cali.bin"), 0);
    int mode = -1;
    EXPECT_EQ(device.getControl(MODE, &mode), 0);
    EXPECT_EQ(mode, DOUBLE_FREQ);  // the setting survives the new instance
    ASSERT_EQ(device.setControl(FMT_HEIGHT, 480), 0);
    EXPECT_EQ(start(device), 0);
    EXPECT_NEAR(centreDepth(device, 3000.0f), 3000.0f, 5.0f);
    EXPECT_EQ(device.close(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("unknown handle"), std::string::npos) << err;
}

TEST_F(VgaLifecycleTest, StartAfterFailedLibraryStartUsesALiveInstance)
{
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    ASSERT_EQ(device.open(&sensor), 0);
    const std::string missing = (dir.path() / "no-such-dir").string();
    ASSERT_EQ(device.setControlExt(CONFIG_DIR_EXT, missing.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(start(device), -1);  // the library cannot read its configuration there
    EXPECT_EQ(mappingsOf("cali.bin"), 0);
    EXPECT_FALSE(device.getPhaseImage(nullptr, nullptr, nullptr, nullptr));
    // An empty directory text means the working directory: the library starts again.
    ASSERT_EQ(device.setControlExt(CONFIG_DIR_EXT, ""), 0);
    EXPECT_EQ(start(device), 0);
    EXPECT_NEAR(centreDepth(device, 800.0f), 800.0f, 3.0f);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "si4c: cannot read " + missing + "/ConfigAlgorithm.json\n");
}

TEST_F(VgaLifecycleTest, StopKeepsTheInstanceForTheNextStart)
{
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    ASSERT_EQ(device.open(&sensor), 0);
    ASSERT_EQ(device.setControl(MODE, DOUBLE_FREQ), 0);
    ASSERT_EQ(start(device), 0);
    void* const first = device.handle;
    EXPECT_EQ(device.stop(), 0);
    ASSERT_EQ(start(device), 0);
    EXPECT_EQ(device.handle, first);
    EXPECT_NEAR(centreDepth(device, 2000.0f), 2000.0f, 5.0f);
}
