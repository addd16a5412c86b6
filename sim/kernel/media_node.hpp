// A media controller node ("/dev/mediaN") of the in-memory kernel. Tests add the
// entities of a media graph; the node answers entity enumeration like the kernel and
// records every link set up, so a test can check which link a program enabled.
// Faults are injected through FakeKernel::failIoctl like for any other device.
#pragma once

#include <linux/media.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device_model.hpp"

namespace Telmora {
namespace sim {

class MediaNode : public DeviceModel {
public:
    struct Entity {
        uint32_t id;
        std::string name;  // at most 31 characters, like the kernel's
        unsigned major;    // device number of the entity's node
        unsigned minor;
        uint16_t pads;
    };

    // Adds an entity, or replaces the one with the same id. Names are cut to 31 characters.
    MediaNode& addEntity(uint32_t id, const std::string& name, unsigned major, unsigned minor, uint16_t pads = 1);

    int ioctl(int fd, unsigned long request, void* arg) override;

    std::vector<Entity> entities() const;
    // The descriptors of every successful MEDIA_IOC_SETUP_LINK, in call order.
    std::vector<media_link_desc> links() const;

    static constexpr size_t kMaxName = sizeof(media_entity_desc::name) - 1;

private:
    int enumEntity(media_entity_desc& desc) const;
    int setupLink(const media_link_desc& link);
    const Entity* find(uint32_t id) const;
    bool hasPad(const media_pad_desc& pad) const;

    mutable std::mutex mutex_;
    std::vector<Entity> entities_;  // sorted by id
    std::vector<media_link_desc> links_;
};

}  // namespace sim
}  // namespace Telmora
