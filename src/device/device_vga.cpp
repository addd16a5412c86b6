#include "device/device_vga.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "device/depth_config_files.hpp"
#include "si4c.h"

namespace Telmora {

namespace {

constexpr int kRangeSingleMm = 1250;
constexpr int kRangeDoubleMm = 4500;
constexpr const char* kCalibrationFile = "cali.bin";

// Sleeps the whole interval, resuming after signals.
void sleepMs(long ms)
{
    timespec req{ms / 1000, (ms % 1000) * 1000000L};
    timespec rem{};
    while (nanosleep(&req, &rem) == -1 && errno == EINTR) req = rem;
}

}  // namespace

TelmoraDeviceVGA::TelmoraDeviceVGA(Platform p) : TelmoraDevice(p) {}

TelmoraDeviceVGA::~TelmoraDeviceVGA() { destroyInstance(); }

int TelmoraDeviceVGA::getDeviceType() { return VGA; }

bool TelmoraDeviceVGA::singleFrequency()
{
    // Without an instance the next start makes a new one, which starts single-frequency.
    return handle == nullptr || SiSDKIsSingleFreq(handle);
}

int TelmoraDeviceVGA::rawHeight() { return (height + 1) * (singleFrequency() ? 5 : 10); }

void TelmoraDeviceVGA::getFrameSize(FrameSize& raw, FrameSize& output)
{
    const int32_t w = width;
    raw.tag = 2;
    raw.width = w;
    raw.height = rawHeight();
    output.width = w;
    output.height = height;
}

int TelmoraDeviceVGA::open(TelmoraTOFSensor* s)
{
    if (s == nullptr) return TelmoraInvalidParameter;
    sensor = s;
    destroyInstance();  // a second open must not leak the first instance
    if (!SiSDKCreate(&handle)) {
        handle = nullptr;
        return TelmoraUnkownError;
    }
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::close()
{
    sleepMs(500);
    destroyInstance();
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::prepare()
{
    if (sensor == nullptr || !ensureInstance()) return TelmoraUnkownError;
    const int32_t w = width;
    const int raw_height = rawHeight();
    sensor->setControl(FMT_WIDTH, w);
    sensor->setControl(FMT_HEIGHT, raw_height);
    stream_raw_bytes_ = static_cast<size_t>(w) * static_cast<size_t>(raw_height) * 2;
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::initProcess()
{
    if (!writeDepthConfigFiles()) return TelmoraUnkownError;
    if (!ensureInstance()) return TelmoraUnkownError;
    if (!SiSDKInit(handle, width, height)) {
        replaceInstance();
        return TelmoraUnkownError;
    }
    // The re-initialised instance has dropped the previous start's calibration.
    releaseCalibration();
    loadCalibration();
    if (!config_dir.empty()) SiSDKSetConfig(handle, config_dir.c_str());
    if (!SiSDKStart(handle)) {
        replaceInstance();
        return TelmoraUnkownError;
    }
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::stop() { return TelmoraSuccess; }

int TelmoraDeviceVGA::setControl(CameraCtrl ctrl, int value)
{
    switch (ctrl) {
    case FMT_WIDTH:
        if (value != 640 && value != 320) return TelmoraInvalidParameter;
        width = value;
        return TelmoraSuccess;
    case FMT_HEIGHT:
        if (value != 480 && value != 240) return TelmoraInvalidParameter;
        height = value;
        return TelmoraSuccess;
    case MODE:
        if (value != SINGLE_FREQ && value != DOUBLE_FREQ) return TelmoraInvalidParameter;
        if (handle == nullptr) return TelmoraUnkownError;
        SiSDKSetSingleFreq(handle, value == SINGLE_FREQ);
        return TelmoraSuccess;
    case FRAME_MODE:
        return TelmoraNotImplemented;
    case FRAME_RATE: {
        if (sensor == nullptr) return TelmoraUnkownError;
        const int result = sensor->setControl(FRAME_RATE, value);
        if (result == TelmoraSuccess) frame_rate_set = true;
        return result;
    }
    default:  // RANGE and EXPOSURE are fixed by the library
        return TelmoraInvalidParameter;
    }
}

int TelmoraDeviceVGA::setControlExt(CameraCtrl ctrl, const char* value)
{
    if (ctrl != CONFIG_DIR_EXT || value == nullptr) return TelmoraInvalidParameter;
    config_dir = value;
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::defaultFrameRate(int* value)
{
    int single_rate = 0, double_rate = 0;
    const int32_t w = width, h = height;
    if (w == 640 && h == 480) {
        single_rate = 41;
        double_rate = 23;
    } else if (w == 320 && h == 240) {
        single_rate = 61;
        double_rate = 36;
    } else {
        return TelmoraInvalidParameter;
    }
    if (handle == nullptr) return TelmoraUnkownError;
    *value = singleFrequency() ? single_rate : double_rate;
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::getControl(CameraCtrl ctrl, int* value)
{
    if (value == nullptr) return TelmoraInvalidParameter;
    switch (ctrl) {
    case RANGE:
        if (handle == nullptr) return TelmoraUnkownError;
        *value = singleFrequency() ? kRangeSingleMm : kRangeDoubleMm;
        return TelmoraSuccess;
    case FMT_WIDTH:
        *value = width;
        return TelmoraSuccess;
    case FMT_HEIGHT:
        *value = height;
        return TelmoraSuccess;
    case MODE:
        if (handle == nullptr) return TelmoraUnkownError;
        *value = singleFrequency() ? SINGLE_FREQ : DOUBLE_FREQ;
        return TelmoraSuccess;
    case FRAME_MODE:
        return TelmoraNotImplemented;
    case FRAME_RATE:
        if (!frame_rate_set) return defaultFrameRate(value);
        break;
    default:
        break;
    }
    if (sensor == nullptr) return TelmoraUnkownError;
    return sensor->getControl(ctrl, value);
}

int TelmoraDeviceVGA::getControlExt(CameraCtrl ctrl, const char** value)
{
    if (ctrl != CONFIG_DIR_EXT || value == nullptr) return TelmoraInvalidParameter;
    *value = config_dir.c_str();
    return TelmoraSuccess;
}

int TelmoraDeviceVGA::getRawImages(uint8_t* cache, int16_t* raw)
{
    std::memcpy(raw, cache, stream_raw_bytes_);
    return 1;
}

bool TelmoraDeviceVGA::getPhaseImage(uint8_t* cache, float* depth, float* amplitude,
                                     float* confidence)
{
    if (handle == nullptr) return false;
    return SiSDKGetPhaseImage(handle, cache, depth, amplitude, confidence);
}

bool TelmoraDeviceVGA::ensureInstance()
{
    if (handle != nullptr) return true;
    if (SiSDKCreate(&handle)) return true;
    handle = nullptr;
    return false;
}

void TelmoraDeviceVGA::destroyInstance()
{
    if (handle != nullptr) SiSDKDestroy(&handle);
    handle = nullptr;
    releaseCalibration();  // only now can the library no longer read it
}

void TelmoraDeviceVGA::replaceInstance()
{
    // A failed start leaves the instance unusable: destroy it and carry its frequency
    // setting over to a fresh one, so no later call reaches the dead handle.
    const bool single = SiSDKIsSingleFreq(handle);
    destroyInstance();
    if (ensureInstance()) SiSDKSetSingleFreq(handle, single);
}

void TelmoraDeviceVGA::loadCalibration()
{
    const int fd = ::open(kCalibrationFile, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size <= 0 || static_cast<uint64_t>(st.st_size) > UINT32_MAX) {
        ::close(fd);
        return;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {  // no calibration rather than a null pointer for the library
        ::close(fd);
        return;
    }
    cali_fd_ = fd;
    cali_map_ = data;
    cali_size_ = size;
    SiSDKSetCaliData(handle, data, static_cast<uint32_t>(size));
}

void TelmoraDeviceVGA::releaseCalibration()
{
    if (cali_map_ != nullptr) ::munmap(cali_map_, cali_size_);
    if (cali_fd_ >= 0) ::close(cali_fd_);
    cali_map_ = nullptr;
    cali_size_ = 0;
    cali_fd_ = -1;
}

}  // namespace Telmora
