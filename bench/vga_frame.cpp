// Time of one 640 x 480 two-frequency depth frame through libsi4c with the default
// filters, on the calling thread (one core).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "si4c.h"
#include "si4c_raw_encoder.hpp"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kWarmup = 5;
constexpr int kFrames = 100;

// A tilted wall with a box in front of it, so that the filters meet edges.
void makeScene(std::vector<float>& distance)
{
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool box = x > 200 && x < 400 && y > 150 && y < 330;
            distance[size_t(y) * kWidth + x] = box ? 1400.0f : 2500.0f + 2.0f * float(x);
        }
    }
}

}  // namespace

int main()
{
    const bool two = true;
    std::vector<float> distance(size_t(kWidth) * kHeight);
    makeScene(distance);
    std::vector<uint16_t> raw(si4c::rawWords(kWidth, kHeight, two));
    si4c::RawEncoderFrame frame;
    frame.width = kWidth;
    frame.height = kHeight;
    frame.two_frequencies = two;
    frame.distance_mm = distance.data();
    frame.noise = 8.0f;
    si4c::encodeCapture(frame, raw.data());

    void* handle = nullptr;
    if (!SiSDKCreate(&handle) || !SiSDKInit(handle, kWidth, kHeight) ||
        !SiSDKSetSingleFreq(handle, false) || !SiSDKStart(handle)) {
        std::fprintf(stderr, "library start failed\n");
        return 1;
    }
    std::vector<float> depth(size_t(kWidth) * kHeight), amp(depth.size()), conf(depth.size());
    const uint8_t* cache = reinterpret_cast<const uint8_t*>(raw.data());
    for (int i = 0; i < kWarmup; ++i) SiSDKGetPhaseImage(handle, cache, depth.data(), amp.data(), conf.data());

    std::vector<double> ms;
    for (int i = 0; i < kFrames; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        SiSDKGetPhaseImage(handle, cache, depth.data(), amp.data(), conf.data());
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("libsi4c 640x480 two-frequency frame, default filters (spatial 3, temporal 3), "
                "one thread: median %.2f ms, min %.2f ms, max %.2f ms over %d frames\n",
                ms[ms.size() / 2], ms.front(), ms.back(), kFrames);
    std::printf("centre pixel: %.1f mm (truth %.1f mm)\n", depth[size_t(240) * kWidth + 320],
                distance[size_t(240) * kWidth + 320]);
    SiSDKDestroy(&handle);
    return 0;
}
