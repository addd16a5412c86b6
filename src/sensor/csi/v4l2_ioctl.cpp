#include "sensor/csi/v4l2_ioctl.hpp"

#include <cerrno>

#include "sys/sys.hpp"

namespace Telmora {

namespace {

bool transient(int err) { return err == EINTR || err == EAGAIN || err == ETIMEDOUT; }

}  // namespace

int v4l2Ioctl(int fd, unsigned long request, void* arg, int attempts)
{
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    int r = -1;
    for (int i = 0; i < attempts; ++i) {
        r = sys::ioctl(fd, request, arg);
        if (r != -1 || !transient(errno)) break;
    }
    return r;
}

}  // namespace Telmora
