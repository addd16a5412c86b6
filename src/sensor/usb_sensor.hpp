// The USB back-end: a camera of the evaluation kit, driven through libtelmora_evk_sdk.
#pragma once

#include <string>

#include "sensor/tof_sensor.hpp"
#include "telmora_evk_sdk.h"

namespace Telmora {

class TelmoraTOFUSBSensor : public TelmoraTOFSensor {
public:
    // `config_path`: empty when the camera is opened without a file, else the path given to
    // the camera's openWithFile; it is handed to the library at open.
    explicit TelmoraTOFUSBSensor(const std::string& config_path = std::string());
    // Releases memory only; the library handle is released by close().
    ~TelmoraTOFUSBSensor() override;

    int open(CameraInfo& info) override;
    int close() override;
    int start() override;
    int stop() override;
    CameraInfo getCameraInfo() override;
    int getFrame(uint8_t* cache, uint64_t* timestamp) override;
    // RANGE only: writes the sensor's four range registers; other controls return 1.
    int setControl(CameraCtrl ctrl, int32_t value) override;
    // The USB back-end reads no controls: 4 (TelmoraNotImplemented), value untouched.
    int getControl(CameraCtrl ctrl, int32_t* value) override;

    TelmoraHandle handle = nullptr;  // set by TelmoraOpenCamera, null when closed
    TelmoraImage image{};            // the image record the library fills and frees
    CameraInfo info{};
    bool started = false;
    std::string config_path;
};

}  // namespace Telmora
