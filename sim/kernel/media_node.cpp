#include "media_node.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace Telmora {
namespace sim {

MediaNode& MediaNode::addEntity(uint32_t id, const std::string& name, unsigned major, unsigned minor,
                                uint16_t pads)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Entity entity{id, name.substr(0, kMaxName), major, minor, pads};
    auto at = std::lower_bound(entities_.begin(), entities_.end(), id,
                               [](const Entity& e, uint32_t key) { return e.id < key; });
    if (at != entities_.end() && at->id == id) *at = entity;
    else entities_.insert(at, entity);
    return *this;
}

int MediaNode::ioctl(int, unsigned long request, void* arg)
{
    std::lock_guard<std::mutex> lock(mutex_);
    int err = ENOTTY;
    if (arg == nullptr && (request == MEDIA_IOC_ENUM_ENTITIES || request == MEDIA_IOC_SETUP_LINK)) err = EFAULT;
    else if (request == MEDIA_IOC_ENUM_ENTITIES) err = enumEntity(*static_cast<media_entity_desc*>(arg));
    else if (request == MEDIA_IOC_SETUP_LINK) err = setupLink(*static_cast<const media_link_desc*>(arg));
    if (err == 0) return 0;
    errno = err;
    return -1;
}

// With MEDIA_ENT_ID_FLAG_NEXT: the first entity with a larger id; without: that id.
int MediaNode::enumEntity(media_entity_desc& desc) const
{
    const Entity* entity = nullptr;
    if ((desc.id & MEDIA_ENT_ID_FLAG_NEXT) != 0) {
        const uint32_t after = desc.id & ~MEDIA_ENT_ID_FLAG_NEXT;
        auto it = std::upper_bound(entities_.begin(), entities_.end(), after,
                                   [](uint32_t key, const Entity& e) { return key < e.id; });
        if (it != entities_.end()) entity = &*it;
    } else {
        entity = find(desc.id);
    }
    if (entity == nullptr) return EINVAL;
    std::memset(&desc, 0, sizeof desc);
    desc.id = entity->id;
    std::memcpy(desc.name, entity->name.c_str(), entity->name.size() + 1);
    desc.type = MEDIA_ENT_T_V4L2_SUBDEV;
    desc.pads = entity->pads;
    desc.dev.major = entity->major;
    desc.dev.minor = entity->minor;
    return 0;
}

int MediaNode::setupLink(const media_link_desc& link)
{
    if (!hasPad(link.source) || !hasPad(link.sink)) return EINVAL;
    links_.push_back(link);
    return 0;
}

const MediaNode::Entity* MediaNode::find(uint32_t id) const
{
    for (const Entity& e : entities_)
        if (e.id == id) return &e;
    return nullptr;
}

bool MediaNode::hasPad(const media_pad_desc& pad) const
{
    const Entity* entity = find(pad.entity);
    return entity != nullptr && pad.index < entity->pads;
}

std::vector<MediaNode::Entity> MediaNode::entities() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return entities_;
}

std::vector<media_link_desc> MediaNode::links() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return links_;
}

}  // namespace sim
}  // namespace Telmora
