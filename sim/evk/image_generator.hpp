// What the software USB camera puts in its images. A generator renders one capture (a fixed
// number of images of one size) at a time; the camera paces, stamps, numbers and hands out the
// images. New sensor layouts plug in as further generators (makeGenerator picks one from the
// configuration).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "evk_config.hpp"
#include "scene/scene.hpp"

namespace Telmora {
namespace evk {

class ImageGenerator {
public:
    virtual ~ImageGenerator() = default;
    virtual int imagesPerCapture() const = 0;
    // Rows of one image as the camera reports them (the raw capture's lines for a VGA sensor).
    virtual uint32_t imageHeight() const = 0;
    // Bytes of one image: width * imageHeight() * (1 for 8 bits or fewer, else 2).
    virtual size_t imageBytes() const = 0;
    // Renders every image of capture `capture` (numbered from 0 at start) back to back into
    // `out` (imagesPerCapture() * imageBytes() bytes), for the sensor's current range mode.
    virtual void render(uint64_t capture, sim::RangeMode mode, uint8_t* out) = 0;
    // Ground truth of a capture (see TelmoraSimGroundTruth); false when there is none.
    virtual bool groundTruth(uint64_t capture, float* distance_mm, float* amplitude) = 0;
};

// Stores 12-bit codes as samples of `bits` bits: code >> (12 - bits) below 12 bits,
// code << (bits - 12) above; one byte per sample for 8 bits or fewer, else little-endian words.
void packCodes(const uint16_t* codes, size_t count, uint32_t bits, uint8_t* out);

// A time-of-flight scene seen by a four-phase sensor (the 240 x 180 HQVGA kind, at any size):
// four images per capture, the phase images of sim::Scene::renderPhases.
class PhaseGenerator : public ImageGenerator {
public:
    explicit PhaseGenerator(const EvkConfig& config);
    int imagesPerCapture() const override { return 4; }
    uint32_t imageHeight() const override { return static_cast<uint32_t>(scene_.height()); }
    size_t imageBytes() const override { return bytes_; }
    void render(uint64_t capture, sim::RangeMode mode, uint8_t* out) override;
    bool groundTruth(uint64_t capture, float* distance_mm, float* amplitude) override;

private:
    sim::Scene scene_;
    uint32_t bits_;
    size_t pixels_;
    size_t bytes_;
    std::vector<uint16_t> codes_;
};

// Test pattern: four images per capture; sample i of image m (m = 4 * capture + position,
// counted from 0 at start) is (i + 17 m) mod 2^bits, so every sample value of the configured
// width occurs.
class RampGenerator : public ImageGenerator {
public:
    explicit RampGenerator(const EvkConfig& config);
    int imagesPerCapture() const override { return 4; }
    uint32_t imageHeight() const override { return height_; }
    size_t imageBytes() const override { return bytes_; }
    void render(uint64_t capture, sim::RangeMode mode, uint8_t* out) override;
    bool groundTruth(uint64_t, float*, float*) override { return false; }

private:
    uint32_t height_;
    uint32_t bits_;
    size_t pixels_;
    size_t bytes_;
};

// A VGA-class sensor (640 x 480 or 320 x 240, 12-bit samples) seeing a scene: one image per
// capture, a whole depth-library raw capture of (height + 1) * 5 lines at one frequency or
// (height + 1) * 10 at two, carrying the capture number as its frame counter. The hardware
// range mode does not apply. Ground-truth amplitudes are the modulation amplitude in counts.
class VgaGenerator : public ImageGenerator {
public:
    explicit VgaGenerator(const EvkConfig& config);
    int imagesPerCapture() const override { return 1; }
    uint32_t imageHeight() const override { return raw_height_; }
    size_t imageBytes() const override { return words_.size() * 2; }
    void render(uint64_t capture, sim::RangeMode mode, uint8_t* out) override;
    bool groundTruth(uint64_t capture, float* distance_mm, float* amplitude) override;

private:
    sim::Scene scene_;
    bool two_frequencies_;
    // Exact samples of a still scene: every capture is the first with its frame counter
    // changed, so the capture is encoded once.
    bool still_;
    bool encoded_ = false;
    float ambient_;
    float noise_;
    uint64_t seed_;
    uint32_t raw_height_;
    std::vector<float> distance_;
    std::vector<float> amplitude_;
    std::vector<uint16_t> words_;
};

std::unique_ptr<ImageGenerator> makeGenerator(const EvkConfig& config);

}  // namespace evk
}  // namespace Telmora
