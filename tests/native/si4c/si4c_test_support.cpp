#include "si4c_test_support.hpp"

#include <stdlib.h>

#include <cmath>
#include <fstream>
#include <stdexcept>

#include "si4c.h"

namespace si4c_test {

const char* const kNoFilters =
    "SDenoiseLevel_Depth=0\nTDenoiseLevel_Depth=0\nSDenoiseLevel_Gray=0\nTDenoiseLevel_Gray=0\n";

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "telmora_si4c_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

Instance::Instance()
{
    if (!SiSDKCreate(&handle)) throw std::runtime_error("SiSDKCreate failed");
}

Instance::~Instance()
{
    if (handle != nullptr) SiSDKDestroy(&handle);
}

bool Instance::start(int w, int h, bool two, const std::string& config,
                     const std::vector<uint8_t>& calibration)
{
    width = w;
    height = h;
    const size_t pixels = size_t(w) * size_t(h);
    depth.assign(pixels, -1.0f);
    amplitude.assign(pixels, -1.0f);
    confidence.assign(pixels, -1.0f);
    std::ofstream(config_dir_.path() / "ConfigAlgorithm.json", std::ios::trunc) << config;
    if (!SiSDKInit(handle, w, h)) return false;
    if (!calibration.empty())
        SiSDKSetCaliData(handle, calibration.data(), uint32_t(calibration.size()));
    return SiSDKSetConfig(handle, config_dir_.path().c_str()) && SiSDKSetSingleFreq(handle, !two) &&
           SiSDKStart(handle);
}

bool Instance::run(const std::vector<uint16_t>& raw)
{
    return SiSDKGetPhaseImage(handle, reinterpret_cast<const uint8_t*>(raw.data()), depth.data(),
                              amplitude.data(), confidence.data());
}

std::vector<uint16_t> capture(int width, int height, bool two, const std::vector<float>& distance,
                              float amplitude, float ambient, float noise, uint32_t counter)
{
    // Room for a two-frequency capture, so that a mismatched mode reads inside the buffer.
    std::vector<uint16_t> raw(si4c::rawWords(width, height, true), 0);
    si4c::RawEncoderFrame f;
    f.width = width;
    f.height = height;
    f.two_frequencies = two;
    f.distance_mm = distance.data();
    f.amplitude_uniform = amplitude;
    f.ambient_uniform = ambient;
    f.noise = noise;
    f.frame_counter = counter;
    si4c::encodeCapture(f, raw.data());
    return raw;
}

std::vector<uint16_t> wall(int width, int height, bool two, float distance, float noise,
                           uint32_t counter)
{
    return capture(width, height, two, std::vector<float>(size_t(width) * size_t(height), distance),
                   400.0f, 100.0f, noise, counter);
}

double mean(const std::vector<float>& v)
{
    double s = 0;
    for (float x : v) s += x;
    return v.empty() ? 0.0 : s / double(v.size());
}

double stddev(const std::vector<float>& v)
{
    const double m = mean(v);
    double s = 0;
    for (float x : v) s += (x - m) * (x - m);
    return v.empty() ? 0.0 : std::sqrt(s / double(v.size()));
}

}  // namespace si4c_test
