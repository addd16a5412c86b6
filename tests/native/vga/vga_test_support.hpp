// Helpers for the VGA device tests: a scratch working directory, a sensor that records
// what the device asks of it, and captures made with the libsi4c encoder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sensor/tof_sensor.hpp"

namespace vga_test {

// Makes a fresh directory, enters it, and on destruction returns and removes it.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// A sensor whose control results are scripted and whose calls are recorded in order.
class ScriptedSensor final : public Telmora::TelmoraTOFSensor {
public:
    struct Call {
        std::string op;  // "set" or "get"
        Telmora::CameraCtrl ctrl;
        int32_t value;
    };

    int open(Telmora::CameraInfo&) override { return 0; }
    int close() override { return 0; }
    int start() override { return 0; }
    int stop() override { return 0; }
    Telmora::CameraInfo getCameraInfo() override { return {}; }
    int getFrame(uint8_t*, uint64_t*) override { return -1; }
    int setControl(Telmora::CameraCtrl ctrl, int32_t value) override;
    int getControl(Telmora::CameraCtrl ctrl, int32_t* value) override;

    std::map<Telmora::CameraCtrl, int> set_result;  // absent: 0
    std::map<Telmora::CameraCtrl, std::pair<int, int32_t>> get_answer;  // result, value; absent: 4
    std::vector<Call> calls;
};

}  // namespace vga_test

namespace vga_test {

// One encoder-made capture of a flat wall at `distance_mm`.
std::vector<uint16_t> wallCapture(int width, int height, bool two_frequencies, float distance_mm,
                                  float noise = 0.0f, uint32_t frame_counter = 0);

// Depth, amplitude and confidence planes of one output frame.
struct Planes {
    explicit Planes(size_t pixels) : depth(pixels), amplitude(pixels), confidence(pixels) {}
    std::vector<float> depth, amplitude, confidence;
};

struct Stats {
    double mean = 0;
    double stddev = 0;
    double max_abs_error = 0;  // against the truth given to planeStats
    size_t valid = 0;          // pixels with confidence > 0
};

// Statistics of the valid depth pixels at least `margin` pixels inside the border.
Stats planeStats(const Planes& p, int width, int height, float truth, int margin = 0);

// Open descriptors and mappings of this process whose file name ends in `name`.
int openDescriptorsOf(const std::string& name);
int mappingsOf(const std::string& name);

}  // namespace vga_test
