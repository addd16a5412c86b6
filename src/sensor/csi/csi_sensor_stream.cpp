// Streaming: capture format, memory-mapped buffers, dequeue and conversion of captures.
#include <linux/media-bus-format.h>
#include <linux/v4l2-subdev.h>
#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "sensor/csi/csi_sensor.hpp"
#include "sensor/csi/v4l2_buffer_record.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"
#include "sys/sys.hpp"

namespace Telmora {

namespace {

#ifndef V4L2_PIX_FMT_Y12P
// Packed 12-bit greyscale, two samples in three bytes (newer kernel headers define it).
#define V4L2_PIX_FMT_Y12P v4l2_fourcc('Y', '1', '2', 'P')
#endif

constexpr uint32_t kStrippedBufferLength = 92160;  // 180 lines of 512 bytes
constexpr int64_t kRegroupGapUs = 5000;

uint32_t pixelFormatOf(const v4l2_format& fmt)
{
    return fmt.type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE ? fmt.fmt.pix_mp.pixelformat : fmt.fmt.pix.pixelformat;
}

int64_t microseconds(const timeval& t)
{
    return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_usec;
}

}  // namespace

int TelmoraTOFCSISensor::start()
{
    stream_width_ = info.width;
    stream_height_ = info.height;
    if (setFormat() != 0) return -1;
    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = buffer_type;
    req.memory = V4L2_MEMORY_MMAP;
    if (v4l2Ioctl(fd, VIDIOC_REQBUFS, &req) != 0) return -1;
    // Use what the driver granted, up to the table's size; nothing to stream without any.
    if (req.count == 0) return -1;
    const uint32_t count = std::min<uint32_t>(req.count, kBufferCount);
    buffer_count = 0;
    // A start that fails half-way unmaps what it mapped: the mappings would outlive the
    // stream and keep the next start from getting buffers.
    for (uint32_t i = 0; i < count; ++i) {
        if (prepareBuffer(i) != 0) {
            abandonBuffers();
            return -1;
        }
    }
    uint32_t type = buffer_type;
    if (v4l2Ioctl(fd, VIDIOC_STREAMON, &type) != 0) {
        abandonBuffers();
        return -2;
    }
    return 0;
}

int TelmoraTOFCSISensor::prepareBuffer(uint32_t index)
{
    V4l2BufferRecord rec(buffer_type, index);
    if (v4l2Ioctl(fd, VIDIOC_QUERYBUF, &rec.buf) != 0) return -1;
    // For multi-planar records the length field is the plane count, so the platform decides.
    if (rec.buf.length == kStrippedBufferLength) convert = strip_line_padding;
    else if (platform == PLATFORM_JETSON) convert = reorder_line_pairs;
    else if (platform == PLATFORM_RASPBERRY_PI_5) convert = unpack_y12p;
    else convert = copy_raw;
    void* addr = sys::mmap(nullptr, rec.mapLength(), PROT_READ | PROT_WRITE, MAP_SHARED, fd,
                           static_cast<off_t>(rec.mapOffset()));
    if (addr == MAP_FAILED) return -1;
    buffers[index] = addr;
    mapped_lengths_[index] = rec.mapLength();
    buffer_count = static_cast<int>(index) + 1;
    if (v4l2Ioctl(fd, VIDIOC_QBUF, &rec.buf) != 0) return -1;
    return 0;
}

int TelmoraTOFCSISensor::setFormat()
{
    if (fd < 0) return 0;
    v4l2_format fmt{};
    fmt.type = buffer_type;
    if (buffer_type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        fmt.fmt.pix_mp.width = info.width;
        fmt.fmt.pix_mp.height = info.height;
        fmt.fmt.pix_mp.field = V4L2_FIELD_NONE;
        fmt.fmt.pix_mp.pixelformat = V4L2_PIX_FMT_Y12;
        fmt.fmt.pix_mp.num_planes = 1;
        fmt.fmt.pix_mp.plane_fmt[0].bytesperline = 2 * info.width;
        fmt.fmt.pix_mp.plane_fmt[0].sizeimage = 2 * info.width * info.height;
    } else {
        fmt.fmt.pix.width = info.width;
        fmt.fmt.pix.height = info.height;
        fmt.fmt.pix.field = V4L2_FIELD_NONE;
        fmt.fmt.pix.pixelformat =
            platform == PLATFORM_RASPBERRY_PI_5 ? V4L2_PIX_FMT_Y12P : V4L2_PIX_FMT_Y12;
    }
    const uint32_t wanted = pixelFormatOf(fmt);
    if (v4l2Ioctl(fd, VIDIOC_TRY_FMT, &fmt) != 0) return -1;
    // A driver without our sample layout offers another in its place; its bytes would be
    // read as 12-bit samples. Jetson boards are read in their capture driver's own layout
    // (samples in the high bits, padded or paired lines) whatever format it names.
    const bool jetson = platform == PLATFORM_JETSON || platform == PLATFORM_JETSON_NANO;
    if (!jetson && pixelFormatOf(fmt) != wanted) return -1;
    if (v4l2Ioctl(fd, VIDIOC_S_FMT, &fmt) != 0) return -1;
    if (hasMediaGraph() && setSubdevFormats() != 0) return -1;
    uint32_t width = 0, height = 0;
    if (readBackFormat(width, height) != 0) return -2;
    return width != info.width || height != info.height ? -1 : 0;
}

int TelmoraTOFCSISensor::setSubdevFormats()
{
    for (int i = 0; i < subdev_count; ++i) {
        v4l2_subdev_format sf{};
        sf.which = V4L2_SUBDEV_FORMAT_ACTIVE;
        sf.pad = 0;
        sf.format.width = info.width;
        sf.format.height = info.height;
        sf.format.code = MEDIA_BUS_FMT_Y12_1X12;
        sf.format.field = V4L2_FIELD_NONE;
        if (v4l2Ioctl(subdev_fds[i], VIDIOC_SUBDEV_S_FMT, &sf) != 0) return -1;
    }
    return 0;
}

int TelmoraTOFCSISensor::readBackFormat(uint32_t& width, uint32_t& height)
{
    if (hasMediaGraph()) {
        v4l2_subdev_format sf{};
        if (v4l2Ioctl(currentSubdev(), VIDIOC_SUBDEV_G_FMT, &sf, 1) != 0) return -1;
        width = sf.format.width;
        height = sf.format.height;
        return 0;
    }
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (v4l2Ioctl(fd, VIDIOC_G_FMT, &fmt, 1) != 0) return -1;
    width = fmt.fmt.pix.width;
    height = fmt.fmt.pix.height;
    return 0;
}

int TelmoraTOFCSISensor::currentSubdev() const
{
    return subdev_index < subdev_count ? subdev_fds[subdev_index] : -1;
}

size_t TelmoraTOFCSISensor::cacheRoom() const
{
    return size_t{2} * stream_width_ * stream_height_ * static_cast<size_t>(frame_count);
}

int TelmoraTOFCSISensor::waitForBuffer()
{
    pollfd p{};
    p.fd = fd;
    p.events = POLLIN;
    int r;
    do {
        r = sys::poll(&p, 1, kDequeueTimeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return -1;  // nothing delivered within the bound
    if (r < 0) return -2;
    // An error without a filled buffer: the queue is not streaming, is broken, or has
    // nothing queued, where a blocking dequeue would wait for ever.
    return (p.revents & POLLIN) != 0 ? 0 : -2;
}

int TelmoraTOFCSISensor::getFrame(uint8_t* cache, uint64_t* timestamp)
{
    const int n = frame_count;
    if (n <= 0) {
        *timestamp = 0;
        return 0;
    }
    const size_t room = cacheRoom();
    int k = 0;
    size_t pos = 0;
    timeval previous{0, 0};
    while (k < n) {
        const int wait = waitForBuffer();
        if (wait != 0) return wait;
        V4l2BufferRecord rec(buffer_type, 0);
        if (v4l2Ioctl(fd, VIDIOC_DQBUF, &rec.buf) != 0) return -2;
        const uint32_t index = rec.buf.index;
        if (index >= static_cast<uint32_t>(buffer_count)) return 2;
        if (k > 0 && microseconds(rec.buf.timestamp) - microseconds(previous) > kRegroupGapUs) {
            k = 0;
            pos = 0;
        }
        const auto* src = static_cast<const uint8_t*>(buffers[index]);
        if (rec.multiPlanar()) {
            // Only one plane record was handed to the driver.
            const uint32_t planes = std::min<uint32_t>(rec.buf.length, 1);
            for (uint32_t p = 0; p < planes; ++p) convert(src, cache, rec.plane.length, stream_width_, &pos, room);
        } else {
            convert(src, cache, rec.buf.length, stream_width_, &pos, room);
        }
        previous = rec.buf.timestamp;
        if (v4l2Ioctl(fd, VIDIOC_QBUF, &rec.buf) != 0) return -2;
        ++k;
    }
    *timestamp = static_cast<uint64_t>(previous.tv_sec) * 1000 + static_cast<uint64_t>(previous.tv_usec) / 1000;
    return 0;
}

int TelmoraTOFCSISensor::stop()
{
    uint32_t type = buffer_type;
    // A failed step does not end the stop: the buffers are unmapped and handed back whatever
    // the driver answers (a device that is gone answers nothing), so none stays mapped.
    bool failed = v4l2Ioctl(fd, VIDIOC_STREAMOFF, &type) != 0;
    for (int i = 0; i < buffer_count; ++i) {
        V4l2BufferRecord rec(buffer_type, static_cast<uint32_t>(i));
        size_t length = mapped_lengths_[i];
        if (!failed) {
            if (v4l2Ioctl(fd, VIDIOC_QUERYBUF, &rec.buf) == 0) length = rec.mapLength();
            else failed = true;
        }
        if (sys::munmap(buffers[i], length) != 0) failed = true;
    }
    buffer_count = 0;  // a second stop must not unmap the same addresses again
    // Hand the buffers back so the next start may set a new format.
    v4l2_requestbuffers release{};
    release.type = buffer_type;
    release.memory = V4L2_MEMORY_MMAP;
    if (v4l2Ioctl(fd, VIDIOC_REQBUFS, &release) != 0) failed = true;
    return failed ? -2 : 0;
}

void TelmoraTOFCSISensor::abandonBuffers()
{
    for (int i = 0; i < buffer_count; ++i) sys::munmap(buffers[i], mapped_lengths_[i]);
    buffer_count = 0;
    v4l2_requestbuffers release{};
    release.type = buffer_type;
    release.memory = V4L2_MEMORY_MMAP;
    v4l2Ioctl(fd, VIDIOC_REQBUFS, &release);
}

}  // namespace Telmora
