// Synthetic time-of-flight scenes for the software cameras.
//
// A Scene gives, for every capture index, the ground truth of each pixel (the distance the
// sensor measures and the amplitude of the reflected light) and renders the four phase images
// of one capture from it. The phase images are 16-bit words holding the sensor's 12-bit raw
// code: a 12-bit two's-complement number v in -1024 .. 1023 (bit 11 repeats the sign bit 10).
// The HQVGA depth device reads the low 11 bits as a signed value and multiplies it by 16, so a
// decoded phase sample is P = 16 * v.
//
// Rendering model (per pixel, capture n, modulation frequency f):
//   theta = 4 * pi * f * d / c           (d = distance in metres, c = 3.0e8 m/s), taken mod 2 pi
//   a     = illumination * reflectivity / max(d_m, 0.25), clipped to 1023 (code units)
//   B     = ambient                       (common to the four phases; cancels in depth)
//   range mode 4 m (37.5 MHz):  P2 - P0 = 2a sin(theta),  P3 - P1 = 2a cos(theta)
//       so that atan2(P2 - P0, P3 - P1) = theta
//   range mode 2 m (75 MHz):    P1 - P3 = 2a sin(theta),  P2 - P0 = 2a cos(theta)
//       so that atan2(P1 - P3, P2 - P0) = theta
//   each sample: v = round(B +/- a * (cos or sin) + noise), clamped to -1024 .. 1023.
// The depth device then reports depth = theta * c / (4 pi f) in mm, i.e. the distance modulo the
// unambiguous range (2000 mm at 75 MHz, 4000 mm at 37.5 MHz), and amplitude
// 0.5 * sqrt((P2 - P0)^2 + (P3 - P1)^2) = 16 * a. With noise 0 the only error is the rounding
// of each sample to an integer code: at most about sqrt(2) / (2a) radians, e.g. 1.8 mm at 4 m
// scale for a = 250 (device amplitude 4000).
//
// The stand-in has no lens model: distances are per-pixel radial distances, so a "flat wall"
// shows the same distance in every pixel.
//
// Cost: ground truth and rendering of one 240 x 180 capture take well under a millisecond
// (sine table, table-driven Gaussian noise, static background computed once; only the moving
// ball is drawn per capture). A Scene keeps scratch buffers: use one Scene per thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Telmora {
namespace sim {

enum class SceneKind {
    // A slanted back wall (2.7 .. 3.0 m), a floor coming up to 1.2 m at the bottom edge, a box
    // (1.5 m), a pillar (1.85 .. 2.0 m) and a ball (about 1.0 .. 1.3 m) that drifts across the
    // room with the capture index unless animate is off. Distances stay below 3.0 m, so the
    // 4 m mode sees them unwrapped.
    Default,
    // Every pixel sees the same distance wall_mm with the same reflectivity.
    FlatWall,
};

struct SceneParams {
    SceneKind kind = SceneKind::Default;
    float wall_mm = 1000.0f;       // FlatWall: the distance every pixel sees
    float reflectivity = 0.8f;     // FlatWall: 0 .. 1 (Default: per object)
    float illumination = 1000.0f;  // code units of amplitude for reflectivity 1 at 1 m
    float ambient = 0.0f;          // offset common to the four phase samples, code units
    float noise = 0.0f;            // standard deviation of per-sample noise, code units; 0 = exact
    uint64_t seed = 1;             // noise seed; a capture's noise depends on (seed, capture)
    bool animate = true;           // Default scene: objects move with the capture index
};

// The sensor's hardware range modes. The mode fixes both the modulation frequency and which
// pair of phase differences carries the sine (see the rendering model above).
enum class RangeMode {
    Range2m,  // 75 MHz, unambiguous range 2000 mm
    Range4m,  // 37.5 MHz, unambiguous range 4000 mm
};

constexpr double kSpeedOfLight = 3.0e8;  // m/s, the value the depth device uses
double modulationFrequency(RangeMode mode);  // Hz: 75e6 or 37.5e6
double unambiguousRangeMm(RangeMode mode);   // 2000 or 4000
// The distance the depth device reports for a true distance: d modulo the unambiguous range.
float wrapDistanceMm(float distance_mm, RangeMode mode);

class Scene {
public:
    Scene(int width, int height, const SceneParams& params = SceneParams());
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    const SceneParams& params() const { return params_; }

    // Ground truth of capture `capture`: per pixel (row-major, width * height values) the true
    // distance in millimetres (not wrapped) and the amplitude the HQVGA device reports for it
    // with noise 0 and 12-bit samples (16 * a, before rounding). Either pointer may be null.
    void groundTruth(uint64_t capture, float* distance_mm, float* amplitude);

    // Renders the four phase images of capture `capture` for `mode`: phase k goes to
    // out + k * width * height, each width * height 16-bit words holding the 12-bit code
    // (v & 0xFFF) in host byte order (little-endian on every supported machine).
    void renderPhases(uint64_t capture, RangeMode mode, uint16_t* out);

    struct Impl;  // the scene's arrays (defined in scene.cpp)

private:
    void buildRoom();
    int width_;
    int height_;
    SceneParams params_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sim
}  // namespace Telmora
