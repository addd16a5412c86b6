// The real kernel's side of the driver contract: vivid's capture nodes (the boot loads one
// single-planar and one multi-planar instance) and i2c-stub's adapter.
#include <linux/videodev2.h>

#include "driver_contract.hpp"
#include "drivers.hpp"

namespace contract {

std::string captureNode(uint32_t buffer_type)
{
    return realkernel::vividNode(buffer_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? V4L2_CAP_VIDEO_CAPTURE_MPLANE
                                                                                   : V4L2_CAP_VIDEO_CAPTURE);
}

std::string i2cAdapter()
{
    const int bus = realkernel::stubBus();
    return bus < 0 ? "" : "/dev/i2c-" + std::to_string(bus);
}

}  // namespace contract
