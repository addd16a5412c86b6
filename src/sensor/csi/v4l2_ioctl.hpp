// The one way the CSI back-end issues V4L2 and media ioctls.
#pragma once

namespace Telmora {

constexpr int kIoctlAttempts = 5;

// Issues `request` on `fd` through the OS seam. A negative descriptor fails without a
// call. A failed attempt is repeated only after EINTR, EAGAIN or ETIMEDOUT, up to
// `attempts` tries in all. Returns the ioctl's result, or -1 with errno from the last try.
int v4l2Ioctl(int fd, unsigned long request, void* arg, int attempts = kIoctlAttempts);

}  // namespace Telmora
