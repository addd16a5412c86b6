#include "i2c_adapter.hpp"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>

#include <cerrno>
#include <climits>

namespace Telmora {
namespace sim {

I2cAdapter::I2cAdapter(unsigned long functionality) : functionality_(functionality) {}

int I2cAdapter::ioctl(int, unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const long value = static_cast<long>(reinterpret_cast<uintptr_t>(arg));
    switch (request) {
    case I2C_FUNCS:
        *static_cast<unsigned long*>(arg) = functionality_;
        return 0;
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE:
        if (value < 0 || value > 0x7F) break;
        slave_ = value;
        return 0;
    // The kernel takes both as unsigned and refuses what an int cannot hold; the timeout
    // counts 10 ms units, so the limit is what an int of milliseconds holds.
    case I2C_TIMEOUT:
        if (reinterpret_cast<uintptr_t>(arg) > INT_MAX / 10) break;
        timeout_ = value;
        return 0;
    case I2C_RETRIES:
        if (reinterpret_cast<uintptr_t>(arg) > INT_MAX) break;
        retries_ = value;
        return 0;
    case I2C_RDWR:
        return transfer(arg);
    default:
        errno = ENOTTY;
        return -1;
    }
    errno = EINVAL;
    return -1;
}

// Like the kernel: only adapters with plain I2C transfers accept I2C_RDWR, which
// returns the number of messages sent.
int I2cAdapter::transfer(void* arg)
{
    if ((functionality_ & kPlainI2c) == 0) {
        errno = EOPNOTSUPP;
        return -1;
    }
    if (transfer_error_ != 0) {
        errno = transfer_error_;
        return -1;
    }
    auto* data = static_cast<i2c_rdwr_ioctl_data*>(arg);
    if (data == nullptr || data->msgs == nullptr || data->nmsgs == 0 || data->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS) {
        errno = EINVAL;
        return -1;
    }
    for (uint32_t i = 0; i < data->nmsgs; ++i) {
        const i2c_msg& m = data->msgs[i];
        if (m.buf == nullptr && m.len != 0) {
            errno = EFAULT;
            return -1;
        }
        messages_.push_back(Message{m.addr, m.flags, std::vector<uint8_t>(m.buf, m.buf + m.len)});
    }
    return static_cast<int>(data->nmsgs);
}

std::vector<I2cAdapter::Message> I2cAdapter::messages() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

void I2cAdapter::failTransfers(int err)
{
    std::lock_guard<std::mutex> lock(mutex_);
    transfer_error_ = err;
}

long I2cAdapter::slaveAddress() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return slave_;
}

long I2cAdapter::timeout() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return timeout_;
}

long I2cAdapter::retries() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return retries_;
}

}  // namespace sim
}  // namespace Telmora
