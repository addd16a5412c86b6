// Time of one 640 x 480 two-frequency depth frame through libsi4c with the default
// filters, on the calling thread (one core).
#include <algorithm>
#include <chrono>
#include <ctime>
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

    // Wall time, and the thread's CPU time, which other load on the machine disturbs less.
    std::vector<double> wall_ms, cpu_ms;
    for (int i = 0; i < kFrames; ++i) {
        timespec c0{}, c1{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
        const auto t0 = std::chrono::steady_clock::now();
        SiSDKGetPhaseImage(handle, cache, depth.data(), amp.data(), conf.data());
        const auto t1 = std::chrono::steady_clock::now();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
        wall_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        cpu_ms.push_back((c1.tv_sec - c0.tv_sec) * 1e3 + (c1.tv_nsec - c0.tv_nsec) * 1e-6);
    }
    std::sort(wall_ms.begin(), wall_ms.end());
    std::sort(cpu_ms.begin(), cpu_ms.end());
    std::printf("libsi4c 640x480 two-frequency frame, default filters (spatial 3, temporal 3), "
                "one thread, %d frames:\n",
                kFrames);
    std::printf("  wall: median %.2f ms, min %.2f ms, max %.2f ms\n", wall_ms[kFrames / 2],
                wall_ms.front(), wall_ms.back());
    std::printf("  cpu:  median %.2f ms, min %.2f ms, max %.2f ms\n", cpu_ms[kFrames / 2],
                cpu_ms.front(), cpu_ms.back());
    std::printf("centre pixel: %.1f mm (truth %.1f mm)\n", depth[size_t(240) * kWidth + 320],
                distance[size_t(240) * kWidth + 320]);
    SiSDKDestroy(&handle);
    return 0;
}
