// The HQVGA depth device: decoding, the per-pixel formula, the raw interleave and controls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "device/device_hqvga.hpp"

using namespace Telmora;

namespace {

constexpr int kPixels = hqvga::kPixels;

// A capture of four phase frames as little-endian bytes.
struct Capture {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(hqvga::kCaptureBytes, 0);
    void set(int frame, int pixel, uint16_t word) {
        const size_t i = (static_cast<size_t>(frame) * kPixels + pixel) * 2;
        bytes[i] = static_cast<uint8_t>(word);
        bytes[i + 1] = static_cast<uint8_t>(word >> 8);
    }
    void fill(int frame, uint16_t word) {
        for (int p = 0; p < kPixels; ++p) set(frame, p, word);
    }
};

struct Planes {
    std::vector<float> depth = std::vector<float>(kPixels, -1.0f);
    std::vector<float> amplitude = std::vector<float>(kPixels, -1.0f);
    std::vector<float> confidence = std::vector<float>(kPixels, -1.0f);
    bool run(TelmoraDeviceHQVGA& dev, Capture& c) {
        return dev.getPhaseImage(c.bytes.data(), depth.data(), amplitude.data(), confidence.data());
    }
};

// A sensor that records getControl calls.
class FakeSensor : public TelmoraTOFSensor {
public:
    int open(CameraInfo&) override { return 0; }
    int close() override { return 0; }
    int start() override { return 0; }
    int stop() override { return 0; }
    CameraInfo getCameraInfo() override { return CameraInfo{}; }
    int getFrame(uint8_t*, uint64_t*) override { return 0; }
    int setControl(CameraCtrl, int32_t) override { return 0; }
    int getControl(CameraCtrl ctrl, int32_t* value) override {
        ++get_calls;
        last_ctrl = ctrl;
        *value = 77;
        return answer;
    }
    int get_calls = 0;
    CameraCtrl last_ctrl = RANGE;
    int answer = TelmoraNotImplemented;
};

// The decoding as plainly stated: low 11 bits of (w >> shift) as two's complement, times 16.
int referenceDecode(uint16_t w, int shift) {
    int x = (w >> shift) & 0x7FF;
    if (x & 0x400) x -= 0x800;
    return x * 16;
}

}  // namespace

TEST(HqvgaDecode, Examples) {
    EXPECT_EQ(hqvga::decodeSample(0x03FF, 0), 16368);
    EXPECT_EQ(hqvga::decodeSample(0x0400, 0), -16384);
    EXPECT_EQ(hqvga::decodeSample(0x07FF, 0), -16);
    EXPECT_EQ(hqvga::decodeSample(0x0800, 0), 0);
    EXPECT_EQ(hqvga::decodeSample(0x4000, 4), -16384);  // Jetson: high 12 bits
    EXPECT_EQ(hqvga::decodeSample(0x4000, 0), 0);
}

TEST(HqvgaDecode, EveryWordMatchesTheDefinition) {
    for (uint32_t w = 0; w <= 0xFFFF; ++w) {
        for (int shift : {0, 4}) {
            const int s = hqvga::decodeSample(static_cast<uint16_t>(w), static_cast<uint8_t>(shift));
            ASSERT_EQ(s, referenceDecode(static_cast<uint16_t>(w), shift)) << w << " " << shift;
            ASSERT_GE(s, -16384);
            ASSERT_LE(s, 16368);
        }
    }
}

TEST(HqvgaDevice, Construction) {
    TelmoraDeviceHQVGA dev(PLATFORM_RASPBERRY_PI);
    EXPECT_EQ(dev.platform, PLATFORM_RASPBERRY_PI);
    EXPECT_EQ(dev.sensor, nullptr);
    EXPECT_FLOAT_EQ(dev.modulation_frequency.load(), 37500000.0f);
    EXPECT_EQ(dev.range.load(), 4000);
    EXPECT_EQ(dev.sample_shift, 0);
    EXPECT_EQ(TelmoraDeviceHQVGA(PLATFORM_JETSON).sample_shift, 4);
    EXPECT_EQ(TelmoraDeviceHQVGA(PLATFORM_JETSON_NANO).sample_shift, 0);
    EXPECT_EQ(TelmoraDeviceHQVGA(PLATFORM_UNKNOWN).sample_shift, 0);
    EXPECT_EQ(dev.getDeviceType(), 1);
}

TEST(HqvgaDevice, SizesAndLifecycle) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    FrameSize raw{0, 0, 0}, out{0, 0, 0};
    dev.getFrameSize(raw, out);
    EXPECT_EQ(raw.tag, 2);
    EXPECT_EQ(raw.width, 240);
    EXPECT_EQ(raw.height, 720);
    EXPECT_EQ(out.tag, 2);
    EXPECT_EQ(out.width, 240);
    EXPECT_EQ(out.height, 180);
    FakeSensor sensor;
    EXPECT_EQ(dev.open(&sensor), 0);
    EXPECT_EQ(dev.sensor, &sensor);
    EXPECT_EQ(dev.prepare(), 0);
    EXPECT_EQ(dev.initProcess(), 0);
    EXPECT_EQ(dev.stop(), 0);
    EXPECT_EQ(dev.close(), 0);
}

TEST(HqvgaDevice, Controls) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    FakeSensor sensor;
    dev.open(&sensor);

    EXPECT_EQ(dev.setControl(RANGE, 2000), 0);
    EXPECT_FLOAT_EQ(dev.modulation_frequency.load(), 75000000.0f);
    EXPECT_EQ(dev.setControl(RANGE, 3000), 0);  // keeps the frequency
    EXPECT_FLOAT_EQ(dev.modulation_frequency.load(), 75000000.0f);
    int v = 0;
    EXPECT_EQ(dev.getControl(RANGE, &v), 0);
    EXPECT_EQ(v, 3000);
    EXPECT_EQ(dev.setControl(RANGE, 4000), 0);
    EXPECT_FLOAT_EQ(dev.modulation_frequency.load(), 37500000.0f);
    EXPECT_EQ(dev.setControl(RANGE, -5), 0);  // no bound check
    EXPECT_EQ(dev.range.load(), -5);
    EXPECT_EQ(sensor.get_calls, 0);

    EXPECT_EQ(dev.setControl(EXPOSURE, 10), 1);
    EXPECT_EQ(dev.setControl(FRAME_RATE, 10), 1);
    EXPECT_EQ(dev.range.load(), -5);
    v = 5;
    EXPECT_EQ(dev.getControl(EXPOSURE, &v), 4);  // the sensor's answer
    EXPECT_EQ(sensor.get_calls, 1);
    EXPECT_EQ(sensor.last_ctrl, EXPOSURE);
    sensor.answer = 0;
    EXPECT_EQ(dev.getControl(FRAME_RATE, &v), 0);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(sensor.last_ctrl, FRAME_RATE);

    EXPECT_EQ(dev.setControlExt(CONFIG_DIR_EXT, "/tmp"), 1);
    const char* text = nullptr;
    EXPECT_EQ(dev.getControlExt(CONFIG_DIR_EXT, &text), 1);
    EXPECT_EQ(text, nullptr);
}

TEST(HqvgaDepth, AllEqualIsZero) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    Capture c;
    for (int k = 0; k < 4; ++k) c.fill(k, 0x0123);
    Planes p;
    EXPECT_TRUE(p.run(dev, c));
    for (int i = 0; i < kPixels; ++i) {
        ASSERT_EQ(p.depth[i], 0.0f);
        ASSERT_EQ(p.amplitude[i], 0.0f);
        ASSERT_EQ(p.confidence[i], 0.0f);
    }
}

TEST(HqvgaDepth, PiAtFourMetresIsTwoMetres) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    Capture c;
    c.fill(3, 0x0400);  // P0 = P1 = P2 = 0, P3 = -16384
    Planes p;
    p.run(dev, c);
    for (int i = 0; i < kPixels; ++i) {
        ASSERT_NEAR(p.depth[i], 2000.0f, 1e-3f);
        ASSERT_EQ(p.amplitude[i], 8192.0f);
        ASSERT_EQ(p.confidence[i], 8192.0f);
    }
}

TEST(HqvgaDepth, TwoMetreModeUsesItsOwnFormula) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    dev.setControl(RANGE, 2000);
    Capture c;
    c.fill(3, 0x0400);  // atan2(P1 - P3, P2 - P0) = atan2(16384, 0) = pi / 2 at 75 MHz
    Planes p;
    p.run(dev, c);
    EXPECT_NEAR(p.depth[0], 500.0f, 1e-3f);
    EXPECT_NEAR(p.depth[kPixels - 1], 500.0f, 1e-3f);
    EXPECT_EQ(p.amplitude[0], 8192.0f);

    // Range 3000 keeps 75 MHz and goes back to atan2(P2 - P0, P3 - P1) = pi: 1000 mm.
    dev.setControl(RANGE, 3000);
    p.run(dev, c);
    EXPECT_NEAR(p.depth[0], 1000.0f, 1e-3f);
}

TEST(HqvgaDepth, JetsonShiftsBeforeDecoding) {
    TelmoraDeviceHQVGA dev(PLATFORM_JETSON);
    Capture c;
    c.fill(3, 0x4000);
    Planes p;
    p.run(dev, c);
    EXPECT_NEAR(p.depth[0], 2000.0f, 1e-3f);
    TelmoraDeviceHQVGA other(PLATFORM_RASPBERRY_PI_5);
    other.getPhaseImage(c.bytes.data(), p.depth.data(), p.amplitude.data(), p.confidence.data());
    EXPECT_EQ(p.depth[0], 0.0f);
}

TEST(HqvgaDepth, NegativeAnglesWrapIntoTheRange) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    Capture c;
    c.set(0, 0, 0x0100);  // P0 = 4096: P2 - P0 < 0, P3 - P1 = 0 -> theta = -pi/2 -> 3 pi / 2
    Planes p;
    p.run(dev, c);
    EXPECT_NEAR(p.depth[0], 3000.0f, 1e-3f);
    EXPECT_EQ(p.amplitude[0], 2048.0f);
    EXPECT_EQ(p.depth[1], 0.0f);
}

TEST(HqvgaDepth, EveryPixelFollowsTheFormula) {
    std::mt19937 rng(5);
    Capture c;
    for (auto& b : c.bytes) b = static_cast<uint8_t>(rng());
    for (int range : {4000, 2000, 3000}) {
        TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
        dev.setControl(RANGE, range);
        Planes p;
        p.run(dev, c);
        const float f = range == 2000 ? 75.0e6f : 37.5e6f;
        const float k = 3.0e8f / (12.566371f * f);
        for (int i = 0; i < kPixels; i += 7) {
            int P[4];
            for (int j = 0; j < 4; ++j) {
                const size_t b = (static_cast<size_t>(j) * kPixels + i) * 2;
                P[j] = referenceDecode(static_cast<uint16_t>(c.bytes[b] | (c.bytes[b + 1] << 8)), 0);
            }
            double th = range == 2000 ? std::atan2(double(P[1] - P[3]), double(P[2] - P[0]))
                                      : std::atan2(double(P[2] - P[0]), double(P[3] - P[1]));
            float t = static_cast<float>(th);
            if (t < 0) t += 6.2831855f;
            const float depth = (t * k) * 1000.0f;
            const float amp = static_cast<float>(
                0.5 * std::sqrt(double(P[2] - P[0]) * (P[2] - P[0]) + double(P[3] - P[1]) * (P[3] - P[1])));
            ASSERT_EQ(p.depth[i], depth) << i;
            ASSERT_EQ(p.amplitude[i], amp) << i;
            ASSERT_EQ(p.confidence[i], amp) << i;
        }
    }
}

TEST(HqvgaRaw, InterleavesTheFourFramesRowByRow) {
    TelmoraDeviceHQVGA dev(PLATFORM_UNKNOWN);
    Capture c;
    // Word value tells frame, row and column apart: 11-bit code (k * 180 + r) + x within range.
    auto word = [](int k, int r, int x) {
        return static_cast<uint16_t>(((k * 311 + r * 7 + x) % 2048));
    };
    for (int k = 0; k < 4; ++k) {
        for (int r = 0; r < 180; ++r) {
            for (int x = 0; x < 240; ++x) c.set(k, r * 240 + x, word(k, r, x));
        }
    }
    std::vector<int16_t> raw(240 * 720, 12345);
    EXPECT_EQ(dev.getRawImages(c.bytes.data(), raw.data()), 1);
    auto at = [&](int row, int x) { return raw[static_cast<size_t>(row) * 240 + x]; };
    for (int x = 0; x < 240; ++x) {
        EXPECT_EQ(at(0, x), referenceDecode(word(0, 0, x), 0));
        EXPECT_EQ(at(1, x), referenceDecode(word(1, 0, x), 0));
        EXPECT_EQ(at(719, x), referenceDecode(word(3, 179, x), 0));
    }
    for (int row = 0; row < 720; ++row) {
        for (int x = 0; x < 240; ++x) {
            ASSERT_EQ(at(row, x), referenceDecode(word(row % 4, row / 4, x), 0)) << row << "," << x;
        }
    }
}

TEST(HqvgaRaw, JetsonShift) {
    TelmoraDeviceHQVGA dev(PLATFORM_JETSON);
    Capture c;
    c.fill(2, 0x4000);
    std::vector<int16_t> raw(240 * 720, 1);
    dev.getRawImages(c.bytes.data(), raw.data());
    EXPECT_EQ(raw[2 * 240], -16384);
    EXPECT_EQ(raw[718 * 240], -16384);  // row 718 = frame 2, row 179
    EXPECT_EQ(raw[0], 0);
}
