// The HQVGA depth device. Frames go through the fastest kernel variant the processor runs;
// the scalar reference below stays as the oracle those variants are tested against.
#include "device/device_hqvga.hpp"

#include "device/device_hqvga_fast.hpp"

namespace Telmora {

TelmoraDeviceHQVGA::TelmoraDeviceHQVGA(Platform p)
    : TelmoraDevice(p), sample_shift(p == PLATFORM_JETSON ? 4 : 0) {}

TelmoraDeviceHQVGA::~TelmoraDeviceHQVGA() = default;

int TelmoraDeviceHQVGA::getDeviceType() { return HQVGA; }

void TelmoraDeviceHQVGA::getFrameSize(FrameSize& raw, FrameSize& output) {
    raw = FrameSize{2, hqvga::kWidth, hqvga::kRawHeight};
    output = FrameSize{2, hqvga::kWidth, hqvga::kHeight};
}

int TelmoraDeviceHQVGA::open(TelmoraTOFSensor* s) {
    sensor = s;
    return TelmoraSuccess;
}

int TelmoraDeviceHQVGA::close() { return TelmoraSuccess; }
int TelmoraDeviceHQVGA::prepare() { return TelmoraSuccess; }
int TelmoraDeviceHQVGA::initProcess() { return TelmoraSuccess; }
int TelmoraDeviceHQVGA::stop() { return TelmoraSuccess; }

int TelmoraDeviceHQVGA::setControl(CameraCtrl ctrl, int value) {
    if (ctrl != RANGE) return TelmoraInvalidParameter;
    if (value == 2000) {
        modulation_frequency.store(hqvga::kFrequency2m, std::memory_order_relaxed);
    } else if (value == 4000) {
        modulation_frequency.store(hqvga::kFrequency4m, std::memory_order_relaxed);
    }
    range.store(value, std::memory_order_relaxed);
    return TelmoraSuccess;
}

int TelmoraDeviceHQVGA::setControlExt(CameraCtrl, const char*) { return TelmoraInvalidParameter; }

int TelmoraDeviceHQVGA::getControl(CameraCtrl ctrl, int* value) {
    if (ctrl == RANGE) {
        *value = range.load(std::memory_order_relaxed);
        return TelmoraSuccess;
    }
    if (sensor == nullptr) return TelmoraUnkownError;
    return sensor->getControl(ctrl, value);
}

int TelmoraDeviceHQVGA::getControlExt(CameraCtrl, const char**) { return TelmoraInvalidParameter; }

int TelmoraDeviceHQVGA::getRawImages(uint8_t* cache, int16_t* raw) {
    hqvga::bestKernels().raw(cache, sample_shift, raw);
    return 1;
}

bool TelmoraDeviceHQVGA::getPhaseImage(uint8_t* cache, float* depth, float* amplitude,
                                       float* confidence) {
    // Read once per frame: a control change from another thread applies from the next frame.
    const hqvga::PhaseParams params{
        range.load(std::memory_order_relaxed) == 2000,
        hqvga::depthScale(modulation_frequency.load(std::memory_order_relaxed)), sample_shift};
    hqvga::bestKernels().phase(cache, hqvga::kPixels, hqvga::kPixels, params, depth, amplitude,
                               confidence);
    return true;
}

namespace hqvga {

// The reference: what the fast variants must reproduce bit for bit.

size_t phaseReference(const uint8_t* cache, size_t stride, size_t n, const PhaseParams& params,
                      float* depth, float* amplitude, float* confidence) {
    const uint8_t* f0 = cache;
    const uint8_t* f1 = cache + 2 * stride;
    const uint8_t* f2 = cache + 4 * stride;
    const uint8_t* f3 = cache + 6 * stride;
    for (size_t i = 0; i < n; ++i) {
        const int p0 = decodeSample(readWord(f0, i), params.shift);
        const int p1 = decodeSample(readWord(f1, i), params.shift);
        const int p2 = decodeSample(readWord(f2, i), params.shift);
        const int p3 = decodeSample(readWord(f3, i), params.shift);
        float a;
        pixelDepth(p0, p1, p2, p3, params.range2000, params.scale, &depth[i], &a);
        amplitude[i] = a;
        confidence[i] = a;
    }
    return 0;
}

void rawReference(const uint8_t* cache, uint8_t shift, int16_t* raw) {
    for (int r = 0; r < kHeight; ++r) {
        for (int k = 0; k < kFrames; ++k) {
            const size_t src = static_cast<size_t>(kPixels) * k + static_cast<size_t>(r) * kWidth;
            int16_t* dst = raw + static_cast<size_t>(4 * r + k) * kWidth;
            for (int x = 0; x < kWidth; ++x) dst[x] = decodeSample(readWord(cache, src + x), shift);
        }
    }
}

const Kernels kReferenceKernels{"reference", phaseReference, rawReference};

float thetaOfPixel(const uint8_t* cache, size_t stride, size_t i, const PhaseParams& params) {
    const int p0 = decodeSample(readWord(cache, i), params.shift);
    const int p1 = decodeSample(readWord(cache + 2 * stride, i), params.shift);
    const int p2 = decodeSample(readWord(cache + 4 * stride, i), params.shift);
    const int p3 = decodeSample(readWord(cache + 6 * stride, i), params.shift);
    const double y = params.range2000 ? p1 - p3 : p2 - p0;
    const double x = params.range2000 ? p2 - p0 : p3 - p1;
    return static_cast<float>(std::atan2(y, x));
}

}  // namespace hqvga

}  // namespace Telmora
