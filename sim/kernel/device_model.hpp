// Behaviour of one character device in the in-memory kernel (V4L2 node, sub-device,
// media node, I2C adapter ...). Calls arrive without the kernel's table lock held, so a
// model may block (a DQBUF waiting for a buffer) and must guard its own state.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>

namespace Telmora {
namespace sim {

class DeviceModel {
public:
    virtual ~DeviceModel() = default;
    // 0 to accept, or an errno value to refuse the open.
    virtual int onOpen(int /*fd*/, int /*flags*/) { return 0; }
    virtual void onClose(int /*fd*/) {}
    // The ioctl result; on failure -1 with errno set.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // The mapped address, or null with errno set.
    virtual void* mmap(int /*fd*/, size_t /*length*/, off_t /*offset*/)
    {
        errno = ENODEV;
        return nullptr;
    }
    // Called when the kernel drops a mapping this device handed out.
    virtual void munmap(void* /*addr*/, size_t /*length*/) {}
    // Events ready (a subset of `events`) after waiting at most timeout_ms (-1: forever).
    virtual short poll(int /*fd*/, short events, int /*timeout_ms*/) { return events; }
};

}  // namespace sim
}  // namespace Telmora
