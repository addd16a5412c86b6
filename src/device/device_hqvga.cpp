// The HQVGA depth device: scalar reference implementation.
#include "device/device_hqvga.hpp"

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
    const uint8_t shift = sample_shift;
    for (int r = 0; r < hqvga::kHeight; ++r) {
        for (int k = 0; k < hqvga::kFrames; ++k) {
            const size_t src = static_cast<size_t>(hqvga::kPixels) * k +
                               static_cast<size_t>(r) * hqvga::kWidth;
            int16_t* dst = raw + static_cast<size_t>(4 * r + k) * hqvga::kWidth;
            for (int x = 0; x < hqvga::kWidth; ++x) {
                dst[x] = hqvga::decodeSample(hqvga::readWord(cache, src + x), shift);
            }
        }
    }
    return 1;
}

bool TelmoraDeviceHQVGA::getPhaseImage(uint8_t* cache, float* depth, float* amplitude,
                                       float* confidence) {
    // Read once per frame: a control change from another thread applies from the next frame.
    const bool range2000 = range.load(std::memory_order_relaxed) == 2000;
    const float scale = hqvga::depthScale(modulation_frequency.load(std::memory_order_relaxed));
    const uint8_t shift = sample_shift;
    const uint8_t* f0 = cache;
    const uint8_t* f1 = cache + 2 * static_cast<size_t>(hqvga::kPixels);
    const uint8_t* f2 = cache + 4 * static_cast<size_t>(hqvga::kPixels);
    const uint8_t* f3 = cache + 6 * static_cast<size_t>(hqvga::kPixels);
    for (int i = 0; i < hqvga::kPixels; ++i) {
        const int p0 = hqvga::decodeSample(hqvga::readWord(f0, i), shift);
        const int p1 = hqvga::decodeSample(hqvga::readWord(f1, i), shift);
        const int p2 = hqvga::decodeSample(hqvga::readWord(f2, i), shift);
        const int p3 = hqvga::decodeSample(hqvga::readWord(f3, i), shift);
        float a;
        hqvga::pixelDepth(p0, p1, p2, p3, range2000, scale, &depth[i], &a);
        amplitude[i] = a;
        confidence[i] = a;
    }
    return true;
}

}  // namespace Telmora
