#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>

#include "fake_kernel.hpp"
#include "i2c_adapter.hpp"
#include "sys/sys.hpp"

using Telmora::sim::FakeKernel;
using Telmora::sim::I2cAdapter;
namespace sys = Telmora::sys;

TEST(I2cAdapter, RecordsTransfersAndSettings)
{
    auto bus = std::make_shared<I2cAdapter>();
    FakeKernel::instance().reset();
    FakeKernel::instance().charDevice("/dev/i2c-10", 89, 10, bus);
    int fd = sys::open("/dev/i2c-10", O_RDWR);
    ASSERT_GE(fd, 0);

    unsigned long funcs = 0;
    ASSERT_EQ(sys::ioctl(fd, I2C_FUNCS, &funcs), 0);
    EXPECT_EQ(funcs, I2cAdapter::kPlainI2c);
    EXPECT_EQ(sys::ioctl(fd, I2C_SLAVE, reinterpret_cast<void*>(0x0C)), 0);
    EXPECT_EQ(sys::ioctl(fd, I2C_TIMEOUT, reinterpret_cast<void*>(3)), 0);
    EXPECT_EQ(bus->slaveAddress(), 0x0C);
    EXPECT_EQ(bus->timeout(), 3);

    uint8_t bytes[] = {0x06, 0x33, 0, 0, 0, 0x1E};
    i2c_msg msg{0x0C, 0, sizeof bytes, bytes};
    i2c_rdwr_ioctl_data data{&msg, 1};
    EXPECT_EQ(sys::ioctl(fd, I2C_RDWR, &data), 1);
    ASSERT_EQ(bus->messages().size(), 1u);
    EXPECT_EQ(bus->messages()[0].addr, 0x0C);
    EXPECT_EQ(bus->messages()[0].data, std::vector<uint8_t>(bytes, bytes + 6));

    bus->failTransfers(EIO);
    EXPECT_EQ(sys::ioctl(fd, I2C_RDWR, &data), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(bus->messages().size(), 1u);
    sys::close(fd);
}

TEST(I2cAdapter, SmbusOnlyAdapterRefusesPlainTransfers)
{
    auto bus = std::make_shared<I2cAdapter>(I2cAdapter::kSmbusByteWord);
    FakeKernel::instance().reset();
    FakeKernel::instance().charDevice("/dev/i2c-0", 89, 0, bus);
    int fd = sys::open("/dev/i2c-0", O_RDWR);
    uint8_t b = 0;
    i2c_msg msg{0x0C, 0, 1, &b};
    i2c_rdwr_ioctl_data data{&msg, 1};
    EXPECT_EQ(sys::ioctl(fd, I2C_RDWR, &data), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
    EXPECT_TRUE(bus->messages().empty());
    sys::close(fd);
}
