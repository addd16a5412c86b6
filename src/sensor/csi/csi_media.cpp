// Media pipeline set-up: finds the media controller that owns the capture node, links the
// CSI-2 receiver where the board needs it, and opens the sub-devices that take the capture
// format, ending at the sensor's, whose entity name tells the sensor's I2C bus.
#include <fcntl.h>
#include <linux/media.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sensor/csi/csi_sensor.hpp"
#include "sensor/csi/v4l2_ioctl.hpp"
#include "sys/sys.hpp"

namespace Telmora {

namespace {

constexpr uint32_t kEntityNotFound = 0xFFFFFFFF;
constexpr uint32_t kReceiverSourcePad = 4;
constexpr uint32_t kCaptureSinkPad = 0;

// One entity after `cursor` in id order. `attempts` 1 for a single try.
int enumerateEntity(int media_fd, uint32_t cursor, media_entity_desc& desc, int attempts)
{
    std::memset(&desc, 0, sizeof desc);
    desc.id = cursor | MEDIA_ENT_ID_FLAG_NEXT;
    if (v4l2Ioctl(media_fd, MEDIA_IOC_ENUM_ENTITIES, &desc, attempts) != 0) return -1;
    desc.name[sizeof desc.name - 1] = '\0';
    return 0;
}

// The id of the entity named exactly `name`; kEntityNotFound once the walk fails.
uint32_t entityId(int media_fd, const char* name)
{
    media_entity_desc desc;
    uint32_t cursor = 0;
    while (true) {
        if (enumerateEntity(media_fd, cursor, desc, 1) != 0) {
            std::perror("Query entity failed");
            return kEntityNotFound;
        }
        if (std::strcmp(desc.name, name) == 0) return desc.id;
        cursor = desc.id;
    }
}

// Opens the sub-device node of the entity with device number major:minor, found through
// the "/sys/dev/char" link; -1 when the link does not lead to a "v4l-subdev" node.
int openEntityNode(uint32_t dev_major, uint32_t dev_minor)
{
    char link_path[64];
    std::snprintf(link_path, sizeof link_path, "/sys/dev/char/%u:%u", dev_major, dev_minor);
    char target[256];
    const ssize_t n = sys::readlink(link_path, target, sizeof target - 1);
    if (n < 0) return -1;
    target[n] = '\0';
    const char* last = std::strrchr(target, '/');
    static const char kPrefix[] = "/v4l-subdev";
    if (last == nullptr || std::strncmp(last, kPrefix, sizeof kPrefix - 1) != 0) return -1;
    const std::string node = std::string("/dev") + last;
    return sys::open(node.c_str(), O_RDWR);
}

// The media node listed under the capture node's sysfs device directory, opened; -1 if none.
int openMediaNode(int video_fd, char* media_path, size_t path_size)
{
    struct stat st;
    if (sys::fstat(video_fd, &st) != 0 || !S_ISCHR(st.st_mode)) return -1;
    char dir[64];
    std::snprintf(dir, sizeof dir, "/sys/dev/char/%u:%u/device", major(st.st_rdev), minor(st.st_rdev));
    std::vector<std::string> names;
    if (sys::listDir(dir, names) != 0) return -1;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (it->compare(0, 5, "media") != 0) continue;
        if (std::snprintf(media_path, path_size, "/dev/%s", it->c_str()) >= static_cast<int>(path_size))
            return -1;
        const int fd = sys::open(media_path, O_RDWR);
        if (fd >= 0) return fd;
    }
    return -1;
}

// Enables the link from the CSI-2 receiver's source pad to the capture node's sink pad.
int linkReceiver(int media_fd)
{
    media_link_desc link{};
    link.source.entity = entityId(media_fd, "csi2");
    link.source.index = kReceiverSourcePad;
    link.source.flags = MEDIA_PAD_FL_SOURCE;
    link.sink.entity = entityId(media_fd, "rp1-cfe-csi2_ch0");
    link.sink.index = kCaptureSinkPad;
    link.sink.flags = MEDIA_PAD_FL_SINK;
    link.flags = MEDIA_LNK_FL_ENABLED;
    return v4l2Ioctl(media_fd, MEDIA_IOC_SETUP_LINK, &link);
}

}  // namespace

int TelmoraTOFCSISensor::findMediaDevices(int video_fd)
{
    const int media_fd = openMediaNode(video_fd, media_path, sizeof media_path);
    if (media_fd < 0) return 1;
    auto finish = [media_fd](int result) {
        sys::close(media_fd);
        return result;
    };
    if (platform == PLATFORM_RASPBERRY_PI_5 && linkReceiver(media_fd) != 0) return finish(1);

    const char* bridge = platform == PLATFORM_RADXA_ROCK        ? "rockchip-csi2-dphy1"
                         : platform == PLATFORM_RASPBERRY_PI_5 ? "csi2"
                                                                : nullptr;
    const char* pattern = platform == PLATFORM_RADXA_ROCK ? "quelvanta" : "telmora-quelvanta";
    media_entity_desc desc;
    uint32_t cursor = 0;
    while (true) {
        if (enumerateEntity(media_fd, cursor, desc, kIoctlAttempts) != 0)
            return finish(errno == EINVAL ? 0 : 1);  // EINVAL: past the last entity
        cursor = desc.id;
        const bool is_bridge = bridge != nullptr && std::strcmp(desc.name, bridge) == 0;
        if (!is_bridge && std::strstr(desc.name, pattern) == nullptr) continue;
        if (!is_bridge && !recordBusName(desc.name)) return finish(0);
        const int node = openEntityNode(desc.dev.major, desc.dev.minor);
        if (node < 0 || subdev_count >= kMaxSubdevs) {
            if (node >= 0) sys::close(node);
            return finish(0);
        }
        if (!is_bridge) subdev_index = subdev_count;
        subdev_fds[subdev_count++] = node;
        if (!is_bridge) return finish(1);
    }
}

bool TelmoraTOFCSISensor::recordBusName(const char* entity_name)
{
    // After the first blank: the I2C client, bus number, "-" and address ("10-000c").
    const char* blank = std::strchr(entity_name, ' ');
    if (blank == nullptr) return false;
    std::strncpy(i2c_bus_name, blank + 1, sizeof i2c_bus_name - 1);
    i2c_bus_name[sizeof i2c_bus_name - 1] = '\0';
    char* hyphen = std::strchr(i2c_bus_name, '-');
    if (hyphen != nullptr) *hyphen = '\0';
    return true;
}

}  // namespace Telmora
