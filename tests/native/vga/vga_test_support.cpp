#include "vga_test_support.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "si4c_raw_encoder.hpp"

namespace vga_test {

ScratchDir::ScratchDir() : previous_(std::filesystem::current_path())
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "telmora_vga_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    std::filesystem::current_path(path_);
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int ScriptedSensor::setControl(Telmora::CameraCtrl ctrl, int32_t value)
{
    calls.push_back({"set", ctrl, value});
    auto it = set_result.find(ctrl);
    return it == set_result.end() ? 0 : it->second;
}

int ScriptedSensor::getControl(Telmora::CameraCtrl ctrl, int32_t* value)
{
    calls.push_back({"get", ctrl, 0});
    auto it = get_answer.find(ctrl);
    if (it == get_answer.end()) return Telmora::TelmoraNotImplemented;
    if (it->second.first == 0) *value = it->second.second;
    return it->second.first;
}


std::vector<uint16_t> wallCapture(int width, int height, bool two_frequencies, float distance_mm,
                                  float noise, uint32_t frame_counter)
{
    std::vector<float> distance(size_t(width) * size_t(height), distance_mm);
    std::vector<uint16_t> raw(si4c::rawWords(width, height, two_frequencies));
    si4c::RawEncoderFrame f;
    f.width = width;
    f.height = height;
    f.two_frequencies = two_frequencies;
    f.distance_mm = distance.data();
    f.noise = noise;
    f.frame_counter = frame_counter;
    si4c::encodeCapture(f, raw.data());
    return raw;
}

Stats planeStats(const Planes& p, int width, int height, float truth, int margin)
{
    Stats s;
    double sum = 0, sum2 = 0;
    for (int y = margin; y < height - margin; ++y) {
        for (int x = margin; x < width - margin; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            if (!(p.confidence[i] > 0.0f)) continue;
            ++s.valid;
            sum += p.depth[i];
            sum2 += double(p.depth[i]) * p.depth[i];
            s.max_abs_error = std::max(s.max_abs_error, std::fabs(double(p.depth[i]) - truth));
        }
    }
    if (s.valid == 0) return s;
    s.mean = sum / double(s.valid);
    s.stddev = std::sqrt(std::max(0.0, sum2 / double(s.valid) - s.mean * s.mean));
    return s;
}

namespace {
bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

int openDescriptorsOf(const std::string& name)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && endsWith(target.string(), "/" + name)) ++count;
    }
    return count;
}

int mappingsOf(const std::string& name)
{
    std::istringstream lines(readFile("/proc/self/maps"));
    int count = 0;
    for (std::string line; std::getline(lines, line);)
        if (endsWith(line, "/" + name)) ++count;
    return count;
}

}  // namespace vga_test
