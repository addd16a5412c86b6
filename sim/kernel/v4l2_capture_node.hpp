// A V4L2 video capture node ("/dev/videoN") of the in-memory kernel: single- or
// multi-planar capture with memory-mapped buffers. Each dequeued buffer carries one sensor
// image made by an image source and laid out the way the board delivers it.
//
// Queue rules follow the kernel's buffer framework as the Linux virtual capture driver
// shows them: the descriptor that requests buffers owns the queue (others get EBUSY); a
// request is raised to 2 and cut to 32 buffers; one queued buffer is enough to capture;
// buffers still mapped when a new request lets go of them live on until unmapped; a
// mapping keeps its descriptor's file (and the queue it owns) open after close until
// unmapped; STREAMOFF keeps the buffers; poll reports POLLERR on a queue that is not
// streaming or has had no buffer queued since STREAMON; a non-blocking dequeue with
// nothing filled says EAGAIN; buffers are stamped from the monotonic clock.
//
// Faults a test can inject: a smaller or larger buffer grant, buffers longer than the image,
// a reported index of its choice, timestamps of its choice, a device that stops delivering
// (poll times out and dequeue blocks, once the buffer a poll already reported filled has been
// taken) and a disconnected device (dequeue fails with ENODEV).
#pragma once

#include <sys/time.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "device_model.hpp"
#include "frame_encoding.hpp"

namespace Telmora {
namespace sim {

class V4l2CaptureNode : public DeviceModel {
public:
    // Fills one width x height image of 12-bit codes for the `sequence`-th delivered buffer.
    using ImageSource = std::function<void(uint64_t sequence, uint32_t width, uint32_t height,
                                           uint16_t* image)>;

    struct Config {
        bool multi_planar = false;
        uint32_t width = 240;  // current format until S_FMT changes it
        uint32_t height = 180;
        FrameEncoding encoding = FrameEncoding::Low12;
        // Stamp of the first buffer; kMonotonicClock: the monotonic clock at STREAMON.
        int64_t first_timestamp_us = kMonotonicClock;
        int64_t frame_period_us = 1000;  // between two buffers' stamps
        uint32_t min_buffers = 2;        // a request is raised to this many ...
        uint32_t max_buffers = 32;       // ... and cut to this many
    };
    static constexpr int64_t kMonotonicClock = -1;

    explicit V4l2CaptureNode(const Config& config);

    int ioctl(int fd, unsigned long request, void* arg) override;
    void* mmap(int fd, size_t length, off_t offset) override;
    void munmap(void* addr, size_t length) override;
    short poll(int fd, short events, int timeout_ms) override;
    int onOpen(int fd, int flags) override;
    void onClose(int fd) override;

    // Configuration and faults.
    void setSource(ImageSource source);
    void setCapabilities(uint32_t device_caps);  // replaces the derived capabilities
    void setGrant(int count);                    // buffers granted per request (-1: the rule)
    void setExtraBytes(size_t bytes);            // buffer length beyond the image
    void pushTimestamps(const std::vector<timeval>& stamps);  // used before the clock
    void reportIndexOnce(uint32_t index);        // next dequeue reports this index
    void stopDelivering(bool stalled);           // dequeue blocks, poll reports nothing
    void disconnect();                           // dequeue fails with ENODEV from now on

    // Observation.
    bool streaming() const;
    int queuedBuffers() const;
    int selectedInput() const;  // -1 until S_INPUT
    uint32_t pixelFormat() const;
    uint32_t width() const;
    uint32_t height() const;
    uint64_t delivered() const;
    size_t bufferLength() const;
    uint32_t bufferCount() const;

private:
    struct Buffer {
        std::vector<uint8_t> memory;
        bool queued = false;
        int mappings = 0;
    };

    uint32_t bufferType() const;
    int formatTypeError(uint32_t type) const;
    bool busyFor(int fd) const;
    void releaseBuffers();
    void release(int fd);
    bool mapsThrough(int fd) const;
    void startClock();
    uint32_t nativePixelFormat() const;
    size_t imageSize() const;
    void fillFormat(void* arg) const;
    int tryFormat(void* arg, bool apply);
    int requestBuffers(int fd, void* arg);
    int queryBuffer(void* arg) const;
    int queueBuffer(int fd, void* arg);
    int dequeueBuffer(int fd, std::unique_lock<std::mutex>& lock, void* arg);
    int streamOn(int fd, void* arg);
    int streamOff(int fd, void* arg);
    void describe(uint32_t index, void* arg) const;
    bool ready() const;
    timeval nextTimestamp();
    size_t mapStride() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Config config_;
    ImageSource source_;
    uint32_t caps_override_ = 0;
    int grant_ = -1;
    size_t extra_bytes_ = 0;
    std::deque<timeval> stamps_;
    int64_t clock_us_;
    int64_t report_index_ = -1;
    bool stalled_ = false;
    bool disconnected_ = false;
    bool streaming_ = false;
    bool waiting_for_buffers_ = true;  // nothing queued since STREAMON or the request
    int owner_ = -1;                   // descriptor that holds the buffers
    std::set<int> nonblocking_;
    std::vector<Buffer> orphans_;
    std::map<const void*, int> mapper_;  // mapped address -> descriptor it was mapped through
    std::set<int> closing_;              // closed, but kept open by a mapping
    int input_ = -1;
    uint32_t pixel_format_;
    std::vector<Buffer> buffers_;
    std::deque<uint32_t> queue_;
    size_t filled_ = 0;  // buffers at the queue's head a poll has reported filled
    std::vector<uint16_t> image_;
    uint64_t sequence_ = 0;
};

}  // namespace sim
}  // namespace Telmora
