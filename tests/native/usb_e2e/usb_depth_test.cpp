// End to end without the camera class: the software USB camera, read through the USB sensor
// into a cache buffer, turned into depth by the HQVGA device, compared with the scene's truth.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "device/device_hqvga.hpp"
#include "frame/cache_data.hpp"
#include "frame/depth_data.hpp"
#include "sensor/usb_sensor.hpp"
#include "telmora_evk_sdk.h"

using namespace Telmora;

namespace {

// Pixels whose true amplitude (HQVGA units) is at least this are compared with the truth. At
// this amplitude the rounding of the samples to 12-bit codes moves the phase by at most
// sqrt(2) / 500 rad, 1.8 mm at the 4 m scale.
constexpr float kAmplitudeThreshold = 4000.0f;

std::string writeConfig(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary) << text;
    return name;
}

// Sensor + device wired as the camera wires them for a 240 x 180 sensor.
struct Pipeline {
    TelmoraTOFUSBSensor sensor;
    TelmoraDeviceHQVGA device{PLATFORM_UNKNOWN};
    CameraInfo info{};
    CacheData* cache = nullptr;
    DepthData* depth = nullptr;
    uint64_t timestamp = 0;

    explicit Pipeline(const std::string& config_path) : sensor(config_path) {}
    ~Pipeline() {
        if (sensor.started) {
            device.stop();
            sensor.stop();
        }
        device.close();
        sensor.close();
        delete cache;
        delete depth;
    }

    void open() {
        info.connect = USB;
        ASSERT_EQ(sensor.open(info), 0);
        ASSERT_EQ(info.width, 240u);
        ASSERT_EQ(info.height, 180u);
        sensor.frame_count = 4;
        ASSERT_EQ(device.open(&sensor), 0);
        FrameSize raw{}, out{};
        device.getFrameSize(raw, out);
        cache = new CacheData(info.width, 2 * info.height * sensor.frame_count);
        ASSERT_EQ(cache->format.width * cache->format.height, hqvga::kCaptureBytes);
        depth = new DepthData(FrameDataFormat{static_cast<uint32_t>(out.width),
                                              static_cast<uint32_t>(out.height), DEPTH, 0},
                              FrameDataFormat{static_cast<uint32_t>(out.width),
                                              static_cast<uint32_t>(out.height), CONFIDENCE, 0});
    }

    // RANGE on both, as the camera applies it at every start.
    void setRange(int mm) {
        ASSERT_EQ(device.setControl(RANGE, mm), 0);
        ASSERT_EQ(sensor.setControl(RANGE, mm), 0);
    }

    void start() {
        ASSERT_EQ(device.prepare(), 0);
        ASSERT_EQ(sensor.start(), 0);
        ASSERT_EQ(device.initProcess(), 0);
    }

    void nextDepthFrame() {
        uint8_t* bytes = static_cast<uint8_t*>(cache->getData(CACHE));
        ASSERT_EQ(sensor.getFrame(bytes, &timestamp), 0);
        ASSERT_TRUE(device.getPhaseImage(bytes, static_cast<float*>(depth->getData(DEPTH)),
                                         static_cast<float*>(depth->getData(AMPLITUDE)),
                                         static_cast<float*>(depth->getData(CONFIDENCE))));
    }

    const float* depthPlane() { return static_cast<const float*>(depth->getData(DEPTH)); }
    const float* amplitudePlane() { return static_cast<const float*>(depth->getData(AMPLITUDE)); }
};

}  // namespace

TEST(UsbDepth, FlatWallInEachRangeMode) {
    const std::string cfg = writeConfig("wall.cfg", "fps 0\nscene flat_wall\nwall_mm 1000\nnoise 0\n");
    for (int range : {2000, 4000, 2000}) {
        SCOPED_TRACE(range);
        Pipeline p(cfg);
        p.open();
        p.setRange(range);
        EXPECT_EQ(TelmoraSimRangeMode(p.sensor.handle), range);
        p.start();
        for (int frame = 0; frame < 3; ++frame) {
            p.nextDepthFrame();
            const float* d = p.depthPlane();
            float worst = 0.0f;
            for (int i = 0; i < hqvga::kPixels; ++i) worst = std::max(worst, std::fabs(d[i] - 1000.0f));
            EXPECT_LE(worst, 2.0f) << "frame " << frame;
            EXPECT_NEAR(p.amplitudePlane()[0], 16.0f * 800.0f, 16.0f);
        }
        EXPECT_EQ(TelmoraSimHeldImages(), 0u);
    }
}

TEST(UsbDepth, FlatWallAtEverySampleWidth) {
    // Fewer bits per sample keep fewer bits of each phase code: 8-bit samples hold codes in
    // steps of 16, so their depth is coarser.
    for (int bits : {8, 10, 12, 14, 16}) {
        SCOPED_TRACE(bits);
        Pipeline p(writeConfig("wall_bits.cfg", "fps 0\nscene flat_wall\nwall_mm 1500\nbits " +
                                                    std::to_string(bits) + "\n"));
        p.open();
        p.setRange(4000);
        p.start();
        p.nextDepthFrame();
        const float tolerance = bits == 8 ? 12.0f : bits == 10 ? 3.0f : 2.0f;
        EXPECT_NEAR(p.depthPlane()[0], 1500.0f, tolerance);
        EXPECT_NEAR(p.depthPlane()[hqvga::kPixels - 1], 1500.0f, tolerance);
    }
}

TEST(UsbDepth, RangeModeChangeAppliesWhileStreaming) {
    Pipeline p(writeConfig("wall2.cfg", "fps 0\nscene flat_wall\nwall_mm 2500\n"));
    p.open();
    p.setRange(4000);
    p.start();
    p.nextDepthFrame();
    EXPECT_NEAR(p.depthPlane()[5], 2500.0f, 2.0f);
    p.setRange(2000);  // 75 MHz: a wall at 2.5 m aliases to 0.5 m
    p.nextDepthFrame();
    EXPECT_NEAR(p.depthPlane()[5], 500.0f, 2.0f);
}

TEST(UsbDepth, NoisyWallAveragesToTheTruth) {
    Pipeline p(writeConfig("noisy.cfg", "fps 0\nscene flat_wall\nwall_mm 1000\nnoise 4\nseed 7\n"));
    p.open();
    p.setRange(4000);
    p.start();
    p.nextDepthFrame();
    double sum = 0.0;
    float worst = 0.0f;
    for (int i = 0; i < hqvga::kPixels; ++i) {
        sum += p.depthPlane()[i];
        worst = std::max(worst, std::fabs(p.depthPlane()[i] - 1000.0f));
    }
    EXPECT_NEAR(sum / hqvga::kPixels, 1000.0, 0.5);
    EXPECT_GT(worst, 2.0f) << "the noise is there";
    EXPECT_LT(worst, 40.0f);
}

// The default camera (no configuration file: 30 captures per second, animated room).
TEST(UsbDepth, DefaultSceneMatchesGroundTruth) {
    Pipeline p("");
    p.open();
    EXPECT_EQ(TelmoraSimRangeMode(p.sensor.handle), 4000);
    p.setRange(4000);
    p.start();
    std::vector<float> truth(hqvga::kPixels), amp(hqvga::kPixels);
    int64_t last_capture = -1;
    for (int frame = 0; frame < 4; ++frame) {
        p.nextDepthFrame();
        const int64_t capture = TelmoraSimCaptureOfTimestamp(p.sensor.handle, p.timestamp);
        ASSERT_GE(capture, 0);
        EXPECT_GT(capture, last_capture);
        last_capture = capture;
        ASSERT_EQ(TelmoraSimGroundTruth(p.sensor.handle, static_cast<uint64_t>(capture),
                                        truth.data(), amp.data()),
                  0);
        int compared = 0;
        float worst = 0.0f;
        for (int i = 0; i < hqvga::kPixels; ++i) {
            if (amp[i] < kAmplitudeThreshold) continue;
            ++compared;
            worst = std::max(worst, std::fabs(p.depthPlane()[i] - truth[i]));
        }
        EXPECT_LE(worst, 2.0f) << "capture " << capture;
        EXPECT_GT(compared, hqvga::kPixels * 9 / 10) << "most of the room is bright enough";
    }
}

TEST(UsbDepth, DefaultSceneInTheTwoMetreMode) {
    Pipeline p(writeConfig("room2m.cfg", "fps 0\nrange 2m\n"));
    p.open();
    p.setRange(2000);
    p.start();
    std::vector<float> truth(hqvga::kPixels), amp(hqvga::kPixels);
    p.nextDepthFrame();
    const int64_t capture = TelmoraSimCaptureOfTimestamp(p.sensor.handle, p.timestamp);
    ASSERT_GE(capture, 0);
    TelmoraSimGroundTruth(p.sensor.handle, static_cast<uint64_t>(capture), truth.data(), amp.data());
    for (int i = 0; i < hqvga::kPixels; ++i) {
        if (amp[i] < kAmplitudeThreshold) continue;
        // Beyond 2 m the phase wraps: compare on the circle of the 2000 mm range.
        float e = std::fmod(std::fabs(p.depthPlane()[i] - truth[i]), 2000.0f);
        e = std::min(e, 2000.0f - e);
        ASSERT_LE(e, 2.0f) << "pixel " << i;
    }
}

// Controls arrive on the caller's thread while another thread captures, as in streaming.
TEST(UsbDepth, RangeChangesWhileAnotherThreadCaptures) {
    Pipeline p(writeConfig("threads.cfg", "fps 0\nscene flat_wall\nwall_mm 1000\n"));
    p.open();
    p.setRange(4000);
    p.start();
    std::thread capture([&p] {
        for (int frame = 0; frame < 40; ++frame) p.nextDepthFrame();
    });
    for (int i = 0; i < 40; ++i) p.setRange(i % 2 ? 4000 : 2000);
    capture.join();
    p.setRange(2000);
    p.nextDepthFrame();  // one capture may still be in the old mode: the next one is not
    p.nextDepthFrame();
    EXPECT_NEAR(p.depthPlane()[0], 1000.0f, 2.0f);
    EXPECT_EQ(TelmoraSimHeldImages(), 0u);
}
