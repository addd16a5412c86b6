// The calibration file format of libsi4c ("cali.bin"), with a writer and a validator.
// Header-only: tools and tests write files without linking the library.
//
// All fields little-endian.
//   offset  size  field
//   0       4     magic "S4CB"
//   4       2     version (1)
//   6       2     header size in bytes (32)
//   8       2     map width  (0 without a map)
//   10      2     map height (0 without a map)
//   12      4     flags: bit 0 = per-pixel depth correction map follows the header
//   16      4     phase correction at frequency A, float32 radians, |x| <= 2 pi
//   20      4     phase correction at frequency B, float32 radians, |x| <= 2 pi
//   24      4     reserved, 0
//   28      4     CRC-32 (IEEE) of bytes 0..27 followed by the map
//   32      ...   map: width x height float32 millimetres, row-major, |x| <= 10000
// The phase corrections are added to the measured phase of each frequency before the
// depth is computed; the map is added to the depth of each pixel afterwards.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace si4c {

constexpr char kCaliMagic[4] = {'S', '4', 'C', 'B'};
constexpr uint16_t kCaliVersion = 1;
constexpr uint32_t kCaliHeaderSize = 32;
constexpr uint32_t kCaliFlagMap = 1u;
constexpr float kCaliMaxPhase = 6.2831853f;
constexpr float kCaliMaxOffsetMm = 10000.0f;

struct Calibration {
    float phase_a = 0.0f;
    float phase_b = 0.0f;
    int map_width = 0;  // 0: no map
    int map_height = 0;
    std::vector<float> map_mm;  // map_width x map_height when present
};

inline uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t size)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

namespace detail {
inline void put16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void putF(uint8_t* p, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(p, v);
}
inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline float getF(const uint8_t* p)
{
    uint32_t v = get32(p);
    float f;
    std::memcpy(&f, &v, 4);
    return f;
}
inline uint32_t fileCrc(const uint8_t* file, size_t size)
{
    uint32_t crc = crc32Update(0, file, 28);
    return crc32Update(crc, file + kCaliHeaderSize, size - kCaliHeaderSize);
}
}  // namespace detail

// The bytes of a calibration file.
inline std::vector<uint8_t> writeCalibration(const Calibration& cal)
{
    const bool has_map = cal.map_width > 0 && cal.map_height > 0;
    const size_t pixels = has_map ? size_t(cal.map_width) * size_t(cal.map_height) : 0;
    std::vector<uint8_t> out(kCaliHeaderSize + pixels * 4, 0);
    std::memcpy(out.data(), kCaliMagic, 4);
    detail::put16(&out[4], kCaliVersion);
    detail::put16(&out[6], uint16_t(kCaliHeaderSize));
    detail::put16(&out[8], uint16_t(has_map ? cal.map_width : 0));
    detail::put16(&out[10], uint16_t(has_map ? cal.map_height : 0));
    detail::put32(&out[12], has_map ? kCaliFlagMap : 0u);
    detail::putF(&out[16], cal.phase_a);
    detail::putF(&out[20], cal.phase_b);
    for (size_t i = 0; i < pixels && i < cal.map_mm.size(); ++i)
        detail::putF(&out[kCaliHeaderSize + 4 * i], cal.map_mm[i]);
    detail::put32(&out[28], detail::fileCrc(out.data(), out.size()));
    return out;
}

// Checks `data` for a calibration of a width x height sensor. On success fills the phase
// corrections and, when the file carries a map, copies it into `map_out` (width x height
// floats, which the caller provides) and sets `has_map`. On failure returns a short reason
// and leaves the outputs in an unspecified state.
inline const char* readCalibration(const void* data, uint32_t size, int width, int height,
                                   float& phase_a, float& phase_b, float* map_out, bool& has_map)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (p == nullptr) return "no data";
    if (size < kCaliHeaderSize) return "too short";
    if (std::memcmp(p, kCaliMagic, 4) != 0) return "bad magic";
    if (detail::get16(p + 4) != kCaliVersion) return "unsupported version";
    if (detail::get16(p + 6) != kCaliHeaderSize) return "bad header size";
    const uint32_t flags = detail::get32(p + 12);
    if ((flags & ~kCaliFlagMap) != 0) return "unknown flags";
    has_map = (flags & kCaliFlagMap) != 0;
    const int mw = detail::get16(p + 8), mh = detail::get16(p + 10);
    const size_t pixels = size_t(width) * size_t(height);
    if (has_map && (mw != width || mh != height)) return "map size differs from the sensor";
    if (!has_map && (mw != 0 || mh != 0)) return "map size without a map";
    if (size != kCaliHeaderSize + (has_map ? pixels * 4 : 0)) return "size mismatch";
    if (detail::get32(p + 28) != detail::fileCrc(p, size)) return "checksum mismatch";
    phase_a = detail::getF(p + 16);
    phase_b = detail::getF(p + 20);
    if (!(std::fabs(phase_a) <= kCaliMaxPhase) || !(std::fabs(phase_b) <= kCaliMaxPhase))
        return "phase correction out of range";
    if (!has_map) return nullptr;
    for (size_t i = 0; i < pixels; ++i) {
        const float v = detail::getF(p + kCaliHeaderSize + 4 * i);
        if (!(std::fabs(v) <= kCaliMaxOffsetMm)) return "map value out of range";
        map_out[i] = v;
    }
    return nullptr;
}

}  // namespace si4c
