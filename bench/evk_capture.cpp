// Cost of the software USB camera: one 240 x 180 capture (four phase images) made by the scene
// and handed out by the library, and the HQVGA depth computation on it. Prints figures only.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

#include "device/device_hqvga.hpp"
#include "scene/scene.hpp"
#include "telmora_evk_sdk.h"

namespace {

double threadCpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double wallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Best of `batches` batches of `reps` calls: {cpu ms per call, wall ms per call}.
template <class F>
void measure(const char* what, F&& f, int batches = 7, int reps = 50) {
    double best_cpu = 1e30, best_wall = 1e30;
    for (int b = 0; b < batches; ++b) {
        const double c0 = threadCpuMs(), w0 = wallMs();
        for (int i = 0; i < reps; ++i) f();
        best_cpu = std::min(best_cpu, (threadCpuMs() - c0) / reps);
        best_wall = std::min(best_wall, (wallMs() - w0) / reps);
    }
    std::printf("%-58s %7.3f ms cpu  %7.3f ms wall\n", what, best_cpu, best_wall);
}

TelmoraHandle openStarted(const char* config_text) {
    std::ofstream("bench_evk.cfg") << config_text;
    TelmoraOpenParam p;
    TelmoraDefaultParam(&p);
    p.config_path = "bench_evk.cfg";
    TelmoraHandle h = nullptr;
    if (TelmoraOpenCamera(&h, &p) != 0 || TelmoraInitCamera(h) != 0 || TelmoraStartCamera(h) != 0) {
        std::fprintf(stderr, "cannot open the software camera\n");
        return nullptr;
    }
    return h;
}

}  // namespace

int main() {
    using Telmora::sim::RangeMode;
    std::printf("one 240 x 180 capture = four phase images (frame period at 30 fps: 33.3 ms)\n");
    for (float noise : {0.0f, 3.0f}) {
        Telmora::sim::SceneParams params;
        params.noise = noise;
        Telmora::sim::Scene scene(240, 180, params);
        std::vector<uint16_t> phases(4 * 240 * 180);
        uint64_t capture = 0;
        measure(noise > 0 ? "scene: render default room, noise 3" : "scene: render default room, noise 0",
                [&] { scene.renderPhases(capture++, RangeMode::Range4m, phases.data()); });
    }
    for (const char* cfg : {"fps 0\n", "fps 0\nnoise 3\n", "fps 0\nscene flat_wall\n", "fps 0\nbits 8\n"}) {
        TelmoraHandle h = openStarted(cfg);
        if (h == nullptr) return 1;
        char label[96];
        std::snprintf(label, sizeof label, "evk: capture + free four images [%.*s]",
                      static_cast<int>(std::char_traits<char>::length(cfg)) - 1, cfg);
        for (char* c = label; *c; ++c) *c = *c == '\n' ? ' ' : *c;
        measure(label, [&] {
            for (int j = 0; j < 4; ++j) {
                TelmoraImage img;
                if (TelmoraCaptureImage(h, &img, 100) == 0) TelmoraFreeImage(h, img);
            }
        });
        TelmoraCloseCamera(h);
    }
    {
        Telmora::sim::Scene scene(240, 180, Telmora::sim::SceneParams());
        std::vector<uint16_t> phases(4 * 240 * 180);
        scene.renderPhases(0, RangeMode::Range4m, phases.data());
        std::vector<uint8_t> cache(Telmora::hqvga::kCaptureBytes);
        for (size_t i = 0; i < phases.size(); ++i) {
            cache[2 * i] = static_cast<uint8_t>(phases[i]);
            cache[2 * i + 1] = static_cast<uint8_t>(phases[i] >> 8);
        }
        std::vector<float> d(Telmora::hqvga::kPixels), a(d.size()), c(d.size());
        Telmora::TelmoraDeviceHQVGA dev(Telmora::PLATFORM_UNKNOWN);
        measure("hqvga: getPhaseImage (the device's fast path)",
                [&] { dev.getPhaseImage(cache.data(), d.data(), a.data(), c.data()); }, 5, 20);
    }
    return 0;
}
