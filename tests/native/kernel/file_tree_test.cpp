#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fake_kernel.hpp"
#include "sys/sys.hpp"
#include "sys/text_file.hpp"

using Telmora::sim::FakeKernel;
namespace sys = Telmora::sys;

class FileTree : public ::testing::Test {
protected:
    void SetUp() override { FakeKernel::instance().reset(); }
    FakeKernel& k() { return FakeKernel::instance(); }
};

TEST_F(FileTree, ReadsTextFilesThroughTheSeam)
{
    k().file("/proc/bus/i2c", "i2c-1\ti2c\tbcm2835 I2C adapter\tI2C adapter\n");
    int fd = sys::open("/proc/bus/i2c", O_RDONLY);
    ASSERT_GE(fd, 0);
    char buf[8];
    EXPECT_EQ(sys::read(fd, buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), "i2c-1");
    EXPECT_EQ(k().openDescriptors(), 1);
    EXPECT_EQ(sys::close(fd), 0);
    EXPECT_EQ(k().openDescriptors(), 0);
    EXPECT_EQ(sys::close(fd), -1);
    EXPECT_EQ(errno, EBADF);
}

TEST_F(FileTree, DirectoriesListInInsertionOrder)
{
    k().dir("/sys/dev/x/device/media1").dir("/sys/dev/x/device/media0").file("/sys/dev/x/device/name", "n");
    std::vector<std::string> names;
    ASSERT_EQ(sys::listDir("/sys/dev/x/device", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "media1", "media0", "name"}));
    EXPECT_EQ(sys::listDir("/sys/dev/x/device/name", names), -1);
    EXPECT_EQ(errno, ENOTDIR);
    EXPECT_EQ(sys::listDir("/nowhere", names), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FileTree, SymlinksResolveInTheMiddleOfAPath)
{
    k().dir("/sys/devices/platform/csi/video4linux/video0/device/media0")
        .symlink("/sys/dev/char/81:0", "../../devices/platform/csi/video4linux/video0")
        .symlink("/sys/dev/char/81:3", "/sys/devices/platform/csi/video4linux/v4l-subdev2");
    std::vector<std::string> names;
    ASSERT_EQ(sys::listDir("/sys/dev/char/81:0/device", names), 0);
    EXPECT_EQ(names.back(), "media0");

    char link[256];
    ssize_t n = sys::readlink("/sys/dev/char/81:3", link, sizeof link);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(link, n), "/sys/devices/platform/csi/video4linux/v4l-subdev2");
    EXPECT_EQ(sys::readlink("/sys/dev/char/81:0/device", link, sizeof link), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(FileTree, CharacterDevicesReportMajorMinor)
{
    struct Dummy : Telmora::sim::DeviceModel {
        int ioctl(int, unsigned long, void*) override { return 42; }
    };
    k().charDevice("/dev/video0", 81, 7, std::make_shared<Dummy>()).file("/etc/text", "t");
    int fd = sys::open("/dev/video0", O_RDWR);
    ASSERT_GE(fd, 0);
    struct stat st;
    ASSERT_EQ(sys::fstat(fd, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 81u);
    EXPECT_EQ(minor(st.st_rdev), 7u);
    EXPECT_EQ(sys::ioctl(fd, 0x1234, nullptr), 42);
    EXPECT_EQ(k().ioctlCalls(0x1234), 1);

    int tf = sys::open("/etc/text", O_RDONLY);
    ASSERT_EQ(sys::fstat(tf, &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(sys::ioctl(tf, 0x1234, nullptr), -1);
    EXPECT_EQ(errno, ENOTTY);
    sys::close(tf);
    sys::close(fd);
}

TEST_F(FileTree, InjectedFaults)
{
    struct Dummy : Telmora::sim::DeviceModel {
        int ioctl(int, unsigned long, void*) override { return 0; }
    };
    k().charDevice("/dev/video0", 81, 0, std::make_shared<Dummy>());
    k().failOpen("/dev/video0", EACCES);
    EXPECT_EQ(sys::open("/dev/video0", O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
    int fd = sys::open("/dev/video0", O_RDWR);
    ASSERT_GE(fd, 0);
    k().failIoctl(7, EINTR, 2);
    EXPECT_EQ(sys::ioctl(fd, 7, nullptr), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(sys::ioctl(fd, 7, nullptr), -1);
    EXPECT_EQ(sys::ioctl(fd, 7, nullptr), 0);
    EXPECT_EQ(k().ioctlCalls(7), 3);
    sys::close(fd);
}

struct LineCase {
    std::string content;
    size_t size;
    std::vector<std::string> lines;
};

class TextFileLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(TextFileLines, ReadsLikeFgets)
{
    FakeKernel::instance().reset();
    FakeKernel::instance().file("/f", GetParam().content);
    Telmora::TextFile f("/f");
    ASSERT_TRUE(f.isOpen());
    std::vector<char> buf(GetParam().size);
    std::vector<std::string> got;
    while (f.readLine(buf.data(), buf.size())) got.emplace_back(buf.data());
    EXPECT_EQ(got, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextFileLines,
    ::testing::Values(LineCase{"a\nbb\n", 16, {"a\n", "bb\n"}}, LineCase{"abc", 16, {"abc"}},
                      LineCase{"abcdef\n", 4, {"abc", "def", "\n"}}, LineCase{"", 16, {}},
                      LineCase{std::string(2000, 'x') + "\nz", 1100,
                               {std::string(1099, 'x'), std::string(901, 'x') + "\n", "z"}}));

TEST(TextFile, MissingFileIsNotOpen)
{
    FakeKernel::instance().reset();
    Telmora::TextFile f("/missing");
    EXPECT_FALSE(f.isOpen());
    char buf[4];
    EXPECT_FALSE(f.readLine(buf, sizeof buf));
}
