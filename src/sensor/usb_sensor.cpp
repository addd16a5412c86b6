// The USB back-end over libtelmora_evk_sdk.
#include "sensor/usb_sensor.hpp"

#include "sensor/usb_conversions.hpp"

#include <cstring>

namespace Telmora {

namespace {

constexpr uint32_t kCaptureTimeout = 2000;
// Images more than this far apart (in the library's timestamp units) belong to different
// captures.
constexpr uint64_t kCaptureGap = 6;

struct RangeRegister {
    uint32_t reg;
    uint32_t value_2000;
    uint32_t value_other;
};

constexpr RangeRegister kRangeRegisters[] = {
    {0x216C, 0x08, 0x10},
    {0x2179, 0x0A, 0x0E},
    {0x217A, 0x0E, 0x16},
    {0x217B, 0x12, 0x1E},
};

bool endsWithBin(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".bin") == 0;
}

}  // namespace

TelmoraTOFUSBSensor::TelmoraTOFUSBSensor(const std::string& path) : config_path(path) {}

// A sensor replaced by a new open is destroyed without close: its library handle must not
// outlive it.
TelmoraTOFUSBSensor::~TelmoraTOFUSBSensor() { close(); }

int TelmoraTOFUSBSensor::open(CameraInfo& camera_info) {
    TelmoraOpenParam param;
    TelmoraDefaultParam(&param);
    if (!config_path.empty()) {
        param.config_path = config_path.c_str();
        param.binary_config = endsWithBin(config_path) ? 1 : 0;
    }
    if (TelmoraOpenCamera(&handle, &param) != 0) return TelmoraUnkownError;
    if (TelmoraInitCamera(handle) != 0) return TelmoraUnkownError;

    TelmoraCameraConfig config;
    TelmoraGetCameraConfig(handle, &config);
    camera_info.width = config.width;
    camera_info.height = config.height;
    camera_info.bit_width = config.bits_per_sample;
    camera_info.bpp = config.bits_per_sample <= 8 ? 1 : 2;
    info = camera_info;
    return TelmoraSuccess;
}

int TelmoraTOFUSBSensor::close() {
    if (handle != nullptr) {
        TelmoraCloseCamera(handle);
        handle = nullptr;
    }
    return TelmoraSuccess;
}

int TelmoraTOFUSBSensor::start() {
    if (started) return TelmoraUnkownError;
    started = true;
    if (TelmoraStartCamera(handle) != 0) return TelmoraUnkownError;
    return TelmoraSuccess;
}

int TelmoraTOFUSBSensor::stop() {
    started = false;
    TelmoraStopCamera(handle);
    return TelmoraSuccess;
}

CameraInfo TelmoraTOFUSBSensor::getCameraInfo() { return info; }

int TelmoraTOFUSBSensor::getFrame(uint8_t* cache, uint64_t* timestamp) {
    const size_t image_bytes = static_cast<size_t>(info.width) * info.height * info.bpp;
    int k = 0;
    size_t out = 0;
    uint64_t last = 0;
    if (frame_count <= 0) return TelmoraSuccess;

    while (k < frame_count) {
        if (!started) {
            ++k;
            continue;
        }
        const int r = TelmoraCaptureImage(handle, &image, kCaptureTimeout);
        if (r == 0) {
            // A gap between two images starts a new capture with this image.
            if (k > 0 && image.timestamp - last >= kCaptureGap) {
                k = 0;
                out = 0;
            }
            if (image.size != image_bytes) {
                TelmoraFreeImage(handle, image);
                return TelmoraUnkownError;
            }
            const size_t written =
                usbConvertImage(image.data, image_bytes, info.bit_width, info.bpp, cache + out);
            last = image.timestamp;
            TelmoraFreeImage(handle, image);
            out += written;
        } else {
            // A lost image leaves the capture incomplete: fail it, the next call starts afresh.
            return TelmoraUnkownError;
        }
        ++k;
        *timestamp = last;
    }
    return TelmoraSuccess;
}

int TelmoraTOFUSBSensor::setControl(CameraCtrl ctrl, int32_t value) {
    if (ctrl != RANGE) return TelmoraInvalidParameter;
    for (const RangeRegister& r : kRangeRegisters) {
        TelmoraWriteSensorReg(handle, r.reg, value == 2000 ? r.value_2000 : r.value_other);
    }
    return TelmoraSuccess;
}

int TelmoraTOFUSBSensor::getControl(CameraCtrl, int32_t*) { return TelmoraNotImplemented; }

}  // namespace Telmora
