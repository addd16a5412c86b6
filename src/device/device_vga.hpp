// Depth device for 640 x 480 and 320 x 240 sensors: every capture goes to the
// depth-processing library (libsi4c), which computes depth, amplitude and confidence.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "device/device.hpp"

namespace Telmora {

class TelmoraDeviceVGA final : public TelmoraDevice {
public:
    explicit TelmoraDeviceVGA(Platform p);
    // Releases the library instance and the calibration mapping when the device is
    // replaced without having been closed.
    ~TelmoraDeviceVGA() override;

    int getDeviceType() override;
    void getFrameSize(FrameSize& raw, FrameSize& output) override;
    int open(TelmoraTOFSensor* sensor) override;
    int close() override;
    int prepare() override;
    int initProcess() override;
    int stop() override;
    int setControl(CameraCtrl ctrl, int value) override;
    int setControlExt(CameraCtrl ctrl, const char* value) override;
    int getControl(CameraCtrl ctrl, int* value) override;
    int getControlExt(CameraCtrl ctrl, const char** value) override;
    int getRawImages(uint8_t* cache, int16_t* raw) override;
    bool getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence) override;

    void* handle = nullptr;  // library instance
    std::string config_dir;  // CONFIG_DIR_EXT: directory handed to the library
    // Atomic: the capture thread reads the frame-rate state while callers set controls.
    std::atomic<int32_t> width{640};
    std::atomic<int32_t> height{480};
    std::atomic<bool> frame_rate_set{false};

private:
    bool singleFrequency();
    int rawHeight();
    bool ensureInstance();
    void destroyInstance();
    void replaceInstance();
    void loadCalibration();
    void releaseCalibration();
    int defaultFrameRate(int* value);

    // "cali.bin" stays mapped while the library may use it: until the next start or close.
    int cali_fd_ = -1;
    void* cali_map_ = nullptr;
    size_t cali_size_ = 0;
    // Bytes of one capture as told to the sensor at the last prepare: the size of the
    // buffers streaming uses, which controls changed while streaming must not alter.
    size_t stream_raw_bytes_ = 0;
};

}  // namespace Telmora
