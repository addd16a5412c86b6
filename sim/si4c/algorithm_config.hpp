// The processing parameters libsi4c takes from ConfigAlgorithm.json.
#pragma once

namespace si4c {

constexpr int kMaxDenoiseLevel = 5;

struct AlgorithmConfig {
    int valid_dist_min = 0;     // mm
    int valid_dist_max = 7000;  // mm
    int spatial_depth = 3;      // SDenoiseLevel_Depth
    int temporal_depth = 3;     // TDenoiseLevel_Depth
    int spatial_gray = 1;       // SDenoiseLevel_Gray
    int temporal_gray = 1;      // TDenoiseLevel_Gray
};

// Reads the "key=value" lines of `path` into `config`, leaving keys the file does not set
// at their current values. Levels are clamped to 0..kMaxDenoiseLevel; a value that is not
// an integer is skipped with one line on stderr. False when the file cannot be read.
bool loadAlgorithmConfig(const char* path, AlgorithmConfig& config);

}  // namespace si4c
