// The sensor back-end interface: delivers raw captures into the camera's cache buffer.
//
// Capture layout in the cache: image k (0 .. frame_count-1) starts at byte
// 2 * width * height * k; each image is `height` rows of `width` little-endian 16-bit
// samples holding a 12-bit reading.
#pragma once

#include "telmora/types.hpp"

namespace Telmora {

class TelmoraTOFSensor {
public:
    virtual ~TelmoraTOFSensor() = default;
    // Opens the hardware, fills width/height/bit_width/bpp of `info` and keeps a copy.
    virtual int open(CameraInfo& info) = 0;
    virtual int close() = 0;
    virtual int start() = 0;
    virtual int stop() = 0;
    virtual CameraInfo getCameraInfo() = 0;
    // One capture of frame_count images; -1 is the only failure result.
    virtual int getFrame(uint8_t* cache, uint64_t* timestamp) = 0;
    virtual int setControl(CameraCtrl ctrl, int32_t value) = 0;
    // Writes `value` only on success.
    virtual int getControl(CameraCtrl ctrl, int32_t* value) = 0;

    int32_t frame_count = 1;

protected:
    TelmoraTOFSensor() = default;
    TelmoraTOFSensor(const TelmoraTOFSensor&) = delete;
    TelmoraTOFSensor& operator=(const TelmoraTOFSensor&) = delete;
};

}  // namespace Telmora
