// Synthetic time-of-flight scenes: ground truth and four-phase rendering (see scene.hpp).
#include "scene/scene.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Telmora {
namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Sine table over one period: sin(2 pi i / N). cos is the same table a quarter period ahead.
constexpr int kSineBits = 14;
constexpr uint32_t kSineSize = 1u << kSineBits;
constexpr uint32_t kSineMask = kSineSize - 1;

// Standard normal quantiles at (i + 0.5) / 4096, indexed by 12 random bits.
constexpr int kNoiseBits = 12;
constexpr uint32_t kNoiseSize = 1u << kNoiseBits;

struct Tables {
    float sine[kSineSize];
    float normal[kNoiseSize];

    Tables() {
        for (uint32_t i = 0; i < kSineSize; ++i) {
            sine[i] = static_cast<float>(std::sin(2.0 * kPi * i / kSineSize));
        }
        // Invert the normal distribution function by bisection (once, at first use).
        for (uint32_t i = 0; i < kNoiseSize; ++i) {
            const double p = (i + 0.5) / kNoiseSize;
            double lo = -10.0, hi = 10.0;
            for (int it = 0; it < 80; ++it) {
                const double mid = 0.5 * (lo + hi);
                const double cdf = 0.5 * std::erfc(-mid / std::sqrt(2.0));
                (cdf < p ? lo : hi) = mid;
            }
            normal[i] = static_cast<float>(0.5 * (lo + hi));
        }
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

uint64_t splitmix64(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// xorshift64*: a fast generator, one stream per (seed, capture).
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(splitmix64(seed) | 1) {}
    uint64_t next() {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1Dull;
    }
};

// Amplitude a (code units) of a surface: illumination falls off as 1/d (gentler than the
// inverse square, so that the whole 4 m range stays measurable), clipped to the code range.
inline float amplitudeOf(float illumination, float reflectivity, float distance_mm) {
    const float dm = std::max(distance_mm * 0.001f, 0.25f);
    return std::min(illumination * reflectivity / dm, 1023.0f);
}

// Rounds to the nearest code, clamped to -1024 .. 1023, as a 12-bit two's-complement word.
inline uint16_t toWord(float x) {
    x = x < -1024.0f ? -1024.0f : (x > 1023.0f ? 1023.0f : x);
    const int v = static_cast<int>(x + 1024.5f) - 1024;  // non-negative before truncation
    return static_cast<uint16_t>(v & 0xFFF);
}

}  // namespace

double modulationFrequency(RangeMode mode) { return mode == RangeMode::Range2m ? 75.0e6 : 37.5e6; }

double unambiguousRangeMm(RangeMode mode) {
    return kSpeedOfLight / (2.0 * modulationFrequency(mode)) * 1000.0;
}

float wrapDistanceMm(float distance_mm, RangeMode mode) {
    const double r = unambiguousRangeMm(mode);
    double w = std::fmod(static_cast<double>(distance_mm), r);
    if (w < 0) w += r;
    return static_cast<float>(w);
}

struct Scene::Impl {
    std::vector<float> bg_distance;      // static part of the scene, mm
    std::vector<float> bg_reflectivity;  // 0 .. 1
    std::vector<float> bg_amplitude;     // code units (a)
    std::vector<float> distance;         // the built capture, mm
    std::vector<float> amplitude;        // the built capture, code units (a)
    uint64_t built = ~0ull;              // capture index held in distance/amplitude

    void build(const SceneParams& p, int width, int height, uint64_t capture);
};

Scene::Scene(int width, int height, const SceneParams& params)
    : width_(width < 0 ? 0 : width), height_(height < 0 ? 0 : height), params_(params),
      impl_(new Impl) {
    (void)tables();
    const size_t n = static_cast<size_t>(width_) * height_;
    impl_->bg_distance.assign(n, params_.wall_mm);
    impl_->bg_reflectivity.assign(n, params_.reflectivity);
    impl_->distance.resize(n);
    impl_->amplitude.resize(n);
    if (params_.kind == SceneKind::Default) buildRoom();
    impl_->bg_amplitude.resize(n);
    for (size_t i = 0; i < n; ++i) {
        impl_->bg_amplitude[i] = amplitudeOf(params_.illumination, impl_->bg_reflectivity[i],
                                             impl_->bg_distance[i]);
    }
}

void Scene::buildRoom() {
    // The room, in normalised image coordinates u (0 left .. 1 right), v (0 top .. 1 bottom).
    for (int y = 0; y < height_; ++y) {
        const float v = (y + 0.5f) / height_;
        for (int x = 0; x < width_; ++x) {
            const float u = (x + 0.5f) / width_;
            float d = 2700.0f + 300.0f * u;  // slanted back wall, 2.7 .. 3.0 m
            float r = 0.95f;
            if (v > 0.75f) {  // floor, from the wall down to 1.2 m at the bottom edge
                const float t = (v - 0.75f) / 0.25f;
                const float fd = d + (1200.0f - d) * t;
                if (fd < d) { d = fd; r = 0.6f; }
            }
            if (u > 0.08f && u < 0.33f && v > 0.35f && v < 0.80f) {  // box, 1.5 m
                d = 1500.0f + 200.0f * (u - 0.08f);
                r = 0.7f;
            }
            const float pu = (u - 0.80f) / 0.07f;  // pillar, 1.85 .. 2.0 m
            if (pu > -1.0f && pu < 1.0f && v < 0.85f) {
                const float pd = 2000.0f - 150.0f * std::sqrt(1.0f - pu * pu);
                if (pd < d) { d = pd; r = 0.65f; }
            }
            const size_t i = static_cast<size_t>(y) * width_ + x;
            impl_->bg_distance[i] = d;
            impl_->bg_reflectivity[i] = r;
        }
    }
}

Scene::~Scene() = default;

void Scene::groundTruth(uint64_t capture, float* distance_mm, float* amplitude) {
    impl_->build(params_, width_, height_, capture);
    const size_t n = impl_->distance.size();
    if (n == 0) return;
    if (distance_mm) std::memcpy(distance_mm, impl_->distance.data(), n * sizeof(float));
    if (amplitude) {
        for (size_t i = 0; i < n; ++i) amplitude[i] = 16.0f * impl_->amplitude[i];
    }
}

void Scene::renderPhases(uint64_t capture, RangeMode mode, uint16_t* out) {
    impl_->build(params_, width_, height_, capture);
    const Tables& t = tables();
    const size_t n = impl_->distance.size();
    uint16_t* p0 = out;
    uint16_t* p1 = out + n;
    uint16_t* p2 = out + 2 * n;
    uint16_t* p3 = out + 3 * n;
    const float* dist = impl_->distance.data();
    const float* amp = impl_->amplitude.data();
    // Table steps per millimetre: one period of the table spans the unambiguous range.
    const double steps_per_mm = kSineSize / unambiguousRangeMm(mode);
    const float b = params_.ambient;
    const bool mode2m = mode == RangeMode::Range2m;
    const float sigma = params_.noise;

    Rng rng(params_.seed ^ splitmix64(capture + 0x5CE4E));
    uint64_t bits = 0;
    int left = 0;
    auto gauss = [&]() {
        if (left == 0) {
            bits = rng.next();
            left = 5;
        }
        const float g = t.normal[bits & (kNoiseSize - 1)];
        bits >>= kNoiseBits;
        --left;
        return g;
    };

    for (size_t i = 0; i < n; ++i) {
        // Distances are positive: adding 0.5 and truncating rounds to the nearest step.
        const uint32_t idx =
            static_cast<uint32_t>(static_cast<int64_t>(dist[i] * steps_per_mm + 0.5)) & kSineMask;
        const float a = amp[i];
        const float s = a * t.sine[idx];
        const float c = a * t.sine[(idx + kSineSize / 4) & kSineMask];
        float v0, v1, v2, v3;
        if (mode2m) {  // P1 - P3 = 2a sin, P2 - P0 = 2a cos
            v0 = b - c;
            v1 = b + s;
            v2 = b + c;
            v3 = b - s;
        } else {  // P2 - P0 = 2a sin, P3 - P1 = 2a cos
            v0 = b - s;
            v1 = b - c;
            v2 = b + s;
            v3 = b + c;
        }
        if (sigma > 0.0f) {
            v0 += sigma * gauss();
            v1 += sigma * gauss();
            v2 += sigma * gauss();
            v3 += sigma * gauss();
        }
        p0[i] = toWord(v0);
        p1[i] = toWord(v1);
        p2[i] = toWord(v2);
        p3[i] = toWord(v3);
    }
}

// Fills distance and amplitude for `capture`: the static background, then what moves.
void Scene::Impl::build(const SceneParams& p, int width, int height, uint64_t capture) {
    const size_t n = distance.size();
    if (built == capture || n == 0) return;
    std::memcpy(distance.data(), bg_distance.data(), n * sizeof(float));
    std::memcpy(amplitude.data(), bg_amplitude.data(), n * sizeof(float));
    float* dist = distance.data();
    float* amp = amplitude.data();
    const float illum = p.illumination;

    if (p.kind == SceneKind::Default && width > 0 && height > 0) {
        // A ball that drifts across the room in front of everything else, ~1.0 .. 1.2 m.
        const double t = p.animate ? static_cast<double>(capture) : 0.0;
        const float cu = static_cast<float>(0.52 + 0.28 * std::sin(2.0 * kPi * t / 180.0));
        const float cv = static_cast<float>(0.45 + 0.06 * std::cos(2.0 * kPi * t / 90.0));
        const float radius = 0.16f * height;  // pixels
        const float cx = cu * width, cy = cv * height;
        const float front = static_cast<float>(1000.0 + 80.0 * std::sin(2.0 * kPi * t / 120.0));
        const int x0 = std::max(0, static_cast<int>(cx - radius) - 1);
        const int x1 = std::min(width - 1, static_cast<int>(cx + radius) + 1);
        const int y0 = std::max(0, static_cast<int>(cy - radius) - 1);
        const int y1 = std::min(height - 1, static_cast<int>(cy + radius) + 1);
        const float refl_ball = 0.85f;
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const float dx = (x + 0.5f - cx) / radius, dy = (y + 0.5f - cy) / radius;
                const float r2 = dx * dx + dy * dy;
                if (r2 >= 1.0f) continue;
                const float d = front + 200.0f * (1.0f - std::sqrt(1.0f - r2));
                const size_t i = static_cast<size_t>(y) * width + x;
                if (d < dist[i]) {
                    dist[i] = d;
                    // Light falls off towards the ball's rim (Lambertian shading).
                    const float shade = std::sqrt(1.0f - r2);
                    amp[i] = amplitudeOf(illum, refl_ball * (0.4f + 0.6f * shade), d);
                }
            }
        }
    }
    built = capture;
}

}  // namespace sim
}  // namespace Telmora
