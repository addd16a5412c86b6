// Depth through the VGA device and libsi4c from encoder-made captures of flat walls.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/device_vga.hpp"
#include "si4c_calibration.hpp"
#include "vga_test_support.hpp"

using namespace Telmora;
using vga_test::Planes;
using vga_test::Stats;

namespace {

class VgaDepthTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.open(&sensor), 0); }

    int start(int width, int height, bool two)
    {
        EXPECT_EQ(device.setControl(FMT_WIDTH, width), 0);
        EXPECT_EQ(device.setControl(FMT_HEIGHT, height), 0);
        EXPECT_EQ(device.setControl(MODE, two ? DOUBLE_FREQ : SINGLE_FREQ), 0);
        EXPECT_EQ(device.prepare(), 0);
        return device.initProcess();
    }

    // Depth of one capture of a wall; the planes of the last frame stay in `planes`.
    Stats wall(float distance, float noise = 0.0f, uint32_t counter = 0, int margin = 0)
    {
        const int w = device.width.load(), h = device.height.load();
        int mode = 0;
        device.getControl(MODE, &mode);
        std::vector<uint16_t> raw = vga_test::wallCapture(w, h, mode == DOUBLE_FREQ, distance, noise, counter);
        planes = Planes(size_t(w) * size_t(h));
        EXPECT_TRUE(device.getPhaseImage(reinterpret_cast<uint8_t*>(raw.data()), planes.depth.data(),
                                         planes.amplitude.data(), planes.confidence.data()));
        return vga_test::planeStats(planes, w, h, distance, margin);
    }

    // A configuration directory holding ConfigAlgorithm.json with `text`.
    std::string configDir(const std::string& name, const std::string& text)
    {
        const std::filesystem::path d = dir.path() / name;
        std::filesystem::create_directory(d);
        vga_test::writeFile(d / "ConfigAlgorithm.json", text);
        return d.string();
    }

    vga_test::ScratchDir dir;
    vga_test::ScriptedSensor sensor;
    TelmoraDeviceVGA device{PLATFORM_UNKNOWN};
    Planes planes{0};
};

struct WallCase {
    int width, height;
    bool two;
    float distance, tolerance;
};

class VgaWallTest : public VgaDepthTest, public ::testing::WithParamInterface<WallCase> {};

}  // namespace

TEST_P(VgaWallTest, FlatWallWithinTolerance)
{
    const WallCase c = GetParam();
    ASSERT_FALSE(std::filesystem::exists("cali.bin"));
    ASSERT_EQ(start(c.width, c.height, c.two), 0);  // uncalibrated start
    const Stats s = wall(c.distance);
    EXPECT_EQ(s.valid, size_t(c.width) * size_t(c.height));
    EXPECT_LE(s.max_abs_error, c.tolerance);
}

// 3000 and 4400 mm lie beyond the 1249 mm of one frequency: only unwrapping gets them.
INSTANTIATE_TEST_SUITE_P(Walls, VgaWallTest,
                         ::testing::Values(WallCase{640, 480, false, 800.0f, 3.0f},
                                           WallCase{640, 480, true, 3000.0f, 5.0f},
                                           WallCase{320, 240, false, 300.0f, 3.0f},
                                           WallCase{320, 240, true, 4400.0f, 5.0f},
                                           WallCase{640, 480, true, 6500.0f, 5.0f}));

TEST_F(VgaDepthTest, ValidDistMaxFromTheConfigDirectory)
{
    const std::string cfg = configDir("cfg", "[ConfidenceParams]\nValidDistMin=0\nValidDistMax=1000\n");
    ASSERT_EQ(device.setControlExt(CONFIG_DIR_EXT, cfg.c_str()), 0);
    ASSERT_EQ(start(640, 480, true), 0);
    Stats s = wall(1500.0f);
    EXPECT_EQ(s.valid, 0u);
    for (float d : planes.depth) ASSERT_EQ(d, 0.0f);
    s = wall(900.0f);  // inside the range: valid
    EXPECT_EQ(s.valid, 640u * 480u);

    // Without the directory the file written into the working directory (7000) applies.
    ASSERT_EQ(device.setControlExt(CONFIG_DIR_EXT, ""), 0);
    ASSERT_EQ(start(640, 480, true), 0);
    EXPECT_EQ(wall(1500.0f).valid, 640u * 480u);
}

TEST_F(VgaDepthTest, SpatialFilterLowersNoiseOfAFlatWall)
{
    double stddev[2] = {0, 0};
    const int levels[2] = {0, 3};
    for (int k = 0; k < 2; ++k) {
        const std::string cfg = configDir("s" + std::to_string(levels[k]),
                                          "SDenoiseLevel_Depth=" + std::to_string(levels[k]) +
                                              "\nTDenoiseLevel_Depth=0\n");
        ASSERT_EQ(device.setControlExt(CONFIG_DIR_EXT, cfg.c_str()), 0);
        ASSERT_EQ(start(640, 480, false), 0);
        const Stats s = wall(800.0f, 25.0f, 0, 2);
        EXPECT_GT(s.valid, 600u * 440u);
        EXPECT_NEAR(s.mean, 800.0, 1.0);
        stddev[k] = s.stddev;
    }
    EXPECT_GT(stddev[0], 2.0);  // the wall is noisy enough to tell
    EXPECT_LT(stddev[1], 0.6 * stddev[0]);
}

TEST_F(VgaDepthTest, CalibrationShiftsDepth)
{
    si4c::Calibration cal;
    cal.map_width = 640;
    cal.map_height = 480;
    cal.map_mm.assign(640 * 480, 20.0f);
    const std::vector<uint8_t> bytes = si4c::writeCalibration(cal);
    vga_test::writeFile("cali.bin", std::string(bytes.begin(), bytes.end()));
    for (bool two : {false, true}) {
        ASSERT_EQ(start(640, 480, two), 0);
        const float truth = two ? 3000.0f : 800.0f;
        const Stats s = wall(truth);
        EXPECT_EQ(s.valid, 640u * 480u);
        EXPECT_NEAR(s.mean, truth + 20.0, 1.0) << (two ? "two" : "one") << " frequency";
    }
}

TEST_F(VgaDepthTest, CalibrationForAnotherSizeIsIgnored)
{
    si4c::Calibration cal;
    cal.map_width = 320;
    cal.map_height = 240;
    cal.map_mm.assign(320 * 240, 20.0f);
    const std::vector<uint8_t> bytes = si4c::writeCalibration(cal);
    vga_test::writeFile("cali.bin", std::string(bytes.begin(), bytes.end()));
    testing::internal::CaptureStderr();
    const int started = start(640, 480, false);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(started, 0);
    EXPECT_EQ(err, "si4c: calibration ignored: map size differs from the sensor\n");
    EXPECT_NEAR(wall(800.0f).mean, 800.0, 1.0);
}

TEST_F(VgaDepthTest, EmptyCalibrationFileIsNoCalibration)
{
    vga_test::writeFile("cali.bin", "");
    testing::internal::CaptureStderr();
    ASSERT_EQ(start(640, 480, false), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(vga_test::openDescriptorsOf("cali.bin"), 0);
    EXPECT_NEAR(wall(800.0f).mean, 800.0, 1.0);
}
