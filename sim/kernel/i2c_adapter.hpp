// An I2C adapter node ("/dev/i2c-N") of the in-memory kernel. It answers the i2c-dev
// ioctls the library uses and records every message of every I2C_RDWR transfer, so a
// test can read back what was written to a chip.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "device_model.hpp"

namespace Telmora {
namespace sim {

class I2cAdapter : public DeviceModel {
public:
    struct Message {
        uint16_t addr;
        uint16_t flags;
        std::vector<uint8_t> data;
    };

    // `functionality` is what I2C_FUNCS reports (plain I2C transfers by default).
    explicit I2cAdapter(unsigned long functionality = kPlainI2c);

    int ioctl(int fd, unsigned long request, void* arg) override;

    std::vector<Message> messages() const;
    // Makes every later I2C_RDWR fail with `err` (0 restores success).
    void failTransfers(int err);
    long slaveAddress() const;
    long timeout() const;
    long retries() const;

    static constexpr unsigned long kPlainI2c = 0x1;          // I2C_FUNC_I2C
    static constexpr unsigned long kSmbusByteWord = 0x7E0000;  // SMBus byte/word functions

private:
    int transfer(void* arg);

    mutable std::mutex mutex_;
    unsigned long functionality_;
    std::vector<Message> messages_;
    int transfer_error_ = 0;
    long slave_ = -1;
    long timeout_ = -1;
    long retries_ = -1;
};

}  // namespace sim
}  // namespace Telmora
