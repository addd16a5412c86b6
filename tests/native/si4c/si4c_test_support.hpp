// Helpers for the libsi4c tests: an instance started with a given configuration, and
// captures made with the encoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "si4c_raw_encoder.hpp"

namespace si4c_test {

// A directory under the system's temporary directory, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Filters off, valid range 0..7000: the raw measurement.
extern const char* const kNoFilters;

// One library instance, destroyed with the object.
class Instance {
public:
    Instance();
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    // Init, optional calibration, configuration `config` (ConfigAlgorithm.json text), mode,
    // Start. False when any step fails.
    bool start(int width, int height, bool two, const std::string& config = kNoFilters,
               const std::vector<uint8_t>& calibration = {});
    // Runs one capture; false when the library refuses it.
    bool run(const std::vector<uint16_t>& raw);

    void* handle = nullptr;
    int width = 0, height = 0;
    std::vector<float> depth, amplitude, confidence;

private:
    TempDir config_dir_;
};

// A capture of per-pixel distances (or a flat wall) with uniform amplitude and ambient.
std::vector<uint16_t> capture(int width, int height, bool two, const std::vector<float>& distance,
                              float amplitude = 400.0f, float ambient = 100.0f, float noise = 0.0f,
                              uint32_t counter = 0);
std::vector<uint16_t> wall(int width, int height, bool two, float distance, float noise = 0.0f,
                           uint32_t counter = 0);

double mean(const std::vector<float>& v);
double stddev(const std::vector<float>& v);

}  // namespace si4c_test
