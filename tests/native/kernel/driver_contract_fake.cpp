// The in-memory kernel's side of the driver contract: a fresh kernel with one capture node
// of each planarity and one I2C adapter.
#include <linux/videodev2.h>

#include <memory>

#include "driver_contract.hpp"
#include "fake_kernel.hpp"
#include "i2c_adapter.hpp"
#include "v4l2_capture_node.hpp"

namespace contract {

std::string captureNode(uint32_t buffer_type)
{
    using Telmora::sim::V4l2CaptureNode;
    Telmora::sim::FakeKernel& k = Telmora::sim::FakeKernel::instance();
    k.reset();
    V4l2CaptureNode::Config config;
    config.multi_planar = buffer_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    k.charDevice("/dev/video0", 81, 0, std::make_shared<V4l2CaptureNode>(config));
    return "/dev/video0";
}

std::string i2cAdapter()
{
    Telmora::sim::FakeKernel& k = Telmora::sim::FakeKernel::instance();
    k.reset();
    k.charDevice("/dev/i2c-3", 89, 3, std::make_shared<Telmora::sim::I2cAdapter>());
    return "/dev/i2c-3";
}

}  // namespace contract
