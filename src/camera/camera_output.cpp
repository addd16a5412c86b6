#include <memory>

#include "camera/frame_queue.hpp"
#include "device/device.hpp"
#include "sensor/tof_sensor.hpp"
#include "telmora/camera.hpp"

namespace Telmora {

int TelmoraTOFCamera::setOutputType(FrameType type)
{
    if (!stopped.load()) return TelmoraUnkownError;
    if (!sensor || !device) return TelmoraUnkownError;
    info.type = type;
    CameraInfo snapshot = info;
    snapshot.height *= static_cast<uint32_t>(sensor->frame_count);
    device->getFrameSize(raw_size, output_size);
    if (type != RAW && type != DEPTH) return TelmoraUnkownError;
    auto next = std::make_unique<FrameQueue>(snapshot, type == DEPTH ? output_size : raw_size);
    queue.swap(next);
    next.reset();  // frames still held from the previous queue go with it
    return TelmoraSuccess;
}

bool TelmoraTOFCamera::rawFitsCache()
{
    device->getFrameSize(raw_size, output_size);
    if (raw_size.width < 0 || raw_size.height < 0 || sensor->frame_count < 1) return false;
    const uint64_t cache_bytes = uint64_t{info.width} * 2 * info.height *
                                 static_cast<uint64_t>(sensor->frame_count);
    const uint64_t raw_bytes = static_cast<uint64_t>(raw_size.width) *
                               static_cast<uint64_t>(raw_size.height) * sizeof(int16_t);
    return raw_bytes <= cache_bytes;
}

}  // namespace Telmora
