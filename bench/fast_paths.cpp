// Reference and fast paths side by side: HQVGA depth and raw interleave, the USB scalings and
// the CSI buffer conversions, each beside a memcpy of the bytes it writes, and the software
// camera's capture cost. Every figure is the median over repetitions that alternate between the
// paths compared, in thread CPU time (other load on the machine disturbs it less than wall
// time). The last line is one JSON object with every figure in microseconds.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "device/device_hqvga.hpp"
#include "device/device_hqvga_fast.hpp"
#include "scene/scene.hpp"
#include "sensor/csi/conversions.hpp"
#include "sensor/usb_conversions.hpp"
#include "telmora_evk_sdk.h"

using namespace Telmora;

namespace {

constexpr int kRepetitions = 15;

double threadCpuUs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Keeps the compiler from dropping a copy whose result is never read.
void touch(void* p) { asm volatile("" : : "r"(p) : "memory"); }

struct Path {
    std::string name;
    std::function<void()> run;
};

// Runs the paths in turn, `calls` calls each per repetition; returns each path's median
// microseconds per call.
std::vector<double> sideBySide(const std::vector<Path>& paths, int calls)
{
    std::vector<std::vector<double>> times(paths.size());
    for (const Path& p : paths) p.run();  // warm caches and lazy set-up
    for (int r = 0; r < kRepetitions; ++r) {
        for (size_t i = 0; i < paths.size(); ++i) {
            const double t0 = threadCpuUs();
            for (int c = 0; c < calls; ++c) paths[i].run();
            times[i].push_back((threadCpuUs() - t0) / calls);
        }
    }
    std::vector<double> out;
    for (auto& t : times) out.push_back(median(t));
    return out;
}

std::vector<std::pair<std::string, double>> g_figures;

void figure(const std::string& key, double us) { g_figures.emplace_back(key, us); }

void print(const std::string& title, const std::vector<Path>& paths, const std::vector<double>& us)
{
    std::printf("%s\n", title.c_str());
    for (size_t i = 0; i < paths.size(); ++i) {
        std::printf("  %-34s %9.2f us", paths[i].name.c_str(), us[i]);
        if (i > 0) std::printf("   (%.2f x the first)", us[i] / us[0]);
        std::printf("\n");
    }
}

std::vector<uint8_t> noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return v;
}

// A capture of the software camera's default room, as the USB back-end lays it out.
std::vector<uint8_t> roomCapture()
{
    sim::Scene scene(hqvga::kWidth, hqvga::kHeight, sim::SceneParams());
    std::vector<uint16_t> phases(4 * hqvga::kPixels);
    scene.renderPhases(0, sim::RangeMode::Range4m, phases.data());
    std::vector<uint8_t> cache(hqvga::kCaptureBytes);
    for (size_t i = 0; i < phases.size(); ++i) {
        cache[2 * i] = static_cast<uint8_t>(phases[i]);
        cache[2 * i + 1] = static_cast<uint8_t>(phases[i] >> 8);
    }
    return cache;
}

void benchHqvga()
{
    const std::vector<uint8_t> cache = roomCapture();
    std::vector<float> planes(3 * hqvga::kPixels);
    float* d = planes.data();
    float* a = d + hqvga::kPixels;
    float* c = a + hqvga::kPixels;
    const hqvga::PhaseParams params{false, hqvga::depthScale(hqvga::kFrequency4m), 0};
    // A depth frame reads the capture and writes three planes.
    const size_t frame_bytes = hqvga::kCaptureBytes + planes.size() * sizeof(float);
    std::vector<uint8_t> from = noise(frame_bytes, 1), to(frame_bytes);

    size_t count = 0;
    const hqvga::Kernels* kernels = hqvga::fastKernels(&count);
    const hqvga::Kernels& best = hqvga::bestKernels();
    std::vector<Path> paths = {
        {"reference (scalar)", [&] { hqvga::phaseReference(cache.data(), hqvga::kPixels, hqvga::kPixels, params, d, a, c); }},
        {std::string("fast (") + best.name + ")", [&] { best.phase(cache.data(), hqvga::kPixels, hqvga::kPixels, params, d, a, c); }},
        {"memcpy of the frame's bytes", [&] { std::memcpy(to.data(), from.data(), frame_bytes); touch(to.data()); }},
    };
    for (size_t v = 0; v < count; ++v) {
        if (&kernels[v] == &best) continue;
        const hqvga::Kernels* k = &kernels[v];
        paths.push_back({std::string("fast (") + k->name + ")", [=] { k->phase(cache.data(), hqvga::kPixels, hqvga::kPixels, params, d, a, c); }});
    }
    std::vector<double> us = sideBySide(paths, 20);
    print("HQVGA depth frame, 240 x 180 (getPhaseImage)", paths, us);
    figure("hqvga_reference_us", us[0]);
    figure("hqvga_fast_us", us[1]);
    figure("hqvga_ratio", us[0] / us[1]);
    figure("memcpy_frame_us", us[2]);

    std::vector<int16_t> raw(4 * hqvga::kPixels);
    const size_t raw_bytes = raw.size() * sizeof(int16_t);
    paths = {
        {"reference (scalar)", [&] { hqvga::rawReference(cache.data(), 0, raw.data()); }},
        {std::string("fast (") + best.name + ")", [&] { best.raw(cache.data(), 0, raw.data()); }},
        {"memcpy of the bytes written", [&] { std::memcpy(to.data(), from.data(), raw_bytes); touch(to.data()); }},
    };
    us = sideBySide(paths, 50);
    print("HQVGA raw interleave, 240 x 720 (getRawImages)", paths, us);
    figure("hqvga_raw_reference_us", us[0]);
    figure("hqvga_raw_us", us[1]);
    figure("hqvga_raw_memcpy_us", us[2]);
}

// The USB scalings as they were first written, one sample at a time.
size_t usbReference(const uint8_t* src, size_t bytes, uint32_t bit_width, uint32_t bpp, uint8_t* out)
{
    if (bit_width == 8 && bpp == 1) {
        for (size_t i = 0; i < bytes; ++i) {
            const uint16_t s = static_cast<uint16_t>(src[i] << 4);
            out[2 * i] = static_cast<uint8_t>(s);
            out[2 * i + 1] = static_cast<uint8_t>(s >> 8);
        }
        return 2 * bytes;
    }
    const bool right = bit_width > 12;
    const unsigned shift = right ? bit_width - 12 : 12 - bit_width;
    for (size_t i = 0; i + 1 < bytes; i += 2) {
        const uint16_t w = static_cast<uint16_t>(src[i] | (src[i + 1] << 8));
        const uint16_t s = static_cast<uint16_t>(right ? w >> shift : w << shift);
        out[i] = static_cast<uint8_t>(s);
        out[i + 1] = static_cast<uint8_t>(s >> 8);
    }
    return bytes;
}

void benchUsb()
{
    const size_t samples = hqvga::kPixels;  // one 240 x 180 image
    std::vector<uint8_t> out(2 * samples), copy_to(2 * samples);
    const std::vector<uint8_t> copy_from = noise(2 * samples, 2);
    for (uint32_t bits : {8u, 10u, 14u}) {
        const uint32_t bpp = bits == 8 ? 1 : 2;
        const std::vector<uint8_t> src = noise(samples * bpp, bits);
        const std::vector<Path> paths = {
            {"reference (sample by sample)", [&] { usbReference(src.data(), src.size(), bits, bpp, out.data()); touch(out.data()); }},
            {"fast", [&] { usbConvertImage(src.data(), src.size(), bits, bpp, out.data()); touch(out.data()); }},
            {"memcpy of the bytes written", [&] { std::memcpy(copy_to.data(), copy_from.data(), out.size()); touch(copy_to.data()); }},
        };
        const std::vector<double> us = sideBySide(paths, 200);
        const std::string name = "usb" + std::to_string(bits);
        print("USB " + std::to_string(bits) + "-bit image to 12-bit words, 240 x 180", paths, us);
        figure(name + "_reference_us", us[0]);
        figure(name + "_us", us[1]);
        figure(name + "_memcpy_us", us[2]);
    }
}

void benchCsi()
{
    struct Routine {
        const char* name;
        ConvertFn fn;
        size_t len;  // driver buffer of one 240 x 180 image
    };
    const Routine routines[] = {
        {"strip_line_padding", strip_line_padding, 180 * 512},
        {"reorder_line_pairs", reorder_line_pairs, hqvga::kPixels * 2},
        {"unpack_y12p", unpack_y12p, 180 * 368},
    };
    const size_t image_bytes = 2 * hqvga::kPixels;
    std::vector<uint8_t> cache(image_bytes), copy_to(image_bytes);
    const std::vector<uint8_t> copy_from = noise(image_bytes, 3);
    for (const Routine& r : routines) {
        const std::vector<uint8_t> src = noise(r.len, 4);
        const std::vector<Path> paths = {
            {"conversion", [&] { size_t pos = 0; r.fn(src.data(), cache.data(), r.len, hqvga::kWidth, &pos, cache.size()); touch(cache.data()); }},
            {"memcpy of the bytes written", [&] { std::memcpy(copy_to.data(), copy_from.data(), image_bytes); touch(copy_to.data()); }},
        };
        const std::vector<double> us = sideBySide(paths, 200);
        print(std::string("CSI ") + r.name + ", one 240 x 180 image", paths, us);
        figure(std::string(r.name) + "_us", us[0]);
        figure(std::string(r.name) + "_memcpy_us", us[1]);
    }
}

// What the software camera costs per capture (four images made and handed out), unpaced: the
// part of a Python depth stream's frame time that is not the pipeline's own.
void benchCapture()
{
    std::ofstream("bench_fast_paths_evk.cfg") << "fps 0\n";
    TelmoraOpenParam p;
    TelmoraDefaultParam(&p);
    p.config_path = "bench_fast_paths_evk.cfg";
    TelmoraHandle h = nullptr;
    if (TelmoraOpenCamera(&h, &p) != 0 || TelmoraInitCamera(h) != 0 || TelmoraStartCamera(h) != 0) {
        std::fprintf(stderr, "cannot open the software camera\n");
        return;
    }
    const std::vector<Path> paths = {{"capture + free four images", [&] {
        for (int j = 0; j < 4; ++j) {
            TelmoraImage img;
            if (TelmoraCaptureImage(h, &img, 100) == 0) TelmoraFreeImage(h, img);
        }
    }}};
    const std::vector<double> us = sideBySide(paths, 10);
    print("Software camera, one capture (fps 0)", paths, us);
    figure("capture_us", us[0]);
    TelmoraCloseCamera(h);
    std::remove("bench_fast_paths_evk.cfg");
}

}  // namespace

int main()
{
    std::printf("medians of %d alternating repetitions, thread CPU time per call\n", kRepetitions);
    benchHqvga();
    benchUsb();
    benchCsi();
    benchCapture();
    std::printf("{");
    for (size_t i = 0; i < g_figures.size(); ++i) {
        std::printf("%s\"%s\": %.3f", i ? ", " : "", g_figures[i].first.c_str(), g_figures[i].second);
    }
    std::printf("}\n");
    return 0;
}
