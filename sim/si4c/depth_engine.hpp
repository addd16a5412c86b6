// Depth, amplitude and confidence from libsi4c raw captures (layout in si4c.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "algorithm_config.hpp"

namespace si4c {

// Capture words are read straight out of the caller's byte buffer.
typedef uint16_t __attribute__((may_alias)) RawWord;

class DepthEngine {
public:
    // Sizes every buffer for width x height output; nothing is allocated afterwards.
    // Drops the calibration.
    void init(int width, int height);
    bool initialised() const { return width_ > 0; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Takes calibration data in the format of si4c_calibration.hpp; null on success, or
    // the reason it was refused (the engine is then uncalibrated).
    const char* setCalibration(const void* data, uint32_t size);
    void clearCalibration();

    // Fixes the parameters and the frequency mode of the frames that follow and clears the
    // temporal filter.
    void start(const AlgorithmConfig& config, bool two_frequencies);
    bool started() const { return started_; }
    bool twoFrequencies() const { return two_freq_; }

    // One capture to the three planes. False when the metadata lines do not describe a
    // capture of the started mode (wrong sub-frame order, frequency, or a capture whose
    // sub-frames carry different frame counters).
    bool process(const RawWord* raw, float* depth, float* amplitude, float* confidence);

private:
    bool checkMetadata(const RawWord* raw) const;
    template <bool Two>
    void decodeRow(const RawWord* raw, int y, float* confidence);
    template <int R>
    void filterRows(float* depth, float* amplitude);
    size_t padded(int x, int y) const { return size_t(y + kPad) * pw_ + size_t(x + kPad); }

    static constexpr int kPad = 2;  // border of the padded planes: the 5 x 5 window's reach

    int width_ = 0;
    int height_ = 0;
    size_t pw_ = 0;  // padded row stride
    bool started_ = false;
    bool two_freq_ = false;
    AlgorithmConfig config_;

    float cal_phase_a_ = 0.0f;  // turns
    float cal_phase_b_ = 0.0f;
    std::vector<float> cal_map_;  // mm per pixel; zeros when uncalibrated

    std::vector<float> raw_depth_;  // padded; 0 = invalid
    std::vector<float> raw_amp_;    // padded
    std::vector<float> sigma_;      // expected depth noise per pixel, mm
    std::vector<float> prev_depth_;  // temporal state; 0 = none
    std::vector<float> prev_amp_;
};

}  // namespace si4c
