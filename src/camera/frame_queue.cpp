#include "camera/frame_queue.hpp"

#include <chrono>

#include "frame/depth_data.hpp"
#include "frame/raw_data.hpp"

namespace Telmora {

namespace {

std::unique_ptr<TelmoraFrameBuffer> makeBuffer(FrameType type, uint32_t w, uint32_t h)
{
    if (type == RAW) return std::make_unique<RawData>(w, h);
    return std::make_unique<DepthData>(FrameDataFormat{w, h, DEPTH, 0},
                                       FrameDataFormat{w, h, CONFIDENCE, 0});
}

}  // namespace

FrameQueue::FrameQueue(const CameraInfo& info, const FrameSize& frame)
    : size(frame),
      nodes(std::make_unique<NodePool>()),
      cache(std::make_unique<CacheData>(info.width, 2 * info.height))
{
    nodes->registry.reserve(node_count);
    const auto w = static_cast<uint32_t>(frame.width);
    const auto h = static_cast<uint32_t>(frame.height);
    for (int i = 0; i < node_count; ++i) {
        nodes->add(std::make_unique<LinkNode>(makeBuffer(info.type, w, h)));
    }
}

bool FrameQueue::takeReady(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    auto worth_waiting = [this] { return ready_count > 0 || !streaming; };
    if (ready_count == 0) {
        ++waiting;
        if (timeout_ms < 0) {
            cond.wait(lock, worth_waiting);
        } else {
            auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
            cond.wait_until(lock, deadline, worth_waiting);
        }
        --waiting;
        if (waiting == 0) cond.notify_all();  // the capture thread may overwrite again
    }
    if (ready_count <= 0) return false;
    --ready_count;
    return true;
}

bool FrameQueue::takeUnwanted(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(mutex);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    cond.wait_until(lock, deadline, [this] { return (ready_count > 0 && waiting == 0) || !streaming; });
    if (ready_count <= 0 || waiting > 0) return false;
    --ready_count;
    return true;
}

void FrameQueue::raiseReady()
{
    std::lock_guard<std::mutex> lock(mutex);
    if (ready_count <= ready_limit) {
        ++ready_count;
        cond.notify_all();
    }
}

void FrameQueue::setStreaming(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    streaming = on;
    cond.notify_all();
}

}  // namespace Telmora
