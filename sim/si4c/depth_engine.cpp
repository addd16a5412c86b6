#include "depth_engine.hpp"

#include <algorithm>
#include <cmath>

#include "si4c.h"
#include "si4c_calibration.hpp"

namespace si4c {

namespace {

constexpr double kC = 299792458.0e3;  // mm/s
constexpr double kPiD = 3.14159265358979323846;
constexpr float kRangeA = float(kC / (2.0 * SI4C_FREQ_A_CODE * 1.0e5));  // 1249.1 mm
constexpr float kRangeB = float(kC / (2.0 * SI4C_FREQ_B_CODE * 1.0e5));  // 1499.0 mm
// Depth noise per unit of 1/SNR: a 4-phase measurement has a phase noise of
// sigma / (sqrt 2 * A) radians.
constexpr float kSigmaA = float(kRangeA / (2.0 * kPiD * 1.41421356237));
constexpr float kSigmaB = float(kRangeB / (2.0 * kPiD * 1.41421356237));

// Sensor noise model, in counts: read noise plus shot noise of the collected light.
constexpr float kReadVar = 4.0f;
constexpr float kShotGain = 1.0f;
constexpr float kSnrMin2 = 9.0f;     // below an SNR of 3 a pixel is too weak
constexpr float kSnrHalf2 = 100.0f;  // confidence 0.5 at an SNR of 10
constexpr float kSnrFloor2 = 1.0e-6f;
constexpr float kSaturated = float(SI4C_SAMPLE_MAX);
constexpr float kMotionSigmas = 3.0f;  // larger frame-to-frame changes restart the average

// atan on [0, 1] in turns (radians / 2 pi): odd minimax polynomial, error below 2e-6 turns.
constexpr float kInv2Pi = float(1.0 / (2.0 * kPiD));
constexpr float kAt1 = 0.99997726f * kInv2Pi;
constexpr float kAt3 = -0.33262347f * kInv2Pi;
constexpr float kAt5 = 0.19354346f * kInv2Pi;
constexpr float kAt7 = -0.11643287f * kInv2Pi;
constexpr float kAt9 = 0.05265332f * kInv2Pi;
constexpr float kAt11 = -0.01172120f * kInv2Pi;

// Phase angle of (x, y) in turns, in [0, 1). Branch-free so that loops vectorise.
inline float atanTurns(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float mx = std::max(ax, ay), mn = std::min(ax, ay);
    const float t = mn / std::max(mx, 1.0e-30f);
    const float t2 = t * t;
    float r = t * (kAt1 + t2 * (kAt3 + t2 * (kAt5 + t2 * (kAt7 + t2 * (kAt9 + t2 * kAt11)))));
    r = ay > ax ? 0.25f - r : r;
    r = x < 0.0f ? 0.5f - r : r;
    r = y < 0.0f ? 1.0f - r : r;
    return r >= 1.0f ? r - 1.0f : r;
}

// Back into [0, 1) after a correction of at most one turn either way.
inline float wrapTurn(float t)
{
    t = t < 0.0f ? t + 1.0f : t;
    return t >= 1.0f ? t - 1.0f : t;
}

// Round to nearest for |v| < 2^22 by the float-addition trick; plain float arithmetic
// keeps the loops vectorisable where integer conversions and rounding calls do not.
constexpr float kRoundMagic = 12582912.0f;  // 1.5 * 2^23
inline float roundNearest(float v) { return (v + kRoundMagic) - kRoundMagic; }
inline float floorSmall(float v)
{
    const float r = roundNearest(v);
    return r > v ? r - 1.0f : r;
}
// 1 where `c` holds, else 0: masks as floats blend without branches.
inline float mask(bool c) { return c ? 1.0f : 0.0f; }

inline float sample(RawWord w) { return float(w & 0x0FFFu); }

struct Phasor {
    float turns;  // phase, [0, 1)
    float amp2;   // squared modulation amplitude
    float snr2;   // squared amplitude over the expected sample noise
    float peak;   // largest sample, for saturation
};

inline Phasor phasor(float s0, float s1, float s2, float s3, float ambient, float correction)
{
    const float i = s0 - s2, q = s1 - s3;
    const float amp2 = 0.25f * (i * i + q * q);
    const float mean = 0.25f * (s0 + s1 + s2 + s3);
    const float var = kReadVar + kShotGain * std::max(mean - float(SI4C_BLACK_LEVEL), 0.0f);
    const float peak = std::max(std::max(std::max(s0, s1), std::max(s2, s3)), ambient);
    return {wrapTurn(atanTurns(q, i) + correction), amp2, std::max(amp2 / var, kSnrFloor2), peak};
}

}  // namespace

void DepthEngine::init(int width, int height)
{
    width_ = width;
    height_ = height;
    pw_ = size_t(width) + 2 * kPad;
    const size_t pixels = size_t(width) * size_t(height);
    const size_t padded_pixels = pw_ * (size_t(height) + 2 * kPad);
    raw_depth_.assign(padded_pixels, 0.0f);
    raw_amp_.assign(padded_pixels, 0.0f);
    sigma_.assign(pixels, 0.0f);
    prev_depth_.assign(pixels, 0.0f);
    prev_amp_.assign(pixels, 0.0f);
    cal_map_.assign(pixels, 0.0f);
    clearCalibration();
    started_ = false;
}

void DepthEngine::clearCalibration()
{
    cal_phase_a_ = 0.0f;
    cal_phase_b_ = 0.0f;
    std::fill(cal_map_.begin(), cal_map_.end(), 0.0f);
}

const char* DepthEngine::setCalibration(const void* data, uint32_t size)
{
    float phase_a = 0.0f, phase_b = 0.0f;
    bool has_map = false;
    const char* error =
        readCalibration(data, size, width_, height_, phase_a, phase_b, cal_map_.data(), has_map);
    if (error != nullptr) {
        clearCalibration();
        return error;
    }
    if (!has_map) std::fill(cal_map_.begin(), cal_map_.end(), 0.0f);
    cal_phase_a_ = phase_a * kInv2Pi;
    cal_phase_b_ = phase_b * kInv2Pi;
    return nullptr;
}

void DepthEngine::start(const AlgorithmConfig& config, bool two_frequencies)
{
    config_ = config;
    two_freq_ = two_frequencies;
    std::fill(prev_depth_.begin(), prev_depth_.end(), 0.0f);
    std::fill(prev_amp_.begin(), prev_amp_.end(), 0.0f);
    started_ = true;
}

bool DepthEngine::checkMetadata(const RawWord* raw) const
{
    const size_t sub = size_t(width_) * size_t(height_ + 1);
    const int count = two_freq_ ? 2 * SI4C_SUBFRAMES_PER_FREQ : SI4C_SUBFRAMES_PER_FREQ;
    const uint32_t counter = (raw[2] & 0xFFFu) | ((raw[3] & 0xFFFu) << 12);
    for (int s = 0; s < count; ++s) {
        const RawWord* meta = raw + sub * size_t(s);
        const int freq = s < SI4C_SUBFRAMES_PER_FREQ ? SI4C_FREQ_A_CODE : SI4C_FREQ_B_CODE;
        if ((meta[0] & 0xFFFu) != unsigned(s) || (meta[1] & 0xFFFu) != unsigned(freq)) return false;
        if (((meta[2] & 0xFFFu) | ((meta[3] & 0xFFFu) << 12)) != counter) return false;
    }
    return true;
}

template <bool Two>
void DepthEngine::decodeRow(const RawWord* raw, int y, float* confidence)
{
    const int w = width_;
    const size_t sub = size_t(w) * size_t(height_ + 1);
    const RawWord* __restrict a0 = raw + size_t(w) * size_t(y + 1);
    const RawWord* __restrict a1 = a0 + sub;
    const RawWord* __restrict a2 = a0 + 2 * sub;
    const RawWord* __restrict a3 = a0 + 3 * sub;
    const RawWord* __restrict ag = a0 + 4 * sub;
    const RawWord* __restrict b0 = Two ? a0 + 5 * sub : a0;
    const RawWord* __restrict b1 = Two ? a0 + 6 * sub : a0;
    const RawWord* __restrict b2 = Two ? a0 + 7 * sub : a0;
    const RawWord* __restrict b3 = Two ? a0 + 8 * sub : a0;
    const RawWord* __restrict bg = Two ? a0 + 9 * sub : a0;
    float* __restrict rd = raw_depth_.data() + padded(0, y);
    float* __restrict ra = raw_amp_.data() + padded(0, y);
    float* __restrict sg = sigma_.data() + size_t(y) * w;
    float* __restrict cf = confidence + size_t(y) * w;
    const float* __restrict map = cal_map_.data() + size_t(y) * w;
    const float dmin = float(config_.valid_dist_min), dmax = float(config_.valid_dist_max);
    const float corr_a = cal_phase_a_, corr_b = cal_phase_b_;

    // Rows of different planes never overlap.
#pragma GCC ivdep
    for (int x = 0; x < w; ++x) {
        const Phasor pa = phasor(sample(a0[x]), sample(a1[x]), sample(a2[x]), sample(a3[x]),
                                 sample(ag[x]), corr_a);
        float d, amp, snr2, inv_var_d, peak;
        if constexpr (Two) {
            const Phasor pb = phasor(sample(b0[x]), sample(b1[x]), sample(b2[x]), sample(b3[x]),
                                     sample(bg[x]), corr_b);
            // A (120 MHz) wraps 6 times and B (100 MHz) 5 times over the 7495 mm of the
            // pair: 5 tA - 6 tB = 6 nB - 5 nA picks the wrap counts.
            const float m = roundNearest(5.0f * pa.turns - 6.0f * pb.turns);
            const float na = m - 6.0f * floorSmall((m + 0.5f) / 6.0f);
            const float nb = (m + 5.0f * na) / 6.0f;
            const float wa = pa.snr2 / (kSigmaA * kSigmaA), wb = pb.snr2 / (kSigmaB * kSigmaB);
            inv_var_d = wa + wb;
            d = (wa * (pa.turns + na) * kRangeA + wb * (pb.turns + nb) * kRangeB) / inv_var_d;
            amp = 0.5f * (std::sqrt(pa.amp2) + std::sqrt(pb.amp2));
            snr2 = std::min(pa.snr2, pb.snr2);
            peak = std::max(pa.peak, pb.peak);
        } else {
            inv_var_d = pa.snr2 / (kSigmaA * kSigmaA);
            d = pa.turns * kRangeA;
            amp = std::sqrt(pa.amp2);
            snr2 = pa.snr2;
            peak = pa.peak;
        }
        d += map[x];
        const float valid = mask(peak < kSaturated) * mask(snr2 >= kSnrMin2) * mask(d > 0.0f) *
                            mask(d >= dmin) * mask(d <= dmax);
        rd[x] = valid * d;
        ra[x] = amp;
        sg[x] = 1.0f / std::sqrt(inv_var_d);
        cf[x] = valid * (snr2 / (snr2 + kSnrHalf2));
    }
}

template <int R>
void DepthEngine::filterRows(float* depth, float* amplitude)
{
    const int w = width_;
    const int s_depth = config_.spatial_depth, s_gray = config_.spatial_gray;
    // The range kernel widens with the level; the gray plane borrows the depth weights so
    // that amplitude edges follow depth edges.
    const float reach = 1.0f + float(s_depth > 0 ? s_depth : s_gray);
    // Share of the previous average kept: level / (level + 1); level 0 keeps nothing.
    const float keep_d = float(config_.temporal_depth) / (1.0f + float(config_.temporal_depth));
    const float keep_g = float(config_.temporal_gray) / (1.0f + float(config_.temporal_gray));
    const float sd_on = mask(s_depth > 0), sg_on = mask(s_gray > 0);
    const ptrdiff_t stride = ptrdiff_t(pw_);

    for (int y = 0; y < height_; ++y) {
        const float* __restrict rd = raw_depth_.data() + padded(0, y);
        const float* __restrict ra = raw_amp_.data() + padded(0, y);
        const float* __restrict sg = sigma_.data() + size_t(y) * w;
        float* __restrict pd = prev_depth_.data() + size_t(y) * w;
        float* __restrict pa = prev_amp_.data() + size_t(y) * w;
        float* __restrict od = depth + size_t(y) * w;
        float* __restrict oa = amplitude + size_t(y) * w;
#pragma GCC ivdep
        for (int x = 0; x < w; ++x) {
            const float c = rd[x];
            const float h = reach * sg[x];
            const float inv_h2 = 1.0f / std::max(h * h, 1.0e-12f);
            float sum_w = 0.0f, sum_d = 0.0f, sum_a = 0.0f;
#pragma GCC unroll 5
            for (int dy = -R; dy <= R; ++dy) {
#pragma GCC unroll 5
                for (int dx = -R; dx <= R; ++dx) {
                    const ptrdiff_t j = x + dx + dy * stride;
                    const float dj = rd[j];
                    const float diff = dj - c;
                    const float wt = mask(dj > 0.0f) * std::max(0.0f, 1.0f - diff * diff * inv_h2);
                    sum_w += wt;
                    sum_d += wt * dj;
                    sum_a += wt * ra[j];
                }
            }
            const float valid = mask(c > 0.0f);
            const float inv_w = 1.0f / std::max(sum_w, 1.0e-12f);
            const float sd = c + valid * sd_on * (sum_d * inv_w - c);  // c is 0 when invalid
            const float sa = ra[x] + valid * sg_on * (sum_a * inv_w - ra[x]);
            // Temporal: a running average that restarts wherever the depth moved by more
            // than the noise explains, so moving edges are not dragged along.
            const float prev = pd[x];
            const float keep =
                valid * mask(prev > 0.0f) * mask(std::fabs(sd - prev) <= kMotionSigmas * sg[x]);
            const float td = sd + keep * keep_d * (prev - sd);
            const float ta = sa + keep * keep_g * (pa[x] - sa);
            pd[x] = td;
            pa[x] = ta;
            od[x] = td;
            oa[x] = ta;
        }
    }
}

bool DepthEngine::process(const RawWord* raw, float* depth, float* amplitude, float* confidence)
{
    if (!started_ || !checkMetadata(raw)) return false;
    for (int y = 0; y < height_; ++y) {
        if (two_freq_)
            decodeRow<true>(raw, y, confidence);
        else
            decodeRow<false>(raw, y, confidence);
    }
    const int level = std::max(config_.spatial_depth, config_.spatial_gray);
    if (level == 0)
        filterRows<0>(depth, amplitude);
    else if (level < 4)
        filterRows<1>(depth, amplitude);
    else
        filterRows<2>(depth, amplitude);
    return true;
}

}  // namespace si4c
