// Whole-frame HQVGA kernels: the scalar reference (the oracle) and the vectorised fast path
// that reproduces it bit for bit, chosen once per process for the processor it runs on.
//
// The fast path computes the arc tangent in double with a polynomial whose error is far below
// the float rounding step. Only when the approximation lies too close to a float rounding
// boundary to decide the rounding does a pixel take the reference's double atan2, so depth,
// amplitude and confidence match the reference exactly for every input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Telmora {
namespace hqvga {

// What a frame's arithmetic depends on, read once at the start of the frame.
struct PhaseParams {
    bool range2000;  // theta = atan2(P1 - P3, P2 - P0) instead of atan2(P2 - P0, P3 - P1)
    float scale;     // depthScale(modulation frequency)
    uint8_t shift;   // sample shift before decoding
};

// Depth, amplitude and confidence of `n` pixels. Phase frame k starts at word k * stride of
// `cache` (little-endian 16-bit words); a capture has stride kPixels and n = kPixels. Returns
// the number of pixels that needed the reference arc tangent (always 0 for the reference).
using PhaseKernel = size_t (*)(const uint8_t* cache, size_t stride, size_t n,
                               const PhaseParams& params, float* depth, float* amplitude,
                               float* confidence);
// The 240 x 720 interleaved raw image of a capture (see TelmoraDeviceHQVGA::getRawImages).
using RawKernel = void (*)(const uint8_t* cache, uint8_t shift, int16_t* raw);

struct Kernels {
    const char* name;
    PhaseKernel phase;
    RawKernel raw;
};

// The scalar reference, pixel by pixel with hqvga::decodeSample and hqvga::pixelDepth.
size_t phaseReference(const uint8_t* cache, size_t stride, size_t n, const PhaseParams& params,
                      float* depth, float* amplitude, float* confidence);
void rawReference(const uint8_t* cache, uint8_t shift, int16_t* raw);
extern const Kernels kReferenceKernels;

// Every fast variant this processor can run, best first; the list is never empty (a generic
// variant runs anywhere). `count` receives the number of entries.
const Kernels* fastKernels(size_t* count);
// The variant the device uses: the first of fastKernels(), chosen on first use.
const Kernels& bestKernels();

// theta of pixel i exactly as the reference computes it: float(atan2) in double of the pixel's
// differences. Out of line so that every variant falls back to the same code.
float thetaOfPixel(const uint8_t* cache, size_t stride, size_t i, const PhaseParams& params);

}  // namespace hqvga
}  // namespace Telmora
