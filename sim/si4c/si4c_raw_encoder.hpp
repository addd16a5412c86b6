// Makes libsi4c raw captures (layout in si4c.h) from per-pixel ground truth.
// Header-only, so a software camera can produce captures without linking libsi4c.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "si4c.h"

namespace si4c {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpeedOfLight = 299792458.0;  // m/s
constexpr double kFreqAHz = SI4C_FREQ_A_CODE * 1.0e5;
constexpr double kFreqBHz = SI4C_FREQ_B_CODE * 1.0e5;

// Sub-frames of one capture: 5 with one frequency, 10 with two.
inline int subFrames(bool two_frequencies) { return two_frequencies ? 10 : 5; }

// Lines of one capture.
inline int rawHeight(int height, bool two_frequencies)
{
    return (height + 1) * subFrames(two_frequencies);
}

// Words of one capture.
inline size_t rawWords(int width, int height, bool two_frequencies)
{
    return size_t(width) * size_t(rawHeight(height, two_frequencies));
}

// Modulation amplitude (counts) of a Lambertian target of `reflectivity` (0..1) at
// `distance_mm`, for an illumination that gives `amplitude_at_1m` counts from a white
// target at one metre.
inline float amplitudeFromReflectivity(float reflectivity, float distance_mm,
                                       float amplitude_at_1m = 1200.0f)
{
    const float d_m = std::max(distance_mm, 50.0f) * 0.001f;
    return amplitude_at_1m * reflectivity / (d_m * d_m);
}

// What to encode. Per-pixel planes are width x height, row-major; a null amplitude or
// ambient plane means the uniform value for every pixel.
struct RawEncoderFrame {
    int width = 640;
    int height = 480;
    bool two_frequencies = false;
    const float* distance_mm = nullptr;  // required
    const float* amplitude = nullptr;    // modulation amplitude, counts
    const float* ambient = nullptr;      // background light, counts
    float amplitude_uniform = 400.0f;
    float ambient_uniform = 100.0f;
    float noise = 0.0f;           // Gaussian standard deviation per sample, counts
    uint32_t frame_counter = 0;   // 24 bits are carried
    uint64_t noise_seed = 1;      // with frame_counter, picks the noise of this capture
};

namespace detail {

inline uint64_t splitmix64(uint64_t& state)
{
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Standard normal quantiles at (i + 0.5) / 4096: a table lookup per sample keeps noisy
// encoding cheap enough for a software camera running at frame rate.
inline const std::array<float, 4096>& normalTable()
{
    static const std::array<float, 4096> table = [] {
        std::array<float, 4096> t{};
        for (size_t i = 0; i < t.size(); ++i) {
            const double p = (double(i) + 0.5) / double(t.size());
            double lo = -8.0, hi = 8.0;
            for (int it = 0; it < 60; ++it) {
                const double mid = 0.5 * (lo + hi);
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
            }
            t[i] = float(0.5 * (lo + hi));
        }
        return t;
    }();
    return table;
}

inline uint16_t toSample(double v)
{
    const double r = std::floor(v + 0.5);
    return uint16_t(std::min(std::max(r, 0.0), double(SI4C_SAMPLE_MAX)));
}

}  // namespace detail

// Fills `out` (rawWords(width, height, two_frequencies) words) with one capture.
inline void encodeCapture(const RawEncoderFrame& f, uint16_t* out)
{
    const int w = f.width, h = f.height;
    const size_t plane = size_t(w) * size_t(h);
    const size_t sub_words = size_t(w) * size_t(h + 1);
    const int nfreq = f.two_frequencies ? 2 : 1;
    const std::array<float, 4096>& gauss = detail::normalTable();
    uint64_t rng = f.noise_seed * 0x2545F4914F6CDD1Dull + f.frame_counter;
    auto noise = [&]() -> double {
        if (f.noise <= 0.0f) return 0.0;
        return double(f.noise) * gauss[detail::splitmix64(rng) >> 52];
    };
    for (int fi = 0; fi < nfreq; ++fi) {
        const double freq = fi == 0 ? kFreqAHz : kFreqBHz;
        const double rad_per_mm = 4.0 * kPi * freq / (kSpeedOfLight * 1000.0);
        uint16_t* subs[SI4C_SUBFRAMES_PER_FREQ];
        for (int k = 0; k < SI4C_SUBFRAMES_PER_FREQ; ++k) {
            const int index = fi * SI4C_SUBFRAMES_PER_FREQ + k;
            uint16_t* meta = out + sub_words * size_t(index);
            std::fill(meta, meta + w, uint16_t(0));
            meta[0] = uint16_t(index);
            meta[1] = uint16_t(fi == 0 ? SI4C_FREQ_A_CODE : SI4C_FREQ_B_CODE);
            meta[2] = uint16_t(f.frame_counter & 0xFFFu);
            meta[3] = uint16_t((f.frame_counter >> 12) & 0xFFFu);
            subs[k] = meta + w;
        }
        for (size_t i = 0; i < plane; ++i) {
            const double a = f.amplitude ? f.amplitude[i] : f.amplitude_uniform;
            const double g = f.ambient ? f.ambient[i] : f.ambient_uniform;
            const double phi = rad_per_mm * f.distance_mm[i];
            const double c = std::cos(phi), s = std::sin(phi);
            const double base = SI4C_BLACK_LEVEL + g + a;
            // cos(phi - k pi/2) for k = 0..3 is c, s, -c, -s.
            subs[0][i] = detail::toSample(base + a * c + noise());
            subs[1][i] = detail::toSample(base + a * s + noise());
            subs[2][i] = detail::toSample(base - a * c + noise());
            subs[3][i] = detail::toSample(base - a * s + noise());
            subs[4][i] = detail::toSample(SI4C_BLACK_LEVEL + g + noise());
        }
    }
}

}  // namespace si4c
