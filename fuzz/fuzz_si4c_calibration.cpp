// The depth library's calibration file. The first input byte chooses a small sensor size
// for the validator and whether to stamp the right checksum into the file, so the checks
// behind the checksum are reached as well; the rest is the file. The same file also goes
// to an engine of that size, as SiSDKSetCaliData hands it over.
#include <cmath>
#include <vector>

#include "depth_engine.hpp"
#include "fuzz_support.hpp"
#include "si4c_calibration.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    std::vector<uint8_t> file(data + 1, data + size);
    if ((mode & 1) != 0 && file.size() >= si4c::kCaliHeaderSize)
        si4c::detail::put32(&file[28], si4c::detail::fileCrc(file.data(), file.size()));
    const int width = 1 + ((mode >> 1) & 7);
    const int height = 1 + ((mode >> 4) & 7);

    std::vector<float> map(static_cast<size_t>(width) * height, 0.0f);
    float phase_a = 0, phase_b = 0;
    bool has_map = false;
    const char* error = si4c::readCalibration(file.data(), static_cast<uint32_t>(file.size()), width, height,
                                              phase_a, phase_b, map.data(), has_map);
    if (error == nullptr) {
        FUZZ_CHECK(std::fabs(phase_a) <= si4c::kCaliMaxPhase && std::fabs(phase_b) <= si4c::kCaliMaxPhase);
        if (has_map)
            for (float v : map) FUZZ_CHECK(std::fabs(v) <= si4c::kCaliMaxOffsetMm);
    }

    // The engine holds a map of its own size: it is sized like the validator's sensor.
    static si4c::DepthEngine engine;
    if (engine.width() != width || engine.height() != height) engine.init(width, height);
    const char* engine_error = engine.setCalibration(file.data(), static_cast<uint32_t>(file.size()));
    FUZZ_CHECK((engine_error == nullptr) == (error == nullptr));
    return 0;
}
