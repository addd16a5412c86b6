#include <algorithm>
#include <chrono>
#include <thread>

#include "camera/frame_queue.hpp"
#include "device/device.hpp"
#include "sensor/tof_sensor.hpp"
#include "telmora/camera.hpp"

namespace Telmora {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int64_t kAdjustPeriodNs = 3000000000;
constexpr int kReuseWaitMs = 20;
constexpr auto kSensorFailurePause = std::chrono::milliseconds(2);

int64_t systemNowNs()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}

}  // namespace

int TelmoraTOFCamera::start(FrameType type)
{
    if (!sensor || !device) return TelmoraUnkownError;
    int range = 0;
    getControl(RANGE, &range);
    setControl(RANGE, range);
    int result = device->prepare();
    if (result != TelmoraSuccess) return result;
    result = sensor->start();
    if (result != TelmoraSuccess) return result;
    result = device->initProcess();
    if (result != TelmoraSuccess) return result;
    // The running capture thread decodes by info.type: leave info alone while streaming.
    if (!stopped.load()) return TelmoraUnkownError;
    const CameraInfo current = sensor->getCameraInfo();
    info.width = current.width;
    info.height = current.height;
    info.bit_width = current.bit_width;
    info.bpp = current.bpp;
    info.type = type;
    // Decoding reads a whole raw frame out of the cache the sensor fills. A refused start
    // stops what it started, so that the camera starts once the sizes match (stop() needs a
    // running thread and would not reach the sensor).
    if ((type == RAW || type == DEPTH) && !rawFitsCache()) {
        device->stop();
        sensor->stop();
        return TelmoraUnkownError;
    }
    result = setOutputType(type);
    if (result != TelmoraSuccess) return result;
    queue->setStreaming(true);
    stopped.store(false);
    try {
        capture_thread = std::thread(&TelmoraTOFCamera::captureThread, this);
    } catch (...) {
        stopped.store(true);
        queue->setStreaming(false);
        throw;
    }
    return TelmoraSuccess;
}

int TelmoraTOFCamera::stop()
{
    if (!capture_thread.joinable()) return TelmoraUnkownError;
    stopped.store(true);
    queue->setStreaming(false);  // wakes callers waiting for a frame
    capture_thread.join();
    device->stop();
    return sensor->stop();
}

void TelmoraTOFCamera::captureThread()
{
    FrameQueue& q = *queue;
    auto* cache = static_cast<uint8_t*>(q.cache->getData(CACHE));
    int64_t last_adjust = systemNowNs();
    last_frame_time.store(last_adjust, kRelaxed);
    while (!stopped.load()) {
        if (auto_frame_rate.load(kRelaxed) && systemNowNs() - last_adjust > kAdjustPeriodNs) {
            adjustFrameRate();
            last_adjust = systemNowNs();
        }
        LinkNode* node = q.nodes->popFree();
        if (!node) {
            if (!q.takeUnwanted(kReuseWaitMs)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            // The oldest frame nobody asked for is overwritten.
            node = q.nodes->popReady(LinkNode::Place::Filling);
        }
        if (analysisFrame(cache, node) == TelmoraSuccess) {
            updateFps();
            q.nodes->appendReady(node);
            q.raiseReady();
        } else {
            q.nodes->pushFree(node);
        }
    }
}

int TelmoraTOFCamera::analysisFrame(uint8_t* cache, LinkNode* node)
{
    uint64_t timestamp = 0;
    // Any failure drops the capture: a capture that did not arrive whole leaves parts of
    // older ones in the cache, which must not reach the caller as a frame.
    if (sensor->getFrame(cache, &timestamp) != 0) {
        // A sensor that fails at once (a device that is gone) must not spin the thread.
        std::this_thread::sleep_for(kSensorFailurePause);
        return TelmoraUnkownError;
    }
    TelmoraFrameBuffer& out = *node->buffer;
    out.setTimestamp(timestamp);
    if (skipThisCapture()) return TelmoraSkipFrame;
    switch (info.type) {
    case RAW:
        getRawImages(cache, static_cast<int16_t*>(out.getData(RAW)));
        return TelmoraSuccess;
    case DEPTH: {
        auto* depth = static_cast<float*>(out.getData(DEPTH));
        auto* amplitude = static_cast<float*>(out.getData(AMPLITUDE));
        auto* confidence = static_cast<float*>(out.getData(CONFIDENCE));
        return getPhaseImage(cache, depth, amplitude, confidence) ? TelmoraSuccess : TelmoraUnkownError;
    }
    default:
        return TelmoraUnkownError;
    }
}

bool TelmoraTOFCamera::skipThisCapture()
{
    // Read once: a caller may change either control between two captures.
    const int32_t loop = skip_frame_loop.load(kRelaxed);
    const int32_t skip = std::min(skip_frame.load(kRelaxed), loop);
    const int32_t index = (frame_index.load(kRelaxed) + 1) % loop;
    frame_index.store(index, kRelaxed);
    const unsigned cycle = static_cast<uint8_t>(loop);
    const unsigned keep = static_cast<uint8_t>(cycle - static_cast<unsigned>(skip));
    const unsigned i = static_cast<uint8_t>(index);
    return (i * keep) / cycle == ((i + 1) * keep) / cycle;
}

TelmoraFrameBuffer* TelmoraTOFCamera::requestFrame(int16_t timeout)
{
    if (!queue) return nullptr;
    if (!queue->takeReady(timeout)) return nullptr;
    return queue->nodes->popReady(LinkNode::Place::Caller)->buffer.get();
}

int TelmoraTOFCamera::releaseFrame(TelmoraFrameBuffer* frame)
{
    if (!queue) return TelmoraUnkownError;
    LinkNode* node = queue->nodes->find(frame);
    if (!node || !queue->nodes->giveBack(node)) return TelmoraUnkownError;
    return TelmoraSuccess;
}

uint64_t TelmoraTOFCamera::frameLease(const TelmoraFrameBuffer* frame) const
{
    if (!queue) return 0;
    const LinkNode* node = queue->nodes->find(frame);
    return node ? node->lease.load(std::memory_order_acquire) : 0;
}

int TelmoraTOFCamera::getRawImages(uint8_t* cache, int16_t* raw) { return device->getRawImages(cache, raw); }

bool TelmoraTOFCamera::getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence)
{
    return device->getPhaseImage(cache, depth, amplitude, confidence);
}

}  // namespace Telmora
