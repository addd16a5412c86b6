#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>

#include <cerrno>
#include <memory>
#include <string>

#include "fake_kernel.hpp"
#include "i2c_adapter.hpp"
#include "sys/sys.hpp"
#include "telmora/i2c.hpp"

using Telmora::sim::FakeKernel;
using Telmora::sim::I2cAdapter;

namespace {

FakeKernel& kernel() { return FakeKernel::instance(); }

struct OpenCase {
    int bus, open_error, quiet;  // open_error 0: opens; ENOENT: no node
    const char* message;
};

class I2cOpen : public testing::TestWithParam<OpenCase> {};

TEST_P(I2cOpen, MessagesAndResult)
{
    const OpenCase& c = GetParam();
    const std::string path = "/dev/i2c-" + std::to_string(c.bus);
    kernel().reset();
    if (c.open_error != ENOENT) kernel().charDevice(path, 89, 0, std::make_shared<I2cAdapter>());
    if (c.open_error != 0 && c.open_error != ENOENT) kernel().failOpen(path, c.open_error);
    char name[20];
    testing::internal::CaptureStderr();
    const int fd = i2c_open_i2c_dev(c.bus, name, sizeof name, c.quiet);
    const int err = errno;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_STREQ(name, path.c_str());
    EXPECT_EQ(kernel().pathOf(fd), c.open_error == 0 ? path : "");
    if (c.open_error != 0) {
        EXPECT_EQ(err, c.open_error);  // kept for the caller past the message
    }
    if (fd >= 0) Telmora::sys::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, I2cOpen,
    testing::Values(OpenCase{10, 0, 0, ""},
                    OpenCase{7, ENOENT, 0, "Error: Could not open file `/dev/i2c-7': No such file or directory\n"},
                    OpenCase{7, ENOENT, 1, ""},
                    OpenCase{3, EACCES, 0, "Error: Could not open file `/dev/i2c-3': Permission denied\nRun as root?\n"},
                    OpenCase{3, EACCES, 1, ""},
                    OpenCase{1048575, EBUSY, 0,
                             "Error: Could not open file `/dev/i2c-1048575': Device or resource busy\n"}));

// A name cut to the buffer would be another adapter's: bus 12 in 11 bytes is "/dev/i2c-1".
TEST(I2cOpenBuffer, TooSmallOpensNothing)
{
    kernel().reset();
    kernel().charDevice("/dev/i2c-1", 89, 1, std::make_shared<I2cAdapter>());
    char name[11];
    testing::internal::CaptureStderr();
    EXPECT_LT(i2c_open_i2c_dev(12, name, sizeof name, 0), 0);
    EXPECT_LT(i2c_open_i2c_dev(12, nullptr, 0, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Could not open file `/dev/i2c-12': File name too long\n");
    EXPECT_STREQ(name, "/dev/i2c-1");
    EXPECT_EQ(kernel().openDescriptors(), 0);
}

struct SettingCase {
    int (*call)(int, int);
    unsigned long request;
    int given;
    long asked;
    long (I2cAdapter::*readBack)() const;
    const char* failure;
};

int slave(int fd, int address) { return i2c_set_slave_addr(fd, address, 0); }
int forced(int fd, int address) { return i2c_set_slave_addr(fd, address, 2); }

class I2cSetting : public testing::TestWithParam<SettingCase> {};

TEST_P(I2cSetting, AsksTheAdapterAndReportsFailureWithTheValueGiven)
{
    const SettingCase& c = GetParam();
    auto adapter = std::make_shared<I2cAdapter>();
    kernel().reset();
    kernel().charDevice("/dev/i2c-1", 89, 1, adapter);
    const int fd = Telmora::sys::open("/dev/i2c-1", O_RDWR);
    EXPECT_EQ(c.call(fd, c.given), 0);
    EXPECT_EQ(((*adapter).*c.readBack)(), c.asked);
    EXPECT_EQ(kernel().ioctlCalls(c.request), 1);

    kernel().failIoctl(c.request, EIO);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.call(fd, c.given), -EIO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.failure);
    Telmora::sys::close(fd);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, I2cSetting,
    testing::Values(SettingCase{i2c_set_adapter_timeout, I2C_TIMEOUT, 0, 3, &I2cAdapter::timeout,
                                "Error: Could not set timeout to 0: Input/output error\n"},
                    SettingCase{i2c_set_adapter_timeout, I2C_TIMEOUT, 7, 7, &I2cAdapter::timeout,
                                "Error: Could not set timeout to 7: Input/output error\n"},
                    SettingCase{i2c_set_adapter_retries, I2C_RETRIES, 0, 2, &I2cAdapter::retries,
                                "Error: Could not set retries to 0: Input/output error\n"},
                    SettingCase{i2c_set_adapter_retries, I2C_RETRIES, 5, 5, &I2cAdapter::retries,
                                "Error: Could not set retries to 5: Input/output error\n"},
                    SettingCase{slave, I2C_SLAVE, 0x0C, 0x0C, &I2cAdapter::slaveAddress,
                                "Error: Could not set address to 0x0c: Input/output error\n"},
                    SettingCase{forced, I2C_SLAVE_FORCE, 0x7A, 0x7A, &I2cAdapter::slaveAddress,
                                "Error: Could not set address to 0x7a: Input/output error\n"}));

TEST(I2cFunctionality, ReadsTheWordOrReportsTheError)
{
    kernel().reset();
    kernel().charDevice("/dev/i2c-1", 89, 1, std::make_shared<I2cAdapter>(0x7E0001));
    const int fd = Telmora::sys::open("/dev/i2c-1", O_RDWR);
    unsigned long funcs = 0;
    EXPECT_EQ(i2c_get_functionality(fd, &funcs), 0);
    EXPECT_EQ(funcs, 0x7E0001u);
    kernel().failIoctl(I2C_FUNCS, ENODEV);
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_get_functionality(fd, &funcs), -ENODEV);
    EXPECT_EQ(i2c_get_functionality(fd, nullptr), -EFAULT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not get adapter functionality: No such device\n"
              "Error: Could not get adapter functionality: Bad address\n");
    Telmora::sys::close(fd);
}

}  // namespace
