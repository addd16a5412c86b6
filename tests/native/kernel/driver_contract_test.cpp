// The driver contract: queue ownership, buffer grants and flags, mappings that outlive the
// queue, poll and dequeue without a filled buffer, format calls, timestamps and the I2C
// adapter's settings, as the kernel's own drivers answer them. Built into the native kernel
// suite and into the real-kernel test program (see driver_contract.hpp).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "driver_contract.hpp"
#include "sensor/csi/v4l2_buffer_record.hpp"
#include "sys/sys.hpp"

namespace sys = Telmora::sys;

namespace {

constexpr int kFilledWithinMs = 5000;  // emulated machines fill a buffer in ~200 ms

int64_t monotonicUs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

using Record = Telmora::V4l2BufferRecord;

class CaptureContract : public testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override
    {
        node_ = contract::captureNode(type());
        if (node_.empty()) GTEST_SKIP() << "no capture node of this type here";
    }
    void TearDown() override
    {
        for (const auto& m : maps_) sys::munmap(m.first, m.second);
        for (int fd : fds_) sys::close(fd);
    }

    uint32_t type() const { return GetParam(); }
    uint32_t otherType() const
    {
        return type() == V4L2_BUF_TYPE_VIDEO_CAPTURE ? V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE : V4L2_BUF_TYPE_VIDEO_CAPTURE;
    }

    int open(int flags = 0)
    {
        const int fd = sys::open(node_.c_str(), O_RDWR | flags);
        EXPECT_GE(fd, 0) << node_;
        if (fd >= 0) fds_.push_back(fd);
        return fd;
    }
    void close(int fd)
    {
        for (size_t i = 0; i < fds_.size(); ++i) {
            if (fds_[i] == fd) fds_.erase(fds_.begin() + static_cast<long>(i));
        }
        EXPECT_EQ(sys::close(fd), 0);
    }
    // The count granted, or -errno.
    int request(int fd, uint32_t count, uint32_t buffer_type = 0)
    {
        v4l2_requestbuffers req{};
        req.count = count;
        req.type = buffer_type != 0 ? buffer_type : type();
        req.memory = V4L2_MEMORY_MMAP;
        return sys::ioctl(fd, VIDIOC_REQBUFS, &req) == 0 ? static_cast<int>(req.count) : -errno;
    }
    // 0 or -errno, for the buffer calls taking a record.
    int call(int fd, unsigned long request, Record& r) { return sys::ioctl(fd, request, &r.buf) == 0 ? 0 : -errno; }
    int call(int fd, unsigned long request, uint32_t index)
    {
        Record r(type(), index);
        return call(fd, request, r);
    }
    int stream(int fd, bool on)
    {
        uint32_t t = type();
        return sys::ioctl(fd, on ? VIDIOC_STREAMON : VIDIOC_STREAMOFF, &t) == 0 ? 0 : -errno;
    }
    Record query(int fd, uint32_t index)
    {
        Record r(type(), index);
        EXPECT_EQ(call(fd, VIDIOC_QUERYBUF, r), 0) << "buffer " << index;
        return r;
    }
    uint8_t* map(int fd, uint32_t index)
    {
        const Record r = query(fd, index);
        void* addr = sys::mmap(nullptr, r.mapLength(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, r.mapOffset());
        EXPECT_NE(addr, MAP_FAILED);
        if (addr == MAP_FAILED) return nullptr;
        maps_.emplace_back(addr, r.mapLength());
        return static_cast<uint8_t*>(addr);
    }
    int unmap(uint8_t* addr)
    {
        for (size_t i = 0; i < maps_.size(); ++i) {
            if (maps_[i].first != addr) continue;
            const size_t length = maps_[i].second;
            maps_.erase(maps_.begin() + static_cast<long>(i));
            return sys::munmap(addr, length);
        }
        ADD_FAILURE() << "not mapped by this test";
        return -1;
    }
    short pollFor(int fd, int timeout_ms)
    {
        pollfd p{fd, POLLIN, 0};
        const int n = sys::poll(&p, 1, timeout_ms);
        return n > 0 ? p.revents : static_cast<short>(n);
    }
    v4l2_format format(int fd)
    {
        v4l2_format f{};
        f.type = type();
        EXPECT_EQ(sys::ioctl(fd, VIDIOC_G_FMT, &f), 0);
        return f;
    }

    std::string node_;
    std::vector<int> fds_;
    std::vector<std::pair<void*, size_t>> maps_;
};

TEST_P(CaptureContract, RequestIsRaisedToTwoAndCutToThirtyTwo)
{
    const int fd = open();
    EXPECT_EQ(request(fd, 1), 2);
    EXPECT_EQ(request(fd, 100), 32);
    EXPECT_EQ(request(fd, 0), 0);
    EXPECT_EQ(call(fd, VIDIOC_QUERYBUF, 0), -EINVAL) << "no buffer after a request for none";
    EXPECT_EQ(request(fd, 2, otherType()), -EINVAL);
}

TEST_P(CaptureContract, BufferRecordDescribesOneMappableImage)
{
    const int fd = open();
    const v4l2_format f = format(fd);
    const uint32_t size = type() == V4L2_BUF_TYPE_VIDEO_CAPTURE ? f.fmt.pix.sizeimage : f.fmt.pix_mp.plane_fmt[0].sizeimage;
    ASSERT_EQ(request(fd, 2), 2);
    const Record a = query(fd, 0), b = query(fd, 1);
    EXPECT_GE(a.mapLength(), size);
    EXPECT_EQ(a.mapOffset() % 4096, 0u);
    EXPECT_NE(a.mapOffset(), b.mapOffset());
    if (a.multiPlanar()) {
        EXPECT_EQ(a.buf.length, 1u) << "the length field of a multi-planar record is its plane count";
        Record none(type(), 0);
        none.buf.length = 0;
        EXPECT_EQ(call(fd, VIDIOC_QUERYBUF, none), -EINVAL) << "a record without room for a plane";
    }
}

TEST_P(CaptureContract, MappedFlagFollowsTheMapping)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 2), 2);
    EXPECT_EQ(query(fd, 0).buf.flags & V4L2_BUF_FLAG_MAPPED, 0u);
    EXPECT_EQ(query(fd, 0).buf.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC);
    uint8_t* addr = map(fd, 0);
    ASSERT_NE(addr, nullptr);
    EXPECT_NE(query(fd, 0).buf.flags & V4L2_BUF_FLAG_MAPPED, 0u);
    EXPECT_EQ(query(fd, 1).buf.flags & V4L2_BUF_FLAG_MAPPED, 0u);
    EXPECT_EQ(call(fd, VIDIOC_QBUF, 0), 0);
    EXPECT_NE(query(fd, 0).buf.flags & V4L2_BUF_FLAG_QUEUED, 0u);
    EXPECT_EQ(call(fd, VIDIOC_QBUF, 0), -EINVAL) << "queued twice";
    EXPECT_EQ(unmap(addr), 0);
    EXPECT_EQ(query(fd, 0).buf.flags & V4L2_BUF_FLAG_MAPPED, 0u);
}

TEST_P(CaptureContract, UnmappingWhatIsNoLongerMappedSucceeds)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 2), 2);
    const Record r = query(fd, 0);
    void* addr = sys::mmap(nullptr, r.mapLength(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, r.mapOffset());
    ASSERT_NE(addr, MAP_FAILED);
    EXPECT_EQ(sys::munmap(addr, r.mapLength()), 0);
    EXPECT_EQ(sys::munmap(addr, r.mapLength()), 0) << "nothing mapped there any more is not an error";
    EXPECT_EQ(sys::munmap(addr, 0), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_P(CaptureContract, NewRequestWhileMappedKeepsTheOldMappingAlive)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 2), 2);
    uint8_t* addr = map(fd, 0);
    ASSERT_NE(addr, nullptr);
    std::memset(addr, 0x3C, 4096);
    EXPECT_EQ(request(fd, 0), 0) << "the queue lets go of a mapped buffer";
    EXPECT_EQ(call(fd, VIDIOC_QUERYBUF, 0), -EINVAL);
    EXPECT_EQ(addr[0], 0x3C);
    EXPECT_EQ(addr[4095], 0x3C);
    addr[1] = 0x11;  // still writable
    EXPECT_EQ(request(fd, 2), 2);
    EXPECT_EQ(query(fd, 0).buf.flags & V4L2_BUF_FLAG_MAPPED, 0u) << "a new buffer, not the orphaned one";
    EXPECT_EQ(unmap(addr), 0);
}

TEST_P(CaptureContract, FormatCallsOfTheOtherPlanarityAreMissing)
{
    const int fd = open();
    for (unsigned long request : {VIDIOC_G_FMT, VIDIOC_TRY_FMT, VIDIOC_S_FMT}) {
        v4l2_format f{};
        f.type = otherType();
        EXPECT_EQ(sys::ioctl(fd, request, &f), -1);
        EXPECT_EQ(errno, ENOTTY) << "request " << std::hex << request;
    }
}

TEST_P(CaptureContract, UnknownPixelFormatIsReplacedNotRefused)
{
    const int fd = open();
    v4l2_format f = format(fd);
    const uint32_t unknown = v4l2_fourcc('Z', 'Z', 'Z', 'Z');
    if (type() == V4L2_BUF_TYPE_VIDEO_CAPTURE) f.fmt.pix.pixelformat = unknown;
    else f.fmt.pix_mp.pixelformat = unknown;
    ASSERT_EQ(sys::ioctl(fd, VIDIOC_TRY_FMT, &f), 0);
    const uint32_t offered = type() == V4L2_BUF_TYPE_VIDEO_CAPTURE ? f.fmt.pix.pixelformat : f.fmt.pix_mp.pixelformat;
    EXPECT_NE(offered, unknown);
    EXPECT_NE(offered, 0u);
}

TEST_P(CaptureContract, FormatIsFixedWhileBuffersExistEvenAfterStreamOff)
{
    const int fd = open();
    v4l2_format f = format(fd);
    ASSERT_EQ(request(fd, 2), 2);
    EXPECT_EQ(sys::ioctl(fd, VIDIOC_S_FMT, &f), -1);
    EXPECT_EQ(errno, EBUSY);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 0), 0);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 1), 0);
    ASSERT_EQ(stream(fd, true), 0);
    EXPECT_EQ(stream(fd, true), 0) << "a second STREAMON is no error";
    ASSERT_EQ(stream(fd, false), 0);
    // STREAMOFF hands the buffers back without freeing them.
    const Record r = query(fd, 0);
    EXPECT_EQ(r.buf.flags & V4L2_BUF_FLAG_QUEUED, 0u);
    EXPECT_EQ(sys::ioctl(fd, VIDIOC_S_FMT, &f), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(request(fd, 0), 0);
    EXPECT_EQ(sys::ioctl(fd, VIDIOC_S_FMT, &f), 0);
}

TEST_P(CaptureContract, PollReportsAnErrorUntilABufferIsQueued)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 2), 2);
    EXPECT_EQ(pollFor(fd, 0), POLLERR) << "not streaming";
    ASSERT_EQ(stream(fd, true), 0);
    EXPECT_EQ(pollFor(fd, 0), POLLERR) << "streaming with nothing queued";
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 0), 0);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 1), 0);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(pollFor(fd, kFilledWithinMs) & POLLIN, 0) << "buffer " << i;
        Record r(type(), 0);
        EXPECT_EQ(call(fd, VIDIOC_DQBUF, r), 0);
    }
    EXPECT_EQ(pollFor(fd, 300), 0) << "every buffer held: poll waits";
    EXPECT_EQ(stream(fd, false), 0);
    EXPECT_EQ(pollFor(fd, 0), POLLERR);
}

TEST_P(CaptureContract, OneQueuedBufferIsEnoughToCapture)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 3), 3);
    ASSERT_EQ(stream(fd, true), 0);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 2), 0);
    EXPECT_NE(pollFor(fd, kFilledWithinMs) & POLLIN, 0);
    Record r(type(), 0);
    ASSERT_EQ(call(fd, VIDIOC_DQBUF, r), 0);
    EXPECT_EQ(r.buf.index, 2u);
    EXPECT_EQ(r.buf.flags & V4L2_BUF_FLAG_QUEUED, 0u);
}

TEST_P(CaptureContract, NonBlockingDequeueWithNothingFilledSaysTryAgain)
{
    const int fd = open(O_NONBLOCK);
    ASSERT_EQ(request(fd, 2), 2);
    ASSERT_EQ(stream(fd, true), 0);
    Record r(type(), 0);
    EXPECT_EQ(call(fd, VIDIOC_DQBUF, r), -EAGAIN);
    ASSERT_EQ(stream(fd, false), 0);
    EXPECT_EQ(call(fd, VIDIOC_DQBUF, r), -EINVAL) << "not streaming";
}

TEST_P(CaptureContract, TheDescriptorThatRequestedOwnsTheQueue)
{
    const int owner = open();
    const int other = open();
    ASSERT_EQ(request(owner, 2), 2);
    EXPECT_EQ(request(other, 2), -EBUSY);
    EXPECT_EQ(request(other, 0), -EBUSY);
    EXPECT_EQ(call(other, VIDIOC_QBUF, 0), -EBUSY);
    EXPECT_EQ(stream(other, true), -EBUSY);
    Record r = query(other, 1);  // anyone may look
    EXPECT_EQ(r.buf.index, 1u);
    close(other);  // does not touch the owner's stream
    ASSERT_EQ(call(owner, VIDIOC_QBUF, 0), 0);
    ASSERT_EQ(call(owner, VIDIOC_QBUF, 1), 0);
    ASSERT_EQ(stream(owner, true), 0);
    EXPECT_NE(pollFor(owner, kFilledWithinMs) & POLLIN, 0);
    close(owner);
    const int next = open();
    EXPECT_EQ(request(next, 2), 2) << "the owner's close freed the queue";
}

TEST_P(CaptureContract, MappingKeepsItsClosedOwnerUntilUnmapped)
{
    const int owner = open();
    ASSERT_EQ(request(owner, 2), 2);
    uint8_t* addr = map(owner, 1);
    ASSERT_NE(addr, nullptr);
    std::memset(addr, 0x5A, 64);
    close(owner);
    EXPECT_EQ(addr[63], 0x5A);
    // The mapping holds the closed descriptor's file, and with it the queue, until unmapped.
    const int next = open();
    EXPECT_EQ(request(next, 2), -EBUSY);
    EXPECT_EQ(unmap(addr), 0);
    EXPECT_EQ(request(next, 2), 2);
}

TEST_P(CaptureContract, StampsFollowTheMonotonicClock)
{
    const int fd = open();
    ASSERT_EQ(request(fd, 2), 2);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 0), 0);
    ASSERT_EQ(call(fd, VIDIOC_QBUF, 1), 0);
    ASSERT_EQ(stream(fd, true), 0);
    int64_t previous = 0;
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(pollFor(fd, kFilledWithinMs) & POLLIN, 0) << "buffer " << i;
        Record r(type(), 0);
        ASSERT_EQ(call(fd, VIDIOC_DQBUF, r), 0);
        const int64_t stamp = static_cast<int64_t>(r.buf.timestamp.tv_sec) * 1000000 + r.buf.timestamp.tv_usec;
        EXPECT_LT(std::llabs(stamp - monotonicUs()), 1000000) << "buffer " << i;
        EXPECT_GT(stamp, previous);
        EXPECT_EQ(r.buf.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK, V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC);
        previous = stamp;
        ASSERT_EQ(call(fd, VIDIOC_QBUF, r), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, CaptureContract,
                         testing::Values(uint32_t{V4L2_BUF_TYPE_VIDEO_CAPTURE}, uint32_t{V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE}),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                             return std::string(i.param == V4L2_BUF_TYPE_VIDEO_CAPTURE ? "SinglePlanar" : "MultiPlanar");
                         });

TEST(I2cContract, SettingsAnIntCannotHoldAreRefused)
{
    const std::string path = contract::i2cAdapter();
    if (path.empty()) GTEST_SKIP() << "no I2C adapter here";
    const int fd = sys::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const auto set = [fd](unsigned long request, unsigned long value) {
        return sys::ioctl(fd, request, reinterpret_cast<void*>(value)) == 0 ? 0 : -errno;
    };
    const unsigned long beyond = static_cast<unsigned long>(INT_MAX) + 1;
    // The timeout is given in 10 ms units: the limit is an int of milliseconds.
    EXPECT_EQ(set(I2C_TIMEOUT, 10), 0);
    EXPECT_EQ(set(I2C_TIMEOUT, INT_MAX / 10), 0);
    EXPECT_EQ(set(I2C_TIMEOUT, INT_MAX / 10 + 1), -EINVAL);
    EXPECT_EQ(set(I2C_TIMEOUT, beyond), -EINVAL);
    EXPECT_EQ(set(I2C_RETRIES, 3), 0);
    EXPECT_EQ(set(I2C_RETRIES, INT_MAX), 0);
    EXPECT_EQ(set(I2C_RETRIES, beyond), -EINVAL);
    EXPECT_EQ(set(I2C_SLAVE, contract::kChipAddress), 0);
    EXPECT_EQ(set(I2C_SLAVE, 0x80), -EINVAL) << "seven-bit addresses only";
    sys::close(fd);
}

}  // namespace
