// Configuration of the software USB camera: the plain-text file format of README.md.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "scene/scene.hpp"

namespace Telmora {
namespace evk {

enum class Pattern {
    Scene,  // a time-of-flight scene rendered as four phase images per capture
    Ramp,   // test pattern: sample i of image m is (i + 17 m) mod 2^bits
};

enum class Sensor {
    Hqvga,  // four phase images per capture, of any size
    Vga,    // 640 x 480 or 320 x 240: one image per capture holding a whole depth-library
            // raw capture (layout in si4c/si4c.h), five or ten sub-frames
};

struct EvkConfig {
    Sensor sensor = Sensor::Hqvga;
    bool two_frequencies = false;  // Vga: ten sub-frames at two frequencies, else five at one
    uint32_t width = 240;          // Vga: the depth image size, not the raw capture's
    uint32_t height = 180;
    uint32_t bits = 12;  // bits per sample, 8 .. 16
    uint32_t fps = 30;   // captures per second; 0 = unpaced
    sim::RangeMode range = sim::RangeMode::Range4m;
    Pattern pattern = Pattern::Scene;
    sim::SceneParams scene;

    // Injected faults. Image calls are numbered from 1 at every start: call N is the Nth
    // TelmoraCaptureImage call that reaches an image (time-outs are not counted).
    bool fail_open = false;
    bool fail_init = false;
    bool fail_start = false;
    std::vector<uint64_t> capture_fails_at;
    uint64_t capture_fails_every = 0;
    std::vector<uint64_t> wrong_size_at;
    int64_t wrong_size_bytes = -1;  // -1: one row short
    std::vector<std::pair<uint64_t, uint64_t>> timestamp_gaps;  // (call, milliseconds added)
    std::vector<uint64_t> timestamps;  // explicit timestamps of calls 1, 2, ...
};

// Reads the configuration file at `path` into `config` (which holds the defaults on entry).
// On failure returns false with `error` set to one line naming the file and, for a parse error,
// the line number and the offending text.
bool loadConfig(const std::string& path, EvkConfig& config, std::string& error);

// Parses configuration text; `name` is used in the error line.
bool parseConfig(const std::string& text, const std::string& name, EvkConfig& config,
                 std::string& error);

}  // namespace evk
}  // namespace Telmora
