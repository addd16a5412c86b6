// Controls: sensor sub-device V4L2 controls, capture size, and the frame-rate write to the
// sensor's controller over I2C.
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/videodev2.h>

#include <cstdio>

#include "sensor/csi/csi_sensor.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"
#include "sys/sys.hpp"

namespace Telmora {

namespace {

constexpr uint32_t kRangeControl = 0x00981901;
constexpr uint8_t kFrameRateRegister[] = {0x06, 0x33};

}  // namespace

int TelmoraTOFCSISensor::setSubdevControl(uint32_t id, int32_t value)
{
    // Boards without a sensor sub-device have nobody to take the control.
    if (subdev_count == 0) return -1;
    v4l2_control ctrl{id, value};
    if (v4l2Ioctl(currentSubdev(), VIDIOC_S_CTRL, &ctrl) != 0) {
        std::perror("VIDIOC_S_CTRL");
        return -1;
    }
    return 0;
}

int TelmoraTOFCSISensor::getSubdevControl(uint32_t id, int32_t* value)
{
    if (subdev_count == 0) return -1;
    v4l2_control ctrl{id, 0};
    if (v4l2Ioctl(currentSubdev(), VIDIOC_G_CTRL, &ctrl) != 0) {
        std::perror("VIDIOC_G_CTRL");
        return -1;
    }
    *value = ctrl.value;
    return 0;
}

int TelmoraTOFCSISensor::writeFrameRate(int32_t fps)
{
    const auto rate = static_cast<uint32_t>(fps);
    uint8_t bytes[6] = {kFrameRateRegister[0], kFrameRateRegister[1],
                        static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                        static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)};
    i2c_msg msg{static_cast<uint16_t>(chip_address), 0, sizeof bytes, bytes};
    i2c_rdwr_ioctl_data transfer{&msg, 1};
    if (i2c_fd < 0) return -2;
    return sys::ioctl(i2c_fd, I2C_RDWR, &transfer) >= 1 ? 0 : -2;
}

int TelmoraTOFCSISensor::setControl(CameraCtrl ctrl, int32_t value)
{
    switch (ctrl) {
    case RANGE:
        if (value != 2 && value != 4) return 1;
        return setSubdevControl(kRangeControl, value == 2 ? 1 : 0);
    case FMT_WIDTH:
        info.width = static_cast<uint32_t>(value);
        return 0;
    case FMT_HEIGHT:
        info.height = static_cast<uint32_t>(value);
        return 0;
    case EXPOSURE:
        return setSubdevControl(V4L2_CID_EXPOSURE, value);
    case FRAME_RATE:
        frame_rate.store(value, std::memory_order_relaxed);
        return writeFrameRate(value);
    default:
        return 1;
    }
}

int TelmoraTOFCSISensor::getControl(CameraCtrl ctrl, int32_t* value)
{
    int32_t v = 0;
    switch (ctrl) {
    case RANGE:
        if (getSubdevControl(kRangeControl, &v) != 0) return -1;
        *value = v != 0 ? 2 : 4;
        return 0;
    case FMT_WIDTH:
        *value = static_cast<int32_t>(info.width);
        return 0;
    case FMT_HEIGHT:
        *value = static_cast<int32_t>(info.height);
        return 0;
    case EXPOSURE:
        if (getSubdevControl(V4L2_CID_EXPOSURE, &v) != 0) return -1;
        *value = v;
        return 0;
    case FRAME_RATE:
        *value = frame_rate.load(std::memory_order_relaxed);
        return 0;
    default:
        return 1;
    }
}

}  // namespace Telmora
