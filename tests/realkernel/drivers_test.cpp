// The boot itself: the drivers the other tests rely on are loaded and answer as expected.
// A failure here means the test environment is broken, not the library.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <set>
#include <string>

#include "drivers.hpp"

namespace {

TEST(Drivers, VividCaptureNodeStreamsAndOffersTwelveBitGrey)
{
    const std::string node = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
    ASSERT_NE(node, "") << "no vivid capture node";
    const int fd = ::open(node.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    v4l2_capability cap{};
    ASSERT_EQ(::ioctl(fd, VIDIOC_QUERYCAP, &cap), 0);
    EXPECT_NE(cap.capabilities & V4L2_CAP_STREAMING, 0u);

    std::set<uint32_t> formats;
    v4l2_fmtdesc desc{};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    while (::ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0) {
        formats.insert(desc.pixelformat);
        ++desc.index;
    }
    EXPECT_EQ(formats.count(V4L2_PIX_FMT_Y12), 1u);
    ::close(fd);
}

TEST(Drivers, StubAdapterHasACharacterDevice)
{
    const int bus = realkernel::stubBus();
    ASSERT_GE(bus, 0) << "i2c-stub is not loaded";
    struct stat st {};
    ASSERT_EQ(::stat(("/dev/i2c-" + std::to_string(bus)).c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
