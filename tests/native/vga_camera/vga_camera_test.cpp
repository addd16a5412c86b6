// The camera over a software VGA-class USB camera: the sensor reports the raw capture size,
// the camera pairs it with the VGA device, and depth and raw frames stream through the camera
// class. Each suite runs in a scratch working directory, where the VGA device writes its files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "sensor/usb_sensor.hpp"
#include "si4c/si4c_raw_encoder.hpp"
#include "telmora/camera.hpp"
#include "telmora_evk_sdk.h"

using namespace Telmora;

namespace {

std::string writeConfig(const std::string& name, const std::string& text)
{
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

// The camera with its software camera's handle in reach, for the ground truth.
class VgaCamera : public TelmoraTOFCamera {
public:
    TelmoraHandle evk() { return static_cast<TelmoraTOFUSBSensor*>(sensor.get())->handle; }
};

struct StreamCase {
    const char* name;
    int width;
    int height;
    bool two;
    float wall_mm;
    float tolerance;
};

int rawHeight(const StreamCase& c) { return si4c::rawHeight(c.height, c.two); }

// Opens a software camera of the case's kind and sets the VGA device to match it.
void openMatching(VgaCamera& cam, const StreamCase& c, const std::string& scene)
{
    std::string text = std::string("fps 0\nsensor vga\nnoise 0\n") + scene;
    text += "width " + std::to_string(c.width) + "\nheight " + std::to_string(c.height) + "\n";
    if (c.two) text += "freq_mode double\n";
    ASSERT_EQ(cam.openWithFile(writeConfig(std::string(c.name) + ".cfg", text).c_str(), 0), 0);
    const CameraInfo info = cam.getCameraInfo();
    EXPECT_EQ(info.device_type, VGA);
    EXPECT_EQ(info.connect, USB);
    EXPECT_EQ(info.width, uint32_t(c.width));
    EXPECT_EQ(info.height, uint32_t(rawHeight(c)));
    EXPECT_EQ(info.bit_width, 12u);
    EXPECT_EQ(info.bpp, 2u);
    if (c.width != 640) {
        ASSERT_EQ(cam.setControl(FMT_WIDTH, c.width), 0);
        ASSERT_EQ(cam.setControl(FMT_HEIGHT, c.height), 0);
    }
    if (c.two) {
        ASSERT_EQ(cam.setControl(MODE, DOUBLE_FREQ), 0);
    }
}

class VgaCameraStream : public testing::TestWithParam<StreamCase> {};

TEST_P(VgaCameraStream, DepthIsTheWallAndRawIsTheCapture)
{
    const StreamCase& c = GetParam();
    VgaCamera cam;
    openMatching(cam, c, "scene flat_wall\nwall_mm " + std::to_string(int(c.wall_mm)) + "\n");
    const size_t pixels = size_t(c.width) * size_t(c.height);

    ASSERT_EQ(cam.start(DEPTH), 0);
    for (int i = 0; i < 3; ++i) {
        TelmoraFrameBuffer* frame = cam.requestFrame(3000);
        ASSERT_NE(frame, nullptr);
        FrameDataFormat fmt{};
        ASSERT_EQ(frame->getFormat(DEPTH, fmt), 0);
        EXPECT_EQ(fmt.width, uint32_t(c.width));
        EXPECT_EQ(fmt.height, uint32_t(c.height));
        const auto* depth = static_cast<const float*>(frame->getData(DEPTH));
        const auto* confidence = static_cast<const float*>(frame->getData(CONFIDENCE));
        float worst = 0.0f, least_confident = 1.0f;
        for (size_t p = 0; p < pixels; ++p) {
            worst = std::max(worst, std::fabs(depth[p] - c.wall_mm));
            least_confident = std::min(least_confident, confidence[p]);
        }
        EXPECT_LE(worst, c.tolerance) << "frame " << i;
        EXPECT_GT(least_confident, 0.0f) << "frame " << i;
        EXPECT_EQ(cam.releaseFrame(frame), 0);
    }
    ASSERT_EQ(cam.stop(), 0);

    // Raw frames are the sensor's captures, byte for byte: the encoding of the wall with the
    // frame counter the capture carries.
    ASSERT_EQ(cam.start(RAW), 0);
    const std::vector<float> wall(pixels, c.wall_mm);
    std::vector<float> amplitude(pixels);
    for (int i = 0; i < 2; ++i) {
        TelmoraFrameBuffer* frame = cam.requestFrame(3000);
        ASSERT_NE(frame, nullptr);
        FrameDataFormat fmt{};
        ASSERT_EQ(frame->getFormat(RAW, fmt), 0);
        EXPECT_EQ(fmt.width, uint32_t(c.width));
        EXPECT_EQ(fmt.height, uint32_t(rawHeight(c)));
        const auto* raw = static_cast<const uint16_t*>(frame->getData(RAW));
        const uint32_t counter = raw[2] | uint32_t(raw[3]) << 12;
        ASSERT_EQ(TelmoraSimGroundTruth(cam.evk(), counter, nullptr, amplitude.data()), 0);
        std::vector<uint16_t> expected(si4c::rawWords(c.width, c.height, c.two));
        si4c::RawEncoderFrame f;
        f.width = c.width;
        f.height = c.height;
        f.two_frequencies = c.two;
        f.distance_mm = wall.data();
        f.amplitude = amplitude.data();
        f.ambient_uniform = 0.0f;
        f.frame_counter = counter;
        si4c::encodeCapture(f, expected.data());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), raw)) << "frame " << i;
        EXPECT_EQ(cam.releaseFrame(frame), 0);
    }
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.close(), 0);
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
}

// Single frequency is unambiguous to 1249 mm; 3000 mm needs the second frequency.
INSTANTIATE_TEST_SUITE_P(
    Sizes, VgaCameraStream,
    testing::Values(StreamCase{"VgaSingle", 640, 480, false, 800.0f, 3.0f},
                    StreamCase{"VgaDouble", 640, 480, true, 3000.0f, 5.0f},
                    StreamCase{"QvgaSingle", 320, 240, false, 800.0f, 3.0f},
                    StreamCase{"QvgaDouble", 320, 240, true, 3000.0f, 5.0f}),
    [](const auto& i) { return std::string(i.param.name); });

// The default room at two frequencies, against the truth of the capture each frame came from.
TEST(VgaCameraRoom, DepthFollowsTheGroundTruth)
{
    const StreamCase c{"Room", 640, 480, true, 0.0f, 0.0f};
    VgaCamera cam;
    openMatching(cam, c, "scene default\n");
    ASSERT_EQ(cam.start(DEPTH), 0);
    const size_t pixels = 640 * 480;
    std::vector<float> truth(pixels), amplitude(pixels);
    for (int i = 0; i < 3; ++i) {
        TelmoraFrameBuffer* frame = cam.requestFrame(3000);
        ASSERT_NE(frame, nullptr);
        FrameDataFormat fmt{};
        ASSERT_EQ(frame->getFormat(DEPTH, fmt), 0);
        const int64_t capture = TelmoraSimCaptureOfTimestamp(cam.evk(), fmt.timestamp);
        ASSERT_GE(capture, 0);
        ASSERT_EQ(TelmoraSimGroundTruth(cam.evk(), uint64_t(capture), truth.data(), amplitude.data()), 0);
        const auto* depth = static_cast<const float*>(frame->getData(DEPTH));
        size_t compared = 0, close = 0;
        for (size_t p = 0; p < pixels; ++p) {
            if (amplitude[p] < 100.0f) continue;
            ++compared;
            close += std::fabs(depth[p] - truth[p]) <= 5.0f;
        }
        EXPECT_GT(compared, pixels * 9 / 10) << "most of the room is bright enough";
        // The spatial filter rounds object edges off; everything else is the truth.
        EXPECT_GT(close, compared * 97 / 100) << "frame " << i;
        EXPECT_EQ(cam.releaseFrame(frame), 0);
    }
    EXPECT_EQ(cam.close(), 0);
}

struct MismatchCase {
    const char* name;
    const char* config;     // the software camera
    int fmt_width;          // set on the camera (0: left at 640 x 480)
    int fmt_height;
    bool double_mode;       // MODE set on the camera
};

class VgaCameraMismatch : public testing::TestWithParam<MismatchCase> {};

// A raw frame larger than the sensor's capture would be read beyond the cache: refused.
TEST_P(VgaCameraMismatch, StartIsRefusedUntilTheDeviceMatches)
{
    const MismatchCase& c = GetParam();
    TelmoraTOFCamera cam;
    ASSERT_EQ(cam.openWithFile(writeConfig("mismatch.cfg", std::string("fps 0\nsensor vga\n") + c.config).c_str(), 0),
              0);
    if (c.fmt_width) {
        ASSERT_EQ(cam.setControl(FMT_WIDTH, c.fmt_width), 0);
        ASSERT_EQ(cam.setControl(FMT_HEIGHT, c.fmt_height), 0);
    }
    if (c.double_mode) {
        ASSERT_EQ(cam.setControl(MODE, DOUBLE_FREQ), 0);
    }
    // Each refusal stops the software camera again, or the next start would find it running.
    const unsigned stops = TelmoraSimCallCount("TelmoraStopCamera");
    EXPECT_EQ(cam.start(DEPTH), -1);
    EXPECT_EQ(cam.start(RAW), -1);
    EXPECT_EQ(TelmoraSimCallCount("TelmoraStopCamera"), stops + 2);
    EXPECT_EQ(cam.requestFrame(0), nullptr);

    // Matched to the software camera, the same camera streams.
    const CameraInfo info = cam.getCameraInfo();
    const bool two = info.height == 4810 || info.height == 2410;
    ASSERT_EQ(cam.setControl(FMT_WIDTH, int(info.width)), 0);
    ASSERT_EQ(cam.setControl(FMT_HEIGHT, info.width == 640 ? 480 : 240), 0);
    ASSERT_EQ(cam.setControl(MODE, two ? DOUBLE_FREQ : SINGLE_FREQ), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* frame = cam.requestFrame(3000);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(cam.releaseFrame(frame), 0);
    EXPECT_EQ(cam.close(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VgaCameraMismatch,
    testing::Values(MismatchCase{"SingleCameraDoubleDevice", "", 0, 0, true},
                    MismatchCase{"QvgaCameraVgaDevice", "width 320\nheight 240\n", 0, 0, false},
                    MismatchCase{"QvgaDoubleCameraVgaDevice", "width 320\nheight 240\nfreq_mode double\n", 0, 0, false},
                    MismatchCase{"QvgaCameraQvgaDoubleDevice", "width 320\nheight 240\n", 320, 240, true}),
    [](const auto& i) { return std::string(i.param.name); });

}  // namespace

namespace {

// A device left at one frequency over a two-frequency camera fits in the capture: it reads the
// first five sub-frames, so the wall comes out wrapped at the one frequency's 1249 mm.
TEST(VgaCameraModes, SingleFrequencyDeviceOverADoubleCameraWraps)
{
    VgaCamera cam;
    openMatching(cam, StreamCase{"Wrapped", 640, 480, true, 0.0f, 0.0f}, "scene flat_wall\nwall_mm 3000\n");
    ASSERT_EQ(cam.setControl(MODE, SINGLE_FREQ), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* frame = cam.requestFrame(3000);
    ASSERT_NE(frame, nullptr);
    const auto* depth = static_cast<const float*>(frame->getData(DEPTH));
    const float wrapped = 3000.0f - 2.0f * float(si4c::kSpeedOfLight * 1000.0 / (2.0 * si4c::kFreqAHz));
    EXPECT_NEAR(depth[0], wrapped, 3.0f);
    EXPECT_NEAR(depth[640 * 480 - 1], wrapped, 3.0f);
    EXPECT_EQ(cam.releaseFrame(frame), 0);
    EXPECT_EQ(cam.close(), 0);
}

}  // namespace
