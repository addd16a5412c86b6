// The depth-device interface: sizes of raw captures and outputs, decoding, controls.
#pragma once

#include "sensor/tof_sensor.hpp"
#include "telmora/types.hpp"

namespace Telmora {

class TelmoraDevice {
public:
    virtual ~TelmoraDevice() = default;
    virtual int getDeviceType() = 0;
    virtual void getFrameSize(FrameSize& raw, FrameSize& output) = 0;
    virtual int open(TelmoraTOFSensor* sensor) = 0;
    virtual int close() = 0;
    virtual int prepare() = 0;
    virtual int initProcess() = 0;
    virtual int stop() = 0;
    virtual int setControl(CameraCtrl ctrl, int value) = 0;
    virtual int setControlExt(CameraCtrl ctrl, const char* value) = 0;
    virtual int getControl(CameraCtrl ctrl, int* value) = 0;
    virtual int getControlExt(CameraCtrl ctrl, const char** value) = 0;
    virtual int getRawImages(uint8_t* cache, int16_t* raw) = 0;
    virtual bool getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence) = 0;

    Platform platform;
    TelmoraTOFSensor* sensor = nullptr;  // the camera's sensor, not owned

protected:
    explicit TelmoraDevice(Platform p) : platform(p) {}
    TelmoraDevice(const TelmoraDevice&) = delete;
    TelmoraDevice& operator=(const TelmoraDevice&) = delete;
};

}  // namespace Telmora
