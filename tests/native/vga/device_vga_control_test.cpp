// VGA device controls, sizes and the sensor calls of prepare, with a scripted sensor.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/device_vga.hpp"
#include "vga_test_support.hpp"

using namespace Telmora;
using vga_test::ScriptedSensor;

namespace {

class VgaControlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(device.open(&sensor), 0); }

    int get(CameraCtrl ctrl, int initial = -12345)
    {
        out = initial;
        return device.getControl(ctrl, &out);
    }

    ScriptedSensor sensor;
    TelmoraDeviceVGA device{PLATFORM_UNKNOWN};
    int out = 0;
};

struct SizeCase {
    int width, height;
    TofWorkMode mode;
    int raw_height;
    int default_rate;
    int range;
};

class VgaSizeTest : public VgaControlTest, public ::testing::WithParamInterface<SizeCase> {};

}  // namespace

TEST(VgaOpen, NullSensorIsRefusedWithoutAnInstance)
{
    TelmoraDeviceVGA device(PLATFORM_UNKNOWN);
    EXPECT_EQ(device.getDeviceType(), VGA);
    EXPECT_EQ(device.open(nullptr), 1);
    EXPECT_EQ(device.handle, nullptr);
    EXPECT_EQ(device.sensor, nullptr);
    ScriptedSensor sensor;
    EXPECT_EQ(device.open(&sensor), 0);
    EXPECT_NE(device.handle, nullptr);
    EXPECT_EQ(device.sensor, &sensor);
}

TEST_F(VgaControlTest, Defaults)
{
    EXPECT_EQ(device.config_dir, "");
    EXPECT_FALSE(device.frame_rate_set.load());
    EXPECT_EQ(get(FMT_WIDTH), 0);
    EXPECT_EQ(out, 640);
    EXPECT_EQ(get(FMT_HEIGHT), 0);
    EXPECT_EQ(out, 480);
    EXPECT_EQ(get(MODE), 0);
    EXPECT_EQ(out, SINGLE_FREQ);
    FrameSize raw{0, 0, 0}, output{77, 0, 0};
    device.getFrameSize(raw, output);
    EXPECT_EQ(raw.tag, 2);
    EXPECT_EQ(raw.width, 640);
    EXPECT_EQ(raw.height, 2405);
    EXPECT_EQ(output.tag, 77);  // left as it was
    EXPECT_EQ(output.width, 640);
    EXPECT_EQ(output.height, 480);
}

TEST_P(VgaSizeTest, RawHeightDefaultRateAndRange)
{
    const SizeCase c = GetParam();
    ASSERT_EQ(device.setControl(FMT_WIDTH, c.width), 0);
    ASSERT_EQ(device.setControl(FMT_HEIGHT, c.height), 0);
    ASSERT_EQ(device.setControl(MODE, c.mode), 0);
    EXPECT_EQ(get(MODE), 0);
    EXPECT_EQ(out, c.mode);
    FrameSize raw{}, output{};
    device.getFrameSize(raw, output);
    EXPECT_EQ(raw.width, c.width);
    EXPECT_EQ(raw.height, c.raw_height);
    EXPECT_EQ(output.width, c.width);
    EXPECT_EQ(output.height, c.height);
    EXPECT_EQ(get(FRAME_RATE), 0);
    EXPECT_EQ(out, c.default_rate);
    EXPECT_EQ(get(RANGE), 0);
    EXPECT_EQ(out, c.range);
    EXPECT_TRUE(sensor.calls.empty());  // all answered by the device and the library

    // prepare tells the sensor the raw size, width first, and ignores its answers.
    sensor.set_result[FMT_WIDTH] = -1;
    sensor.set_result[FMT_HEIGHT] = 1;
    EXPECT_EQ(device.prepare(), 0);
    ASSERT_EQ(sensor.calls.size(), 2u);
    EXPECT_EQ(sensor.calls[0].op, "set");
    EXPECT_EQ(sensor.calls[0].ctrl, FMT_WIDTH);
    EXPECT_EQ(sensor.calls[0].value, c.width);
    EXPECT_EQ(sensor.calls[1].ctrl, FMT_HEIGHT);
    EXPECT_EQ(sensor.calls[1].value, c.raw_height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, VgaSizeTest,
                         ::testing::Values(SizeCase{640, 480, SINGLE_FREQ, 2405, 41, 1250},
                                           SizeCase{640, 480, DOUBLE_FREQ, 4810, 23, 4500},
                                           SizeCase{320, 240, SINGLE_FREQ, 1205, 61, 1250},
                                           SizeCase{320, 240, DOUBLE_FREQ, 2410, 36, 4500}));

TEST_F(VgaControlTest, RefusedSizesLeaveTheSizeAlone)
{
    for (int w : {800, 0, -640, 480}) EXPECT_EQ(device.setControl(FMT_WIDTH, w), 1) << w;
    for (int h : {600, 0, 640, -480}) EXPECT_EQ(device.setControl(FMT_HEIGHT, h), 1) << h;
    EXPECT_EQ(device.width.load(), 640);
    EXPECT_EQ(device.height.load(), 480);
}

TEST_F(VgaControlTest, MixedSizeHasNoDefaultFrameRate)
{
    ASSERT_EQ(device.setControl(FMT_HEIGHT, 240), 0);
    EXPECT_EQ(get(FRAME_RATE, 99), 1);
    EXPECT_EQ(out, 99);
    ASSERT_EQ(device.setControl(FMT_WIDTH, 320), 0);
    ASSERT_EQ(device.setControl(FMT_HEIGHT, 480), 0);
    EXPECT_EQ(get(FRAME_RATE, 99), 1);
    EXPECT_EQ(out, 99);
    EXPECT_TRUE(sensor.calls.empty());
}

TEST_F(VgaControlTest, RangeAndExposureCannotBeSet)
{
    for (int v : {1250, 4500, 0}) {
        EXPECT_EQ(device.setControl(RANGE, v), 1);
        EXPECT_EQ(device.setControl(EXPOSURE, v), 1);
    }
    EXPECT_EQ(get(RANGE), 0);
    EXPECT_EQ(out, 1250);
    EXPECT_TRUE(sensor.calls.empty());
}

TEST_F(VgaControlTest, UnknownModeValuesLeaveTheLibrarySetting)
{
    for (TofWorkMode start : {SINGLE_FREQ, DOUBLE_FREQ}) {
        ASSERT_EQ(device.setControl(MODE, start), 0);
        for (int v : {2, 3, -1, 11}) {
            EXPECT_EQ(device.setControl(MODE, v), 1) << v;
            EXPECT_EQ(get(MODE), 0);
            EXPECT_EQ(out, start) << "after MODE " << v;
        }
    }
}

TEST_F(VgaControlTest, FrameModeIsNotImplemented)
{
    EXPECT_EQ(device.setControl(FRAME_MODE, 1), 4);
    EXPECT_EQ(get(FRAME_MODE, 55), 4);
    EXPECT_EQ(out, 55);
}

TEST_F(VgaControlTest, FrameRateIsForwardedAndThenReadFromTheSensor)
{
    sensor.set_result[FRAME_RATE] = 1;  // the sensor refuses first
    EXPECT_EQ(device.setControl(FRAME_RATE, 500), 1);
    EXPECT_FALSE(device.frame_rate_set.load());
    EXPECT_EQ(get(FRAME_RATE), 0);
    EXPECT_EQ(out, 41);  // still the default, not the sensor's

    sensor.set_result[FRAME_RATE] = 0;
    sensor.get_answer[FRAME_RATE] = {0, 10};
    EXPECT_EQ(device.setControl(FRAME_RATE, 10), 0);
    EXPECT_TRUE(device.frame_rate_set.load());
    EXPECT_EQ(get(FRAME_RATE), 0);
    EXPECT_EQ(out, 10);
    ASSERT_EQ(sensor.calls.size(), 3u);
    EXPECT_EQ(sensor.calls[1].op, "set");
    EXPECT_EQ(sensor.calls[1].value, 10);
    EXPECT_EQ(sensor.calls[2].op, "get");
    EXPECT_EQ(sensor.calls[2].ctrl, FRAME_RATE);

    sensor.get_answer[FRAME_RATE] = {-2, 0};  // the sensor's own code is passed up
    EXPECT_EQ(get(FRAME_RATE), -2);
}

TEST_F(VgaControlTest, OtherControlsGoToTheSensorWhenRead)
{
    sensor.get_answer[EXPOSURE] = {0, 321};
    EXPECT_EQ(get(EXPOSURE), 0);
    EXPECT_EQ(out, 321);
    EXPECT_EQ(get(SKIP_FRAME), 4);  // the scripted sensor does not know it
    EXPECT_EQ(device.setControl(SKIP_FRAME, 2), 1);
    EXPECT_EQ(device.setControl(AUTO_FRAME_RATE, 1), 1);
    ASSERT_EQ(sensor.calls.size(), 2u);
    EXPECT_EQ(sensor.calls[0].ctrl, EXPOSURE);
    EXPECT_EQ(sensor.calls[1].ctrl, SKIP_FRAME);
    EXPECT_EQ(device.getControl(EXPOSURE, nullptr), 1);
}

TEST_F(VgaControlTest, ConfigDirectoryText)
{
    const char* text = nullptr;
    EXPECT_EQ(device.getControlExt(CONFIG_DIR_EXT, &text), 0);
    EXPECT_STREQ(text, "");
    std::string dir = "/some/where";
    EXPECT_EQ(device.setControlExt(CONFIG_DIR_EXT, dir.c_str()), 0);
    dir = "changed";  // the device keeps its own copy
    EXPECT_EQ(device.getControlExt(CONFIG_DIR_EXT, &text), 0);
    EXPECT_STREQ(text, "/some/where");
    EXPECT_EQ(device.setControlExt(CONFIG_DIR_EXT, nullptr), 1);
    EXPECT_EQ(device.config_dir, "/some/where");
    EXPECT_EQ(device.setControlExt(RANGE, "x"), 1);
    EXPECT_EQ(device.getControlExt(MODE, &text), 1);
    EXPECT_EQ(device.setControl(CONFIG_DIR_EXT, 1), 1);
}

TEST_F(VgaControlTest, RawCopyKeepsTheSizeOfTheRunningStream)
{
    ASSERT_EQ(device.prepare(), 0);  // single frequency, 640 x 2405
    const size_t words = 640u * 2405u;
    std::vector<uint16_t> cache(2 * words);
    for (size_t i = 0; i < cache.size(); ++i) cache[i] = uint16_t(i * 7 + 3);
    std::vector<int16_t> raw(words + 64, int16_t(-7));
    // Switching mode and size while streaming must not change what one capture is.
    ASSERT_EQ(device.setControl(MODE, DOUBLE_FREQ), 0);
    ASSERT_EQ(device.setControl(FMT_WIDTH, 320), 0);
    EXPECT_EQ(device.getRawImages(reinterpret_cast<uint8_t*>(cache.data()), raw.data()), 1);
    EXPECT_EQ(std::memcmp(raw.data(), cache.data(), words * 2), 0);
    for (size_t i = words; i < raw.size(); ++i) ASSERT_EQ(raw[i], -7) << "overrun at " << i;
}
