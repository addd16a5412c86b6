#include "frame_guard.hpp"

#include <stdexcept>
#include <unordered_map>

namespace Telmora {
namespace python {

namespace {
// Held buffer -> the camera it came from. At most three entries per camera.
std::unordered_map<const TelmoraFrameBuffer*, const void*>& held()
{
    static auto* table = new std::unordered_map<const TelmoraFrameBuffer*, const void*>();
    return *table;
}
}  // namespace

void FrameGuard::handedOut(const void* camera, TelmoraFrameBuffer* frame) { held()[frame] = camera; }

void FrameGuard::released(TelmoraFrameBuffer* frame) { held().erase(frame); }

void FrameGuard::forgetCamera(const void* camera)
{
    auto& table = held();
    for (auto it = table.begin(); it != table.end();) {
        if (it->second == camera) it = table.erase(it);
        else ++it;
    }
}

void FrameGuard::check(const TelmoraFrameBuffer* frame)
{
    if (held().count(frame) == 0)
        throw std::runtime_error(
            "frame is no longer valid: it was released, its camera was started again, or its camera "
            "was destroyed");
}

}  // namespace python
}  // namespace Telmora
