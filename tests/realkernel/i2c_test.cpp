// The exported I2C helpers and the bus lookup against i2c-stub's adapter and the kernel's
// own sysfs: an SMBus-only adapter with one chip at the controller's address.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "drivers.hpp"
#include "sensor/i2c/i2c_adapter_list.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"
#include "telmora/i2c.hpp"

namespace {

constexpr int kChip = 0x0c;

std::string stubPath() { return "/dev/i2c-" + std::to_string(realkernel::stubBus()); }

// An SMBus byte-data transfer on the address last selected on `fd`; errno on failure.
int smbusByteData(int fd, char direction, uint8_t reg, uint8_t* value)
{
    i2c_smbus_data data{};
    data.byte = *value;
    i2c_smbus_ioctl_data args{};
    args.read_write = direction == 'r' ? I2C_SMBUS_READ : I2C_SMBUS_WRITE;
    args.command = reg;
    args.size = I2C_SMBUS_BYTE_DATA;
    args.data = &data;
    if (::ioctl(fd, I2C_SMBUS, &args) != 0) return errno;
    *value = data.byte;
    return 0;
}

class StubAdapter : public testing::Test {
protected:
    void SetUp() override
    {
        bus = realkernel::stubBus();
        ASSERT_GE(bus, 0) << "i2c-stub is not loaded";
        fd = ::open(stubPath().c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        if (fd >= 0) ::close(fd);
    }
    int bus = -1;
    int fd = -1;
};

TEST_F(StubAdapter, OpenNamesTheNodeAndOpensItReadWrite)
{
    char name[20] = {};
    testing::internal::CaptureStderr();
    const int opened = i2c_open_i2c_dev(bus, name, sizeof name, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_GE(opened, 0);
    EXPECT_EQ(std::string(name), stubPath());
    EXPECT_EQ(::fcntl(opened, F_GETFL) & O_ACCMODE, O_RDWR);
    ::close(opened);
}

TEST(I2cOpen, MissingBusReportsTheKernelsNoSuchFile)
{
    char name[20] = {};
    testing::internal::CaptureStderr();
    const int opened = i2c_open_i2c_dev(57, name, sizeof name, 0);
    const int err = errno;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not open file `/dev/i2c-57': No such file or directory\n");
    EXPECT_LT(opened, 0);
    EXPECT_EQ(err, ENOENT);

    testing::internal::CaptureStderr();
    EXPECT_LT(i2c_open_i2c_dev(57, name, sizeof name, 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(StubAdapter, FunctionalityIsTheAdaptersSmbusOnlyWord)
{
    unsigned long direct = 0;
    ASSERT_EQ(::ioctl(fd, I2C_FUNCS, &direct), 0);
    unsigned long funcs = 0;
    EXPECT_EQ(i2c_get_functionality(fd, &funcs), 0);
    EXPECT_EQ(funcs, direct);
    EXPECT_EQ(funcs & I2C_FUNC_I2C, 0u) << "i2c-stub offers no plain I2C transfers";
    EXPECT_NE(funcs & I2C_FUNC_SMBUS_BYTE_DATA, 0u);
}

TEST_F(StubAdapter, FunctionalityOnANonI2cNodeFailsWithTheKernelsError)
{
    const std::string video = realkernel::vividNode(V4L2_CAP_VIDEO_CAPTURE);
    ASSERT_NE(video, "");
    const int vfd = ::open(video.c_str(), O_RDWR);
    ASSERT_GE(vfd, 0);
    unsigned long funcs = 0x5a5a;
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_get_functionality(vfd, &funcs), -ENOTTY);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not get adapter functionality: Inappropriate ioctl for device\n");
    EXPECT_EQ(funcs, 0x5a5au);
    ::close(vfd);
}

TEST_F(StubAdapter, SlaveAddressDirectsTransfersToTheChip)
{
    ASSERT_EQ(i2c_set_slave_addr(fd, kChip, 0), 0);
    uint8_t value = 0x5a;
    ASSERT_EQ(smbusByteData(fd, 'w', 0x10, &value), 0);
    value = 0;
    ASSERT_EQ(smbusByteData(fd, 'r', 0x10, &value), 0);
    EXPECT_EQ(value, 0x5a);

    // Forcing the address works the same where no kernel driver claims the chip.
    ASSERT_EQ(i2c_set_slave_addr(fd, kChip, 1), 0);
    value = 0;
    EXPECT_EQ(smbusByteData(fd, 'r', 0x10, &value), 0);
    EXPECT_EQ(value, 0x5a);

    // An address without a chip is accepted; the transfer is what fails.
    ASSERT_EQ(i2c_set_slave_addr(fd, kChip + 1, 0), 0);
    EXPECT_NE(smbusByteData(fd, 'r', 0x10, &value), 0);
}

TEST_F(StubAdapter, SlaveAddressBeyondSevenBitsIsRefused)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_set_slave_addr(fd, 0x80, 0), -EINVAL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Could not set address to 0x80: Invalid argument\n");
}

TEST_F(StubAdapter, TimeoutAndRetriesAreAcceptedAndNegativeValuesRefused)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_set_adapter_timeout(fd, 0), 0);
    EXPECT_EQ(i2c_set_adapter_timeout(fd, 25), 0);
    EXPECT_EQ(i2c_set_adapter_retries(fd, 0), 0);
    EXPECT_EQ(i2c_set_adapter_retries(fd, 4), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // The kernel takes the value as unsigned and refuses anything above INT_MAX.
    testing::internal::CaptureStderr();
    EXPECT_EQ(i2c_set_adapter_timeout(fd, -1), -EINVAL);
    EXPECT_EQ(i2c_set_adapter_retries(fd, -5), -EINVAL);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error: Could not set timeout to -1: Invalid argument\n"
              "Error: Could not set retries to -5: Invalid argument\n");
}

// --- the bus lookup over the kernel's sysfs (no /proc/bus/i2c on current kernels) -----

TEST(I2cBusLookup, ListsTheStubFromSysfsAsAnSmbusAdapter)
{
    const int bus = realkernel::stubBus();
    ASSERT_GE(bus, 0);
    Telmora::I2cAdapterList adapters;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Telmora::listI2cAdapters(adapters));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    int found = 0;
    for (const Telmora::I2cAdapterEntry* e = adapters.entries(); e->name != nullptr; ++e) {
        if (e->number != bus) continue;
        ++found;
        EXPECT_STREQ(e->name, realkernel::kStubAdapterName);
        EXPECT_STREQ(e->kind, "smbus");
        EXPECT_STREQ(e->description, "SMBus adapter");
    }
    EXPECT_EQ(found, 1);
}

TEST(I2cBusLookup, FindsTheStubByNameAndRefusesAnUnknownName)
{
    const int bus = realkernel::stubBus();
    ASSERT_GE(bus, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Telmora::lookupI2cBus(realkernel::kStubAdapterName), bus);
    EXPECT_EQ(Telmora::lookupI2cBus("no such adapter"), -2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: I2C bus name doesn't match any bus present!\n");
}

}  // namespace
