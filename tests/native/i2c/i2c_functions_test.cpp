#include <gtest/gtest.h>
#include <linux/i2c-dev.h>

#include <cerrno>
#include <cstring>
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

class I2cFunctions : public testing::Test {
protected:
    void SetUp() override
    {
        kernel().reset();
        adapter = std::make_shared<I2cAdapter>(I2cAdapter::kPlainI2c | I2cAdapter::kSmbusByteWord);
        kernel().charDevice("/dev/i2c-10", 89, 10, adapter);
        char name[20];
        fd = i2c_open_i2c_dev(10, name, sizeof name, 1);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override { Telmora::sys::close(fd); }

    std::shared_ptr<I2cAdapter> adapter;
    int fd = -1;
};

// --- i2c_open_i2c_dev -------------------------------------------------------------

struct OpenCase {
    const char* label;
    int bus;
    int open_error;  // 0: the node opens; ENOENT: there is no node
    int quiet;
    const char* message;
};

class I2cOpen : public testing::TestWithParam<OpenCase> {};

TEST_P(I2cOpen, ReportsFailuresAsDescribed)
{
    const OpenCase& c = GetParam();
    kernel().reset();
    const std::string path = "/dev/i2c-" + std::to_string(c.bus);
    if (c.open_error != ENOENT) kernel().charDevice(path, 89, static_cast<unsigned>(c.bus), std::make_shared<I2cAdapter>());
    if (c.open_error != 0 && c.open_error != ENOENT) kernel().failOpen(path, c.open_error);

    char name[20];
    testing::internal::CaptureStderr();
    errno = 0;
    const int fd = i2c_open_i2c_dev(c.bus, name, sizeof name, c.quiet);
    const int err = errno;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_STREQ(name, path.c_str());
    if (c.open_error == 0) {
        ASSERT_GE(fd, 0);
        EXPECT_EQ(kernel().pathOf(fd), path);
        Telmora::sys::close(fd);
    } else {
        EXPECT_LT(fd, 0);
        EXPECT_EQ(err, c.open_error);  // still there for the caller after the message
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, I2cOpen,
    testing::Values(OpenCase{"Opens", 10, 0, 0, ""},
                    OpenCase{"MissingBus7", 7, ENOENT, 0,
                             "Error: Could not open file `/dev/i2c-7': No such file or directory\n"},
                    OpenCase{"MissingQuiet", 7, ENOENT, 1, ""},
                    OpenCase{"AccessDenied", 3, EACCES, 0,
                             "Error: Could not open file `/dev/i2c-3': Permission denied\nRun as root?\n"},
                    OpenCase{"AccessDeniedQuiet", 3, EACCES, 1, ""},
                    OpenCase{"Busy", 1048575, EBUSY, 0,
                             "Error: Could not open file `/dev/i2c-1048575': Device or resource busy\n"}),
    [](const testing::TestParamInfo<OpenCase>& p) { return std::string(p.param.label); });

// A name cut to the buffer would be another adapter's ("/dev/i2c-1" for bus 12).
TEST(I2cOpenBuffer, TooSmallBufferOpensNothing)
{
    kernel().reset();
    kernel().charDevice("/dev/i2c-1", 89, 1, std::make_shared<I2cAdapter>());
    kernel().charDevice("/dev/i2c-12", 89, 12, std::make_shared<I2cAdapter>());
    char name[11];
    testing::internal::CaptureStderr();
    EXPECT_LT(i2c_open_i2c_dev(12, name, sizeof name, 0), 0);
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not open file `/dev/i2c-12': File name too long\n");
    EXPECT_STREQ(name, "/dev/i2c-1");
    EXPECT_EQ(kernel().openDescriptors(), 0);

    EXPECT_LT(i2c_open_i2c_dev(12, nullptr, 0, 1), 0);
    EXPECT_EQ(kernel().openDescriptors(), 0);
}

// --- the integer settings ----------------------------------------------------------

struct SettingCase {
    const char* label;
    int (*call)(int, int);
    unsigned long request;
    int given;
    long asked;
    long (I2cAdapter::*readBack)() const;
    const char* failure;
};

class I2cSetting : public I2cFunctions, public testing::WithParamInterface<SettingCase> {};

TEST_P(I2cSetting, AsksTheAdapter)
{
    const SettingCase& c = GetParam();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.call(fd, c.given), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(((*adapter).*c.readBack)(), c.asked);
}

TEST_P(I2cSetting, FailurePrintsTheValueGiven)
{
    const SettingCase& c = GetParam();
    kernel().failIoctl(c.request, EIO);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.call(fd, c.given), -EIO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.failure);
    EXPECT_EQ(((*adapter).*c.readBack)(), -1);  // never reached the adapter
}

int slave(int file, int address) { return i2c_set_slave_addr(file, address, 0); }
int slaveForced(int file, int address) { return i2c_set_slave_addr(file, address, 1); }

INSTANTIATE_TEST_SUITE_P(
    Cases, I2cSetting,
    testing::Values(
        SettingCase{"TimeoutZeroAsksFor3", i2c_set_adapter_timeout, I2C_TIMEOUT, 0, 3, &I2cAdapter::timeout,
                    "Error: Could not set timeout to 0: Input/output error\n"},
        SettingCase{"Timeout7", i2c_set_adapter_timeout, I2C_TIMEOUT, 7, 7, &I2cAdapter::timeout,
                    "Error: Could not set timeout to 7: Input/output error\n"},
        SettingCase{"RetriesZeroAsksFor2", i2c_set_adapter_retries, I2C_RETRIES, 0, 2, &I2cAdapter::retries,
                    "Error: Could not set retries to 0: Input/output error\n"},
        SettingCase{"Retries5", i2c_set_adapter_retries, I2C_RETRIES, 5, 5, &I2cAdapter::retries,
                    "Error: Could not set retries to 5: Input/output error\n"},
        SettingCase{"Slave", slave, I2C_SLAVE, 0x0C, 0x0C, &I2cAdapter::slaveAddress,
                    "Error: Could not set address to 0x0c: Input/output error\n"},
        SettingCase{"SlaveForced", slaveForced, I2C_SLAVE_FORCE, 0x7A, 0x7A, &I2cAdapter::slaveAddress,
                    "Error: Could not set address to 0x7a: Input/output error\n"}),
    [](const testing::TestParamInfo<SettingCase>& p) { return std::string(p.param.label); });

TEST_F(I2cFunctions, ForceSelectsTheForcingRequest)
{
    ASSERT_EQ(i2c_set_slave_addr(fd, 0x0C, 0), 0);
    ASSERT_EQ(i2c_set_slave_addr(fd, 0x0C, 2), 0);
    EXPECT_EQ(kernel().ioctlCalls(I2C_SLAVE), 1);
    EXPECT_EQ(kernel().ioctlCalls(I2C_SLAVE_FORCE), 1);
}

TEST_F(I2cFunctions, AddressRefusedByTheAdapter)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_set_slave_addr(fd, 0x80, 0), -EINVAL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Could not set address to 0x80: Invalid argument\n");
}

// --- i2c_get_functionality ---------------------------------------------------------

TEST_F(I2cFunctions, FunctionalityReadsTheAdapterWord)
{
    unsigned long funcs = 0;
    EXPECT_EQ(i2c_get_functionality(fd, &funcs), 0);
    EXPECT_EQ(funcs, I2cAdapter::kPlainI2c | I2cAdapter::kSmbusByteWord);
}

TEST_F(I2cFunctions, FunctionalityFailures)
{
    unsigned long funcs = 0;
    kernel().failIoctl(I2C_FUNCS, ENODEV);
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_get_functionality(fd, &funcs), -ENODEV);
    EXPECT_EQ(i2c_get_functionality(-1, &funcs), -EBADF);
    EXPECT_EQ(i2c_get_functionality(fd, nullptr), -EFAULT);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not get adapter functionality: No such device\n"
              "Error: Could not get adapter functionality: Bad file descriptor\n"
              "Error: Could not get adapter functionality: Bad address\n");
}

}  // namespace
