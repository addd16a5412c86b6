#include "v4l2_capture_node.hpp"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#ifndef V4L2_PIX_FMT_Y12P
#define V4L2_PIX_FMT_Y12P v4l2_fourcc('Y', '1', '2', 'P')
#endif

namespace Telmora {
namespace sim {

namespace {

constexpr size_t kPage = 4096;
constexpr uint8_t kUnfilled = 0xEE;

int fail(int err)
{
    errno = err;
    return -1;
}

int64_t monotonicNowUs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

bool isCaptureType(uint32_t type)
{
    return type == V4L2_BUF_TYPE_VIDEO_CAPTURE || type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
}

}  // namespace

V4l2CaptureNode::V4l2CaptureNode(const Config& config)
    : config_(config),
      clock_us_(config.first_timestamp_us == kMonotonicClock ? INT64_MIN
                                                            : config.first_timestamp_us - config.frame_period_us),
      pixel_format_(config.encoding == FrameEncoding::PackedY12P ? V4L2_PIX_FMT_Y12P : V4L2_PIX_FMT_Y12)
{
}

uint32_t V4l2CaptureNode::bufferType() const
{
    return config_.multi_planar ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE;
}

// The format calls name the other planarity's type as a call the node does not have.
int V4l2CaptureNode::formatTypeError(uint32_t type) const
{
    return isCaptureType(type) ? ENOTTY : EINVAL;
}

bool V4l2CaptureNode::busyFor(int fd) const { return owner_ >= 0 && owner_ != fd; }

uint32_t V4l2CaptureNode::nativePixelFormat() const
{
    return config_.encoding == FrameEncoding::PackedY12P ? V4L2_PIX_FMT_Y12P : V4L2_PIX_FMT_Y12;
}

size_t V4l2CaptureNode::imageSize() const
{
    return encodedSize(config_.encoding, config_.width, config_.height) + extra_bytes_;
}

size_t V4l2CaptureNode::mapStride() const { return (imageSize() + kPage - 1) / kPage * kPage; }

int V4l2CaptureNode::ioctl(int fd, unsigned long request, void* arg)
{
    std::unique_lock<std::mutex> lock(mutex_);
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof *cap);
        std::snprintf(reinterpret_cast<char*>(cap->driver), sizeof cap->driver, "telmora-sim");
        std::snprintf(reinterpret_cast<char*>(cap->card), sizeof cap->card, "ToF capture");
        uint32_t caps = (config_.multi_planar ? V4L2_CAP_VIDEO_CAPTURE_MPLANE : V4L2_CAP_VIDEO_CAPTURE) |
                        V4L2_CAP_STREAMING;
        if (caps_override_ != 0) caps = caps_override_;
        cap->device_caps = caps;
        cap->capabilities = caps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    case VIDIOC_S_INPUT: {
        int input = *static_cast<int*>(arg);
        if (input != 0) return fail(EINVAL);
        input_ = input;
        return 0;
    }
    case VIDIOC_G_FMT: {
        const uint32_t type = static_cast<v4l2_format*>(arg)->type;
        if (type != bufferType()) return fail(formatTypeError(type));
        fillFormat(arg);
        return 0;
    }
    case VIDIOC_TRY_FMT: return tryFormat(arg, false);
    case VIDIOC_S_FMT: return tryFormat(arg, true);
    case VIDIOC_REQBUFS: return requestBuffers(fd, arg);
    case VIDIOC_QUERYBUF: return queryBuffer(arg);
    case VIDIOC_QBUF: return queueBuffer(fd, arg);
    case VIDIOC_DQBUF: return dequeueBuffer(fd, lock, arg);
    case VIDIOC_STREAMON: return streamOn(fd, arg);
    case VIDIOC_STREAMOFF: return streamOff(fd, arg);
    default: return fail(ENOTTY);
    }
}

void V4l2CaptureNode::fillFormat(void* arg) const
{
    auto* f = static_cast<v4l2_format*>(arg);
    const uint32_t type = f->type;
    std::memset(&f->fmt, 0, sizeof f->fmt);
    const auto stride = static_cast<uint32_t>(encodedStride(config_.encoding, config_.width));
    const auto size = static_cast<uint32_t>(imageSize());
    if (type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        f->fmt.pix_mp.width = config_.width;
        f->fmt.pix_mp.height = config_.height;
        f->fmt.pix_mp.pixelformat = pixel_format_;
        f->fmt.pix_mp.field = V4L2_FIELD_NONE;
        f->fmt.pix_mp.num_planes = 1;
        f->fmt.pix_mp.plane_fmt[0].bytesperline = stride;
        f->fmt.pix_mp.plane_fmt[0].sizeimage = size;
    } else {
        f->fmt.pix.width = config_.width;
        f->fmt.pix.height = config_.height;
        f->fmt.pix.pixelformat = pixel_format_;
        f->fmt.pix.field = V4L2_FIELD_NONE;
        f->fmt.pix.bytesperline = stride;
        f->fmt.pix.sizeimage = size;
    }
}

int V4l2CaptureNode::tryFormat(void* arg, bool apply)
{
    auto* f = static_cast<v4l2_format*>(arg);
    if (f->type != bufferType()) return fail(formatTypeError(f->type));
    if (apply && !buffers_.empty()) return fail(EBUSY);
    const bool mp = f->type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    uint32_t w = mp ? f->fmt.pix_mp.width : f->fmt.pix.width;
    uint32_t h = mp ? f->fmt.pix_mp.height : f->fmt.pix.height;
    // The driver adjusts what it cannot do rather than refusing it.
    w = std::min<uint32_t>(std::max<uint32_t>(w, 16), 8192) & ~1u;
    h = std::min<uint32_t>(std::max<uint32_t>(h, 1), 8192);
    const Config saved = config_;
    const uint32_t saved_format = pixel_format_;
    config_.width = w;
    config_.height = h;
    pixel_format_ = nativePixelFormat();
    fillFormat(arg);
    if (!apply) {
        config_ = saved;
        pixel_format_ = saved_format;
    }
    return 0;
}

// The queue lets go of its buffers; mapped ones stay alive for their mappings.
void V4l2CaptureNode::releaseBuffers()
{
    for (Buffer& b : buffers_) {
        b.queued = false;
        if (b.mappings > 0) orphans_.push_back(std::move(b));
    }
    buffers_.clear();
    queue_.clear();
    filled_ = 0;
}

int V4l2CaptureNode::requestBuffers(int fd, void* arg)
{
    auto* req = static_cast<v4l2_requestbuffers*>(arg);
    if (req->type != bufferType() || req->memory != V4L2_MEMORY_MMAP) return fail(EINVAL);
    if (busyFor(fd) || streaming_) return fail(EBUSY);
    releaseBuffers();
    owner_ = -1;
    if (req->count == 0) return 0;
    uint32_t count = std::min(std::max(req->count, config_.min_buffers), config_.max_buffers);
    if (grant_ >= 0) count = static_cast<uint32_t>(grant_);
    req->count = count;
    buffers_.resize(count);
    for (Buffer& b : buffers_) b.memory.assign(mapStride(), kUnfilled);
    if (count > 0) owner_ = fd;
    waiting_for_buffers_ = true;
    return 0;
}

void V4l2CaptureNode::describe(uint32_t index, void* arg) const
{
    auto* b = static_cast<v4l2_buffer*>(arg);
    const Buffer& buf = buffers_[index];
    b->index = index;
    b->flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    if (buf.mappings > 0) b->flags |= V4L2_BUF_FLAG_MAPPED;
    if (buf.queued) b->flags |= V4L2_BUF_FLAG_QUEUED;
    b->field = V4L2_FIELD_NONE;
    const auto length = static_cast<uint32_t>(imageSize());
    const auto offset = static_cast<uint32_t>(index * mapStride());
    if (config_.multi_planar) {
        b->m.planes[0].length = length;
        b->m.planes[0].m.mem_offset = offset;
        b->length = 1;
    } else {
        b->length = length;
        b->m.offset = offset;
    }
}

int V4l2CaptureNode::queryBuffer(void* arg) const
{
    auto* b = static_cast<v4l2_buffer*>(arg);
    if (b->type != bufferType() || b->index >= buffers_.size()) return fail(EINVAL);
    if (config_.multi_planar && (b->m.planes == nullptr || b->length < 1)) return fail(EINVAL);
    describe(b->index, arg);
    return 0;
}

int V4l2CaptureNode::queueBuffer(int fd, void* arg)
{
    auto* b = static_cast<v4l2_buffer*>(arg);
    if (busyFor(fd)) return fail(EBUSY);
    if (b->type != bufferType() || b->memory != V4L2_MEMORY_MMAP || b->index >= buffers_.size())
        return fail(EINVAL);
    if (config_.multi_planar && (b->m.planes == nullptr || b->length < 1)) return fail(EINVAL);
    Buffer& buf = buffers_[b->index];
    if (buf.queued) return fail(EINVAL);
    buf.queued = true;
    queue_.push_back(b->index);
    waiting_for_buffers_ = false;
    describe(b->index, arg);
    changed_.notify_all();
    return 0;
}

// A stalled sensor fills nothing new, but a buffer poll already reported filled stays so.
bool V4l2CaptureNode::ready() const { return streaming_ && !queue_.empty() && (!stalled_ || filled_ > 0); }

timeval V4l2CaptureNode::nextTimestamp()
{
    if (!stamps_.empty()) {
        timeval t = stamps_.front();
        stamps_.pop_front();
        clock_us_ = static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_usec;
        return t;
    }
    clock_us_ += config_.frame_period_us;
    return timeval{static_cast<time_t>(clock_us_ / 1000000), static_cast<suseconds_t>(clock_us_ % 1000000)};
}

int V4l2CaptureNode::dequeueBuffer(int fd, std::unique_lock<std::mutex>& lock, void* arg)
{
    auto* b = static_cast<v4l2_buffer*>(arg);
    if (busyFor(fd)) return fail(EBUSY);
    if (b->type != bufferType() || b->memory != V4L2_MEMORY_MMAP) return fail(EINVAL);
    if (config_.multi_planar && (b->m.planes == nullptr || b->length < 1)) return fail(EINVAL);
    const auto settled = [this] { return disconnected_ || !streaming_ || ready(); };
    if (!settled() && nonblocking_.count(fd) != 0) return fail(EAGAIN);
    // A blocking descriptor waits for a filled buffer, however long that takes.
    changed_.wait(lock, settled);
    if (disconnected_) return fail(ENODEV);
    if (!streaming_) return fail(EINVAL);
    const uint32_t index = queue_.front();
    queue_.pop_front();
    if (filled_ > 0) --filled_;
    Buffer& buf = buffers_[index];
    buf.queued = false;
    image_.assign(size_t{config_.width} * config_.height, 0);
    if (source_) {
        source_(sequence_, config_.width, config_.height, image_.data());
    } else {
        for (size_t i = 0; i < image_.size(); ++i)
            image_[i] = static_cast<uint16_t>((i * 7 + sequence_ * 131) & 0x0FFF);
    }
    encodeImage(config_.encoding, image_.data(), config_.width, config_.height, buf.memory.data());
    describe(index, arg);
    b->timestamp = nextTimestamp();
    b->sequence = static_cast<uint32_t>(sequence_++);
    const auto used = static_cast<uint32_t>(encodedSize(config_.encoding, config_.width, config_.height));
    if (config_.multi_planar) b->m.planes[0].bytesused = used;
    else b->bytesused = used;
    if (report_index_ >= 0) {
        b->index = static_cast<uint32_t>(report_index_);
        report_index_ = -1;
    }
    return 0;
}

// On the monotonic clock the stamps start at the first STREAMON and never go back.
void V4l2CaptureNode::startClock()
{
    if (config_.first_timestamp_us != kMonotonicClock) return;
    clock_us_ = std::max(clock_us_, monotonicNowUs() - config_.frame_period_us);
}

int V4l2CaptureNode::streamOn(int fd, void* arg)
{
    if (busyFor(fd)) return fail(EBUSY);
    if (*static_cast<uint32_t*>(arg) != bufferType() || buffers_.empty()) return fail(EINVAL);
    if (streaming_) return 0;
    streaming_ = true;
    startClock();
    changed_.notify_all();
    return 0;
}

// Every buffer comes back to the program; the buffers themselves stay allocated.
int V4l2CaptureNode::streamOff(int fd, void* arg)
{
    if (busyFor(fd)) return fail(EBUSY);
    if (*static_cast<uint32_t*>(arg) != bufferType()) return fail(EINVAL);
    streaming_ = false;
    waiting_for_buffers_ = true;
    for (Buffer& b : buffers_) b.queued = false;
    queue_.clear();
    filled_ = 0;
    changed_.notify_all();
    return 0;
}

void* V4l2CaptureNode::mmap(int fd, size_t length, off_t offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t stride = mapStride();
    const size_t index = static_cast<size_t>(offset) / stride;
    if (offset < 0 || static_cast<size_t>(offset) % stride != 0 || index >= buffers_.size() ||
        length == 0 || length > stride) {
        errno = EINVAL;
        return nullptr;
    }
    ++buffers_[index].mappings;
    mapper_[buffers_[index].memory.data()] = fd;
    return buffers_[index].memory.data();
}

void V4l2CaptureNode::munmap(void* addr, size_t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (Buffer& b : buffers_)
        if (b.memory.data() == addr && b.mappings > 0) --b.mappings;
    for (auto it = orphans_.begin(); it != orphans_.end();) {
        if (it->memory.data() == addr) --it->mappings;
        it = it->mappings > 0 ? it + 1 : orphans_.erase(it);
    }
    const auto mapped = mapper_.find(addr);
    if (mapped == mapper_.end()) return;
    const int fd = mapped->second;
    mapper_.erase(mapped);
    // The last mapping of a closed descriptor lets the close take effect.
    if (closing_.count(fd) != 0 && !mapsThrough(fd)) {
        closing_.erase(fd);
        release(fd);
    }
}

bool V4l2CaptureNode::mapsThrough(int fd) const
{
    for (const auto& m : mapper_)
        if (m.second == fd) return true;
    return false;
}

short V4l2CaptureNode::poll(int, short events, int timeout_ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    const auto error = [this, events]() -> short {
        if (disconnected_) return POLLERR | POLLHUP;
        // Nothing to wait for: not streaming, or no buffer queued since STREAMON.
        if (!streaming_ || (waiting_for_buffers_ && (events & (POLLIN | POLLRDNORM)) != 0)) return POLLERR;
        return 0;
    };
    if (error() != 0) return error();
    auto settled = [this, &error] { return error() != 0 || ready(); };
    if (timeout_ms < 0) changed_.wait(lock, settled);
    else changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), settled);
    if (error() != 0) return error();
    if (!ready()) return 0;
    filled_ = std::max<size_t>(filled_, 1);
    return static_cast<short>(events & (POLLIN | POLLRDNORM));
}

int V4l2CaptureNode::onOpen(int fd, int flags)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if ((flags & O_NONBLOCK) != 0) nonblocking_.insert(fd);
    return 0;
}

// A mapping keeps its descriptor's file open: the close takes effect at the last unmap.
void V4l2CaptureNode::onClose(int fd)
{
    std::lock_guard<std::mutex> lock(mutex_);
    nonblocking_.erase(fd);
    if (mapsThrough(fd)) closing_.insert(fd);
    else release(fd);
}

// Only the owner's release ends the stream and lets go of the buffers, so a program that
// could not hand them back starts afresh.
void V4l2CaptureNode::release(int fd)
{
    if (fd != owner_) return;
    owner_ = -1;
    streaming_ = false;
    waiting_for_buffers_ = true;
    releaseBuffers();
    changed_.notify_all();
}

void V4l2CaptureNode::setSource(ImageSource source)
{
    std::lock_guard<std::mutex> lock(mutex_);
    source_ = std::move(source);
}

void V4l2CaptureNode::setCapabilities(uint32_t device_caps)
{
    std::lock_guard<std::mutex> lock(mutex_);
    caps_override_ = device_caps;
}

void V4l2CaptureNode::setGrant(int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    grant_ = count;
}

void V4l2CaptureNode::setExtraBytes(size_t bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    extra_bytes_ = bytes;
}

void V4l2CaptureNode::pushTimestamps(const std::vector<timeval>& stamps)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stamps_.insert(stamps_.end(), stamps.begin(), stamps.end());
}

void V4l2CaptureNode::reportIndexOnce(uint32_t index)
{
    std::lock_guard<std::mutex> lock(mutex_);
    report_index_ = index;
}

void V4l2CaptureNode::stopDelivering(bool stalled)
{
    std::lock_guard<std::mutex> lock(mutex_);
    stalled_ = stalled;
    changed_.notify_all();
}

void V4l2CaptureNode::disconnect()
{
    std::lock_guard<std::mutex> lock(mutex_);
    disconnected_ = true;
    changed_.notify_all();
}

bool V4l2CaptureNode::streaming() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return streaming_;
}

int V4l2CaptureNode::queuedBuffers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(queue_.size());
}

int V4l2CaptureNode::selectedInput() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return input_;
}

uint32_t V4l2CaptureNode::pixelFormat() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pixel_format_;
}

uint32_t V4l2CaptureNode::width() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.width;
}

uint32_t V4l2CaptureNode::height() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_.height;
}

uint64_t V4l2CaptureNode::delivered() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sequence_;
}

size_t V4l2CaptureNode::bufferLength() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return imageSize();
}

uint32_t V4l2CaptureNode::bufferCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<uint32_t>(buffers_.size());
}

}  // namespace sim
}  // namespace Telmora
