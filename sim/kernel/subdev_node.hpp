// A V4L2 sub-device node ("/dev/v4l-subdevN") of the in-memory kernel: a pad-0 format
// and, for a sensor, the range and exposure controls. A bridge (CSI-2 receiver) has the
// format only.
#pragma once

#include <cstdint>
#include <mutex>

#include "device_model.hpp"

namespace Telmora {
namespace sim {

class SubdevNode : public DeviceModel {
public:
    static constexpr uint32_t kRangeControl = 0x00981901;

    SubdevNode(uint32_t width, uint32_t height, bool sensor);

    int ioctl(int fd, unsigned long request, void* arg) override;

    uint32_t width() const;
    uint32_t height() const;
    uint32_t code() const;
    int32_t rangeControl() const;
    int32_t exposure() const;
    int formatsSet() const;  // successful SUBDEV_S_FMT calls

private:
    int setFormat(void* arg);
    int getFormat(void* arg) const;
    int control(void* arg, bool set);

    mutable std::mutex mutex_;
    uint32_t width_;
    uint32_t height_;
    uint32_t code_;
    bool sensor_;
    int32_t range_ = 0;
    int32_t exposure_ = 500;
    int formats_set_ = 0;
};

}  // namespace sim
}  // namespace Telmora
