#include "subdev_node.hpp"

#include <linux/media-bus-format.h>
#include <linux/v4l2-subdev.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Telmora {
namespace sim {

namespace {

int fail(int err)
{
    errno = err;
    return -1;
}

}  // namespace

SubdevNode::SubdevNode(uint32_t width, uint32_t height, bool sensor)
    : width_(width), height_(height), code_(MEDIA_BUS_FMT_Y12_1X12), sensor_(sensor)
{
}

int SubdevNode::ioctl(int, unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    switch (request) {
    case VIDIOC_SUBDEV_S_FMT: return setFormat(arg);
    case VIDIOC_SUBDEV_G_FMT: return getFormat(arg);
    case VIDIOC_S_CTRL: return control(arg, true);
    case VIDIOC_G_CTRL: return control(arg, false);
    default: return fail(ENOTTY);
    }
}

int SubdevNode::setFormat(void* arg)
{
    auto* f = static_cast<v4l2_subdev_format*>(arg);
    if (f->pad != 0 || f->which > V4L2_SUBDEV_FORMAT_ACTIVE) return fail(EINVAL);
    // The sensor has one bus format; sizes are taken as asked, within the chip's limits.
    f->format.code = MEDIA_BUS_FMT_Y12_1X12;
    f->format.width = std::min<uint32_t>(std::max<uint32_t>(f->format.width, 16), 8192);
    f->format.height = std::min<uint32_t>(std::max<uint32_t>(f->format.height, 1), 8192);
    f->format.field = V4L2_FIELD_NONE;
    if (f->which == V4L2_SUBDEV_FORMAT_ACTIVE) {
        width_ = f->format.width;
        height_ = f->format.height;
        code_ = f->format.code;
        ++formats_set_;
    }
    return 0;
}

int SubdevNode::getFormat(void* arg) const
{
    auto* f = static_cast<v4l2_subdev_format*>(arg);
    if (f->pad != 0 || f->which > V4L2_SUBDEV_FORMAT_ACTIVE) return fail(EINVAL);
    // With a single supported mode the try format follows the active one.
    std::memset(&f->format, 0, sizeof f->format);
    f->format.width = width_;
    f->format.height = height_;
    f->format.code = code_;
    f->format.field = V4L2_FIELD_NONE;
    return 0;
}

int SubdevNode::control(void* arg, bool set)
{
    if (!sensor_) return fail(EINVAL);
    auto* c = static_cast<v4l2_control*>(arg);
    int32_t* target = c->id == kRangeControl ? &range_ : c->id == V4L2_CID_EXPOSURE ? &exposure_ : nullptr;
    if (target == nullptr) return fail(EINVAL);
    if (set) *target = c->value;
    else c->value = *target;
    return 0;
}

uint32_t SubdevNode::width() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return width_;
}

uint32_t SubdevNode::height() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return height_;
}

uint32_t SubdevNode::code() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return code_;
}

int32_t SubdevNode::rangeControl() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return range_;
}

int32_t SubdevNode::exposure() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return exposure_;
}

int SubdevNode::formatsSet() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return formats_set_;
}

}  // namespace sim
}  // namespace Telmora
