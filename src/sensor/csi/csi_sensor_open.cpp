// Opening: the capture node and its capabilities, the buffer type and media set-up by
// board, the sensor controller's I2C bus, and the sensor's current capture size.
#include <fcntl.h>
#include <linux/v4l2-subdev.h>
#include <linux/videodev2.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sensor/csi/csi_sensor.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"
#include "sys/sys.hpp"
#include "sys/text_file.hpp"
#include "telmora/i2c.hpp"

namespace Telmora {

namespace {

constexpr unsigned long kI2cPlainTransfers = 0x1;

}  // namespace

int TelmoraTOFCSISensor::open(CameraInfo& camera_info)
{
    fd = sys::open(video_path, O_RDWR);
    if (fd < 0) return -2;
    v4l2_capability cap{};
    if (v4l2Ioctl(fd, VIDIOC_QUERYCAP, &cap) != 0) {
        // A library must not end its caller's process: report and fail instead.
        std::fprintf(stderr, "VIDIOC_QUERYCAP: error - %d\n", errno);
        return -2;
    }
    if (selectBufferType(cap.capabilities) != 0) return -2;

    switch (platform) {
    case PLATFORM_RADXA_ROCK:
        buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
        findMediaDevices(fd);
        break;
    case PLATFORM_RASPBERRY_PI:
    case PLATFORM_RASPBERRY_PI_5:
        buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        findMediaDevices(fd);
        break;
    default:
        buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        subdev_count = 0;
        if (platform >= 2 && platform <= 4 && readJetsonBusName() != 0) return -2;
        break;
    }
    if (buffer_type != V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE) {
        int input = input_index;
        if (v4l2Ioctl(fd, VIDIOC_S_INPUT, &input) != 0) return -2;
    }

    const int bus = lookupI2cBus(i2c_bus_name);
    if (bus < 0) return -2;
    char adapter_path[20];
    i2c_fd = i2c_open_i2c_dev(bus, adapter_path, sizeof adapter_path, 0);
    if (i2c_fd < 0) return -2;
    unsigned long funcs = 0;
    if (i2c_get_functionality(i2c_fd, &funcs) != 0) return -2;
    if ((funcs & kI2cPlainTransfers) == 0) {
        std::fprintf(stderr, "Error: Adapter does not have %s capability\n", "I2C transfers");
        return -2;
    }
    chip_address = kChipAddress;

    const int result = readCurrentSize(camera_info);
    camera_info.bit_width = 12;
    camera_info.bpp = 2;
    info = camera_info;
    return result;
}

int TelmoraTOFCSISensor::selectBufferType(uint32_t capabilities)
{
    if (capabilities & V4L2_CAP_VIDEO_CAPTURE) buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    else if (capabilities & V4L2_CAP_VIDEO_CAPTURE_MPLANE) buffer_type = V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE;
    else return -2;
    return (capabilities & V4L2_CAP_STREAMING) ? 0 : -2;
}

int TelmoraTOFCSISensor::readJetsonBusName()
{
    struct stat st;
    if (sys::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -2;
    char path[64];
    std::snprintf(path, sizeof path, "/sys/dev/char/%u:%u/name", major(st.st_rdev), minor(st.st_rdev));
    TextFile name_file(path);
    char line[256];
    if (!name_file.isOpen() || !name_file.readLine(line, sizeof line)) return -2;
    const char* sensor = std::strstr(line, "telmora");
    if (sensor == nullptr) return -2;
    const char* blank = std::strchr(sensor, ' ');
    if (blank == nullptr) return -2;
    // The bus number follows the blank ("telmora-quelvanta 30-000c" -> 30). The field keeps
    // room for its terminator, so at most 7 digits are taken.
    std::memset(i2c_bus_name, 0, sizeof i2c_bus_name);
    size_t n = 0;
    for (const char* c = blank + 1; n + 1 < sizeof i2c_bus_name && std::isdigit(static_cast<unsigned char>(*c)); ++c)
        i2c_bus_name[n++] = *c;
    return 0;
}

int TelmoraTOFCSISensor::readCurrentSize(CameraInfo& camera_info)
{
    if (hasMediaGraph()) {
        v4l2_subdev_format sf{};
        if (v4l2Ioctl(currentSubdev(), VIDIOC_SUBDEV_G_FMT, &sf, 1) != 0) return -2;
        camera_info.width = sf.format.width;
        camera_info.height = sf.format.height;
        return 0;
    }
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (v4l2Ioctl(fd, VIDIOC_G_FMT, &fmt, 1) != 0) return -2;
    camera_info.width = fmt.fmt.pix.width;
    camera_info.height = fmt.fmt.pix.height;
    return 0;
}

}  // namespace Telmora
