#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "camera/node_pool.hpp"
#include "frame/cache_data.hpp"
#include "telmora/types.hpp"

namespace Telmora {

// Three output frames and the one cache buffer captures land in. `mutex` guards
// `ready_count` (and `streaming`) and pairs with `cond`; the node pool's own mutex guards
// the lists. The two are never held together.
class FrameQueue {
public:
    // `info` is the camera's record with its height already multiplied by the sensor's
    // frame count; `frame` is the raw size for RAW and the output size for DEPTH.
    FrameQueue(const CameraInfo& info, const FrameSize& frame);
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // Lowers ready_count when a frame is ready, waiting up to `timeout_ms` (negative: no
    // limit) while the queue is streaming. False when nothing could be taken.
    bool takeReady(int timeout_ms);
    // The capture thread's take of a ready frame to overwrite: only while no caller waits
    // for one, or a caller holding the other nodes could wait forever for the one frame
    // that keeps cycling. Waits up to `timeout_ms`.
    bool takeUnwanted(int timeout_ms);
    // Raises ready_count (up to ready_limit) and wakes every waiter.
    void raiseReady();
    // Waiters stop waiting once the queue is no longer streaming.
    void setStreaming(bool on);

    FrameSize size;
    std::unique_ptr<NodePool> nodes;
    std::unique_ptr<CacheData> cache;
    uint8_t node_count = 3;
    std::mutex mutex;
    std::condition_variable cond;
    int32_t ready_count = 0;
    int32_t ready_limit = 3;
    int32_t waiting = 0;  // callers inside takeReady
    bool streaming = false;
};

}  // namespace Telmora
