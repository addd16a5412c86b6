#include "algorithm_config.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace si4c {

namespace {

struct KeyBinding {
    const char* key;
    int AlgorithmConfig::*field;
    bool level;  // clamped to 0..kMaxDenoiseLevel
};

const KeyBinding kKeys[] = {
    {"ValidDistMin", &AlgorithmConfig::valid_dist_min, false},
    {"ValidDistMax", &AlgorithmConfig::valid_dist_max, false},
    {"SDenoiseLevel_Depth", &AlgorithmConfig::spatial_depth, true},
    {"TDenoiseLevel_Depth", &AlgorithmConfig::temporal_depth, true},
    {"SDenoiseLevel_Gray", &AlgorithmConfig::spatial_gray, true},
    {"TDenoiseLevel_Gray", &AlgorithmConfig::temporal_gray, true},
};

char* trim(char* s)
{
    while (*s == ' ' || *s == '\t') ++s;
    char* end = s + std::strlen(s);
    while (end > s && (end[-1] == '\n' || end[-1] == '\r' || end[-1] == ' ' || end[-1] == '\t'))
        *--end = '\0';
    return s;
}

bool parseInt(const char* text, int& out)
{
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < INT_MIN || v > INT_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

void applyLine(char* line, AlgorithmConfig& config)
{
    char* text = trim(line);
    if (text[0] == '\0' || text[0] == '[' || (text[0] == '/' && text[1] == '/')) return;
    char* eq = std::strchr(text, '=');
    if (eq == nullptr) return;
    *eq = '\0';
    const char* key = trim(text);
    const char* value = trim(eq + 1);
    for (const KeyBinding& b : kKeys) {
        if (std::strcmp(key, b.key) != 0) continue;
        int v = 0;
        if (!parseInt(value, v)) {
            std::fprintf(stderr, "si4c: ConfigAlgorithm.json: %s is not an integer, ignored\n", key);
            return;
        }
        config.*b.field = b.level ? std::clamp(v, 0, kMaxDenoiseLevel) : v;
        return;
    }
}

}  // namespace

bool loadAlgorithmConfig(const char* path, AlgorithmConfig& config)
{
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return false;
    char line[512];
    while (std::fgets(line, sizeof line, in) != nullptr) applyLine(line, config);
    std::fclose(in);
    return true;
}

}  // namespace si4c
