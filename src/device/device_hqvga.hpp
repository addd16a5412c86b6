// The HQVGA depth device: a 240 x 180 sensor whose captures are four phase images, turned into
// depth, amplitude and confidence here with one arc tangent and one square root per pixel.
//
// The sample decoding and the per-pixel formula are the free functions in namespace hqvga below:
// the scalar reference (device_hqvga_fast.hpp) is built from them, and the vectorised kernels
// the device runs are checked against exactly that arithmetic.
#pragma once

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "device/device.hpp"

namespace Telmora {

namespace hqvga {

constexpr int kWidth = 240;
constexpr int kHeight = 180;
constexpr int kPixels = kWidth * kHeight;   // 43 200 words per phase frame
constexpr int kFrames = 4;                  // phase frames per capture
constexpr int kRawHeight = kHeight * kFrames;  // 720 rows of the interleaved raw image
constexpr size_t kCaptureBytes = static_cast<size_t>(kPixels) * kFrames * 2;  // 345 600

constexpr float kFrequency2m = 75000000.0f;
constexpr float kFrequency4m = 37500000.0f;
constexpr float kTwoPi = 6.2831855f;    // float 2 pi
constexpr float kFourPi = 12.566371f;   // float 4 pi

// S(w): shift the raw word right by `shift`, keep the low 11 bits as a two's-complement number
// (bit 10 is the sign, bits 11 and up are ignored) and multiply by 16. Result in
// -16384 .. 16368, steps of 16.
inline int16_t decodeSample(uint16_t word, uint8_t shift) {
    const uint16_t x = static_cast<uint16_t>(word >> shift);
    const int16_t t = static_cast<int16_t>(static_cast<uint16_t>(x << 5));
    return static_cast<int16_t>(t >> 1);
}

// Word i of a capture held as little-endian bytes.
inline uint16_t readWord(const uint8_t* bytes, size_t i) {
    return static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
}

// k = c / (4 pi f) in float: depth in metres per radian of phase.
inline float depthScale(float modulation_frequency) {
    return 3.0e8f / (kFourPi * modulation_frequency);
}

// The per-pixel formula on four decoded phase samples. `range2000` picks
// theta = atan2(P1 - P3, P2 - P0); otherwise theta = atan2(P2 - P0, P3 - P1). atan2 runs in
// double on the integer differences; theta is brought into 0 .. 2 pi in float and scaled by
// `scale` (depthScale) and 1000 into millimetres. amplitude = 0.5 * sqrt((P2 - P0)^2 +
// (P3 - P1)^2) in double, stored as float.
inline void pixelDepth(int p0, int p1, int p2, int p3, bool range2000, float scale,
                       float* depth, float* amplitude) {
    const int d20 = p2 - p0;
    const int d31 = p3 - p1;
    double theta_d;
    if (range2000) {
        theta_d = std::atan2(static_cast<double>(p1 - p3), static_cast<double>(d20));
    } else {
        theta_d = std::atan2(static_cast<double>(d20), static_cast<double>(d31));
    }
    float theta = static_cast<float>(theta_d);
    if (theta < 0.0f) theta += kTwoPi;
    *depth = (theta * scale) * 1000.0f;
    const double sq = static_cast<double>(d20) * d20 + static_cast<double>(d31) * d31;
    *amplitude = static_cast<float>(0.5 * std::sqrt(sq));
}

}  // namespace hqvga

class TelmoraDeviceHQVGA : public TelmoraDevice {
public:
    explicit TelmoraDeviceHQVGA(Platform platform);
    ~TelmoraDeviceHQVGA() override;

    int getDeviceType() override;
    void getFrameSize(FrameSize& raw, FrameSize& output) override;
    int open(TelmoraTOFSensor* sensor) override;
    int close() override;
    int prepare() override;
    int initProcess() override;
    int stop() override;
    int setControl(CameraCtrl ctrl, int value) override;
    int setControlExt(CameraCtrl ctrl, const char* value) override;
    int getControl(CameraCtrl ctrl, int* value) override;
    int getControlExt(CameraCtrl ctrl, const char** value) override;
    // Interleaves the four phase frames row by row into a 240 x 720 image of decoded samples:
    // output row 4r + k is row r of frame k. Returns 1.
    int getRawImages(uint8_t* cache, int16_t* raw) override;
    // Depth (mm), amplitude and confidence (equal to amplitude) of every pixel. Returns true.
    bool getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence) override;

    // Written by setControl on caller threads while the capture thread computes depth: atomic
    // (relaxed), same size and layout as the plain float32 / int32 values they hold.
    std::atomic<float> modulation_frequency{hqvga::kFrequency4m};  // Hz
    std::atomic<int32_t> range{4000};                              // mm, the RANGE control
    const uint8_t sample_shift;  // right shift before decoding: 4 on PLATFORM_JETSON, else 0
};

static_assert(sizeof(std::atomic<float>) == sizeof(float), "atomic float must be a plain float");
static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t), "atomic int32 must be plain");

}  // namespace Telmora
