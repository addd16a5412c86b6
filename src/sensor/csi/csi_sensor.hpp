// The sensor back-end for a time-of-flight camera on a board's CSI port: a V4L2 capture
// node with memory-mapped buffers, the sensor's V4L2 sub-device (on boards with a media
// graph) and the I2C bus of the sensor's controller.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "sensor/csi/conversions.hpp"
#include "sensor/tof_sensor.hpp"
#include "telmora/types.hpp"

namespace Telmora {

class TelmoraTOFCSISensor : public TelmoraTOFSensor {
public:
    static constexpr int kBufferCount = 8;
    static constexpr int kMaxSubdevs = 4;
    static constexpr int16_t kChipAddress = 0x0C;
    // A dequeue waits at most this long for a filled buffer, so a camera that stopped
    // delivering fails the capture instead of hanging it; 2 s still serves 0.5 fps.
    static constexpr int kDequeueTimeoutMs = 2000;

    // `video_path` is the capture node, "/dev/video%d" with the camera index.
    TelmoraTOFCSISensor(Platform board, const char* video_path);
    ~TelmoraTOFCSISensor() override = default;

    int open(CameraInfo& camera_info) override;
    int close() override;
    int start() override;
    int stop() override;
    CameraInfo getCameraInfo() override { return info; }
    int getFrame(uint8_t* cache, uint64_t* timestamp) override;
    int setControl(CameraCtrl ctrl, int32_t value) override;
    int getControl(CameraCtrl ctrl, int32_t* value) override;

    // Media set-up on boards with a media graph: records the sub-devices and the sensor's
    // I2C bus name. 1 or 0; nobody relies on which.
    int findMediaDevices(int video_fd);

    int32_t fd = -1;
    int32_t subdev_fds[kMaxSubdevs] = {-1, -1, -1, -1};
    uint8_t subdev_index = 0;
    uint8_t subdev_count = 0;
    char i2c_bus_name[8] = {};
    int32_t i2c_fd = -1;
    int16_t chip_address = kChipAddress;
    // Last FRAME_RATE set; 0 until then. The capture thread may set it while callers read it.
    std::atomic<int32_t> frame_rate{0};
    int32_t input_index = 0;
    Platform platform;
    char video_path[80] = {};
    char media_path[80] = {};
    uint32_t buffer_type = 1;
    void* buffers[kBufferCount] = {};
    // Buffers mapped by the last start (the driver may grant fewer than requested).
    int buffer_count = 0;
    CameraInfo info{};
    ConvertFn convert = copy_raw;

private:
    // The format streaming runs with, fixed by start: a size set while streaming takes effect
    // at the next start and must not change how captures are laid into the cache meanwhile.
    uint32_t stream_width_ = 0;
    uint32_t stream_height_ = 0;
    // Length of each mapping, to unmap it even when the driver no longer answers.
    size_t mapped_lengths_[kBufferCount] = {};

    bool hasMediaGraph() const;
    int setFormat();
    int setSubdevFormats();
    int readBackFormat(uint32_t& width, uint32_t& height);
    int prepareBuffer(uint32_t index);
    // Unmaps every mapped buffer and hands the buffers back, whatever the driver answers.
    void abandonBuffers();
    int waitForBuffer();
    size_t cacheRoom() const;
    int currentSubdev() const;
    int setSubdevControl(uint32_t id, int32_t value);
    int getSubdevControl(uint32_t id, int32_t* value);
    int writeFrameRate(int32_t fps);
    bool recordBusName(const char* entity_name);
    int selectBufferType(uint32_t capabilities);
    int readJetsonBusName();
    int readCurrentSize(CameraInfo& camera_info);
};

}  // namespace Telmora
