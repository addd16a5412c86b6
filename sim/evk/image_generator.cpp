// Image generators of the software USB camera.
#include "image_generator.hpp"

#include <cstring>

#include "si4c/si4c_raw_encoder.hpp"

namespace Telmora {
namespace evk {

namespace {
size_t bytesPerSample(uint32_t bits) { return bits <= 8 ? 1 : 2; }
}  // namespace

void packCodes(const uint16_t* codes, size_t count, uint32_t bits, uint8_t* out) {
    if (bits <= 8) {
        const unsigned shift = 12 - bits;
        for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(codes[i] >> shift);
        return;
    }
    if (bits == 12) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(out, codes, count * 2);
        return;
#endif
        for (size_t i = 0; i < count; ++i) {
            out[2 * i] = static_cast<uint8_t>(codes[i]);
            out[2 * i + 1] = static_cast<uint8_t>(codes[i] >> 8);
        }
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const uint16_t w = bits < 12 ? static_cast<uint16_t>(codes[i] >> (12 - bits))
                                     : static_cast<uint16_t>(codes[i] << (bits - 12));
        out[2 * i] = static_cast<uint8_t>(w);
        out[2 * i + 1] = static_cast<uint8_t>(w >> 8);
    }
}

PhaseGenerator::PhaseGenerator(const EvkConfig& config)
    : scene_(static_cast<int>(config.width), static_cast<int>(config.height), config.scene),
      bits_(config.bits),
      pixels_(static_cast<size_t>(config.width) * config.height),
      bytes_(pixels_ * bytesPerSample(config.bits)),
      codes_(pixels_ * 4) {}

void PhaseGenerator::render(uint64_t capture, sim::RangeMode mode, uint8_t* out) {
    scene_.renderPhases(capture, mode, codes_.data());
    packCodes(codes_.data(), codes_.size(), bits_, out);
}

bool PhaseGenerator::groundTruth(uint64_t capture, float* distance_mm, float* amplitude) {
    scene_.groundTruth(capture, distance_mm, amplitude);
    return true;
}

RampGenerator::RampGenerator(const EvkConfig& config)
    : height_(config.height),
      bits_(config.bits),
      pixels_(static_cast<size_t>(config.width) * config.height),
      bytes_(pixels_ * bytesPerSample(config.bits)) {}

void RampGenerator::render(uint64_t capture, sim::RangeMode, uint8_t* out) {
    const uint32_t mask = (1u << bits_) - 1;
    for (int j = 0; j < 4; ++j) {
        const uint64_t m = capture * 4 + static_cast<uint64_t>(j);
        uint8_t* img = out + bytes_ * static_cast<size_t>(j);
        for (size_t i = 0; i < pixels_; ++i) {
            const uint32_t v = static_cast<uint32_t>((i + 17 * m) & mask);
            if (bits_ <= 8) {
                img[i] = static_cast<uint8_t>(v);
            } else {
                img[2 * i] = static_cast<uint8_t>(v);
                img[2 * i + 1] = static_cast<uint8_t>(v >> 8);
            }
        }
    }
}

namespace {
// The scene's amplitude is the HQVGA device's (16 per code unit); the depth library reports
// the modulation amplitude in counts.
constexpr float kHqvgaAmplitudeScale = 16.0f;
}  // namespace

VgaGenerator::VgaGenerator(const EvkConfig& config)
    : scene_(static_cast<int>(config.width), static_cast<int>(config.height), config.scene),
      two_frequencies_(config.two_frequencies),
      still_(config.scene.noise <= 0.0f &&
             (config.scene.kind == sim::SceneKind::FlatWall || !config.scene.animate)),
      ambient_(config.scene.ambient),
      noise_(config.scene.noise),
      seed_(config.scene.seed),
      raw_height_(static_cast<uint32_t>(si4c::rawHeight(static_cast<int>(config.height),
                                                        config.two_frequencies))),
      distance_(static_cast<size_t>(config.width) * config.height),
      amplitude_(distance_.size()),
      words_(si4c::rawWords(static_cast<int>(config.width), static_cast<int>(config.height),
                            config.two_frequencies)) {}

void VgaGenerator::render(uint64_t capture, sim::RangeMode, uint8_t* out) {
    const uint32_t counter = static_cast<uint32_t>(capture);
    const int width = scene_.width(), height = scene_.height();
    if (still_ && encoded_) {
        // Only the frame counter (metadata words 2 and 3 of every sub-frame) changes.
        const size_t sub_words = static_cast<size_t>(width) * static_cast<size_t>(height + 1);
        const int subs = si4c::subFrames(two_frequencies_);
        for (int k = 0; k < subs; ++k) {
            uint16_t* meta = words_.data() + sub_words * static_cast<size_t>(k);
            meta[2] = static_cast<uint16_t>(counter & 0xFFFu);
            meta[3] = static_cast<uint16_t>((counter >> 12) & 0xFFFu);
        }
    } else {
        groundTruth(capture, distance_.data(), amplitude_.data());
        si4c::RawEncoderFrame f;
        f.width = width;
        f.height = height;
        f.two_frequencies = two_frequencies_;
        f.distance_mm = distance_.data();
        f.amplitude = amplitude_.data();
        f.ambient_uniform = ambient_;
        f.noise = noise_;
        f.frame_counter = counter;
        f.noise_seed = seed_;
        si4c::encodeCapture(f, words_.data());
        encoded_ = true;
    }
    packCodes(words_.data(), words_.size(), 12, out);
}

bool VgaGenerator::groundTruth(uint64_t capture, float* distance_mm, float* amplitude) {
    scene_.groundTruth(capture, distance_mm, amplitude);
    if (amplitude) {
        for (size_t i = 0; i < distance_.size(); ++i) amplitude[i] /= kHqvgaAmplitudeScale;
    }
    return true;
}

std::unique_ptr<ImageGenerator> makeGenerator(const EvkConfig& config) {
    if (config.sensor == Sensor::Vga) return std::unique_ptr<ImageGenerator>(new VgaGenerator(config));
    if (config.pattern == Pattern::Ramp) return std::unique_ptr<ImageGenerator>(new RampGenerator(config));
    return std::unique_ptr<ImageGenerator>(new PhaseGenerator(config));
}

}  // namespace evk
}  // namespace Telmora
