// Parser of the software camera's configuration file (format in README.md).
#include "evk_config.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Telmora {
namespace evk {

namespace {

bool toUnsigned(const std::string& s, uint64_t max, uint64_t& out) {
    if (s.empty() || s[0] == '-' || s[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno != 0 || end == s.c_str() || *end != '\0' || v > max) return false;
    out = v;
    return true;
}

bool toFloat(const std::string& s, double lo, double hi, float& out) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (errno != 0 || end == s.c_str() || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) {
        return false;
    }
    out = static_cast<float>(v);
    return true;
}

bool toBool(const std::string& s, bool& out) {
    if (s == "1" || s == "yes" || s == "on" || s == "true") {
        out = true;
    } else if (s == "0" || s == "no" || s == "off" || s == "false") {
        out = false;
    } else {
        return false;
    }
    return true;
}

// Applies one "key value..." line. Returns an empty string or what is wrong.
std::string applyLine(const std::vector<std::string>& w, EvkConfig& c) {
    const std::string& key = w[0];
    const size_t nargs = w.size() - 1;
    auto one = [&]() { return nargs == 1; };
    uint64_t u = 0;
    float f = 0;

    if (key == "sensor") {
        if (!one()) return "expected hqvga or vga";
        if (w[1] == "hqvga") {
            c.sensor = Sensor::Hqvga;
        } else if (w[1] == "vga") {
            c.sensor = Sensor::Vga;
        } else {
            return "expected hqvga or vga";
        }
    } else if (key == "freq_mode") {
        if (!one() || (w[1] != "single" && w[1] != "double")) return "expected single or double";
        c.two_frequencies = w[1] == "double";
    } else if (key == "width" || key == "height") {
        if (!one() || !toUnsigned(w[1], 4096, u) || u == 0) return "expected 1 .. 4096";
        (key == "width" ? c.width : c.height) = static_cast<uint32_t>(u);
    } else if (key == "bits") {
        if (!one() || !toUnsigned(w[1], 16, u) || u < 8) return "expected 8 .. 16";
        c.bits = static_cast<uint32_t>(u);
    } else if (key == "fps") {
        if (!one() || !toUnsigned(w[1], 1000, u)) return "expected 0 .. 1000";
        c.fps = static_cast<uint32_t>(u);
    } else if (key == "range") {
        if (!one()) return "expected 2m or 4m";
        if (w[1] == "2m" || w[1] == "2000") {
            c.range = sim::RangeMode::Range2m;
        } else if (w[1] == "4m" || w[1] == "4000") {
            c.range = sim::RangeMode::Range4m;
        } else {
            return "expected 2m or 4m";
        }
    } else if (key == "scene") {
        if (!one()) return "expected default, flat_wall or ramp";
        if (w[1] == "default") {
            c.pattern = Pattern::Scene;
            c.scene.kind = sim::SceneKind::Default;
        } else if (w[1] == "flat_wall") {
            c.pattern = Pattern::Scene;
            c.scene.kind = sim::SceneKind::FlatWall;
        } else if (w[1] == "ramp") {
            c.pattern = Pattern::Ramp;
        } else {
            return "expected default, flat_wall or ramp";
        }
    } else if (key == "wall_mm") {
        if (!one() || !toFloat(w[1], 1.0, 100000.0, f)) return "expected a distance 1 .. 100000";
        c.scene.wall_mm = f;
    } else if (key == "reflectivity") {
        if (!one() || !toFloat(w[1], 0.0, 1.0, f)) return "expected 0 .. 1";
        c.scene.reflectivity = f;
    } else if (key == "illumination") {
        if (!one() || !toFloat(w[1], 0.0, 1.0e6, f)) return "expected 0 .. 1000000";
        c.scene.illumination = f;
    } else if (key == "ambient") {
        if (!one() || !toFloat(w[1], -1024.0, 1023.0, f)) return "expected -1024 .. 1023";
        c.scene.ambient = f;
    } else if (key == "noise") {
        if (!one() || !toFloat(w[1], 0.0, 1024.0, f)) return "expected 0 .. 1024";
        c.scene.noise = f;
    } else if (key == "seed") {
        if (!one() || !toUnsigned(w[1], UINT64_MAX, u)) return "expected an unsigned number";
        c.scene.seed = u;
    } else if (key == "animate") {
        bool b = false;
        if (!one() || !toBool(w[1], b)) return "expected 0 or 1";
        c.scene.animate = b;
    } else if (key == "fail_open" || key == "fail_init" || key == "fail_start") {
        bool b = true;
        if (nargs > 1 || (nargs == 1 && !toBool(w[1], b))) return "expected nothing, 0 or 1";
        (key == "fail_open" ? c.fail_open : key == "fail_init" ? c.fail_init : c.fail_start) = b;
    } else if (key == "capture_fails_at" || key == "wrong_size_at") {
        if (nargs == 0) return "expected one or more call numbers (from 1)";
        for (size_t i = 1; i < w.size(); ++i) {
            if (!toUnsigned(w[i], UINT64_MAX, u) || u == 0) return "expected call numbers from 1";
            (key == "capture_fails_at" ? c.capture_fails_at : c.wrong_size_at).push_back(u);
        }
    } else if (key == "capture_fails_every") {
        if (!one() || !toUnsigned(w[1], UINT64_MAX, u) || u == 0) return "expected N from 1";
        c.capture_fails_every = u;
    } else if (key == "wrong_size_bytes") {
        if (!one() || !toUnsigned(w[1], 1u << 28, u)) return "expected a byte count";
        c.wrong_size_bytes = static_cast<int64_t>(u);
    } else if (key == "timestamp_gap_at") {
        uint64_t ms = 20;
        if (nargs < 1 || nargs > 2 || !toUnsigned(w[1], UINT64_MAX, u) || u == 0 ||
            (nargs == 2 && !toUnsigned(w[2], 1ull << 40, ms))) {
            return "expected a call number (from 1) and optionally milliseconds";
        }
        c.timestamp_gaps.emplace_back(u, ms);
    } else if (key == "timestamps") {
        if (nargs == 0) return "expected one or more timestamps";
        for (size_t i = 1; i < w.size(); ++i) {
            if (!toUnsigned(w[i], UINT64_MAX, u)) return "expected unsigned timestamps";
            c.timestamps.push_back(u);
        }
    } else {
        return "unknown key";
    }
    return std::string();
}

// Checks what single lines cannot: the keys a VGA-class sensor constrains. `size_given` tells
// whether the file set width or height. Returns an empty string or what is wrong.
std::string finish(EvkConfig& c, bool size_given) {
    if (c.sensor != Sensor::Vga) {
        if (c.two_frequencies) return "freq_mode double needs sensor vga";
        return std::string();
    }
    if (!size_given) {
        c.width = 640;
        c.height = 480;
    }
    const bool vga = c.width == 640 && c.height == 480;
    const bool qvga = c.width == 320 && c.height == 240;
    if (!vga && !qvga) {
        return "sensor vga needs 640 x 480 or 320 x 240, not " + std::to_string(c.width) + " x " +
               std::to_string(c.height);
    }
    // Fewer bits would lose the sub-frame index of the metadata line; more would carry nothing.
    if (c.bits != 12) return "sensor vga needs 12-bit samples, not bits " + std::to_string(c.bits);
    if (c.pattern == Pattern::Ramp) return "sensor vga has no ramp pattern";
    // Background light adds to every sample; a negative one would clip dark samples at 0.
    if (c.scene.ambient < 0.0f) return "sensor vga needs ambient 0 .. 1023";
    return std::string();
}

}  // namespace

bool parseConfig(const std::string& text, const std::string& name, EvkConfig& config,
                 std::string& error) {
    EvkConfig c = config;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    bool size_given = false;
    while (std::getline(in, line)) {
        ++number;
        std::string body = line.substr(0, line.find('#'));
        std::istringstream words(body);
        std::vector<std::string> w;
        for (std::string s; words >> s;) w.push_back(s);
        if (w.empty()) continue;
        size_given = size_given || w[0] == "width" || w[0] == "height";
        const std::string what = applyLine(w, c);
        if (!what.empty()) {
            std::string shown = line;
            while (!shown.empty() && (shown.back() == '\r' || shown.back() == ' ')) shown.pop_back();
            error = "telmora_evk_sdk: " + name + ":" + std::to_string(number) + ": " + what +
                    ": " + shown;
            return false;
        }
    }
    const std::string what = finish(c, size_given);
    if (!what.empty()) {
        error = "telmora_evk_sdk: " + name + ": " + what;
        return false;
    }
    config = c;
    return true;
}

namespace {

// More than any configuration needs; a character device such as /dev/zero never ends.
constexpr size_t kMaxConfigBytes = 1 << 20;

// The whole file, or false with errno set; a read error is not an empty file.
bool readWhole(int fd, std::string& text) {
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(chunk, static_cast<size_t>(n));
        if (text.size() > kMaxConfigBytes) {
            errno = EFBIG;
            return false;
        }
    }
}

}  // namespace

bool loadConfig(const std::string& path, EvkConfig& config, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    std::string text;
    int e = 0;
    if (fd < 0 || ::fstat(fd, &st) != 0) e = errno;
    else if (S_ISDIR(st.st_mode)) e = EISDIR;
    else if (!readWhole(fd, text)) e = errno;
    if (fd >= 0) ::close(fd);
    if (e != 0) {
        error = "telmora_evk_sdk: " + path + ": cannot read the configuration file (" + std::strerror(e) + ")";
        return false;
    }
    return parseConfig(text, path, config, error);
}

}  // namespace evk
}  // namespace Telmora
