#include "sensor/csi/csi_sensor.hpp"

#include <cstdio>

#include "sys/sys.hpp"

namespace Telmora {

TelmoraTOFCSISensor::TelmoraTOFCSISensor(Platform board, const char* path) : platform(board)
{
    std::snprintf(video_path, sizeof video_path, "%s", path ? path : "");
}

bool TelmoraTOFCSISensor::hasMediaGraph() const
{
    return platform == PLATFORM_RASPBERRY_PI || platform == PLATFORM_RASPBERRY_PI_5 ||
           platform == PLATFORM_RADXA_ROCK;
}

int TelmoraTOFCSISensor::close()
{
    // Closed without a successful stop (a failed start, a stop the driver refused).
    if (buffer_count > 0 && fd >= 0) abandonBuffers();
    // Descriptors are forgotten once closed: their numbers may soon belong to someone else.
    if (hasMediaGraph()) {
        for (int i = 0; i < subdev_count; ++i) {
            sys::close(subdev_fds[i]);
            subdev_fds[i] = -1;
        }
        subdev_count = 0;
    }
    if (fd >= 0) sys::close(fd);
    if (i2c_fd >= 0) sys::close(i2c_fd);
    fd = -1;
    i2c_fd = -1;
    return 0;
}

}  // namespace Telmora
