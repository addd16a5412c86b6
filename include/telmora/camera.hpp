// The camera: the one object a program drives. It owns one sensor back-end, one depth
// device (both created by open) and one frame queue (created at each start), and runs one
// capture thread between start and stop.
//
// Threads: open, openWithFile, close, start, stop and destruction belong to one controlling
// thread. requestFrame/releaseFrame run on the caller's thread while the capture thread
// fills the queue; controls may be set from any thread at any time after open.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "telmora/frame_buffer.hpp"
#include "telmora/types.hpp"

namespace Telmora {

class TelmoraTOFSensor;
class TelmoraDevice;
class FrameQueue;
struct LinkNode;

class TELMORA_API TelmoraTOFCamera {
public:
    // Detects the board family; opens nothing.
    TelmoraTOFCamera();
    // Stops a streaming camera first, then releases queue, device and sensor (none is
    // closed: call close() first to release the hardware in order).
    ~TelmoraTOFCamera();
    TelmoraTOFCamera(const TelmoraTOFCamera&) = delete;
    TelmoraTOFCamera& operator=(const TelmoraTOFCamera&) = delete;

    // Lifecycle. Both opens return -1 while streaming. A new sensor and device replace
    // the previous ones, which are destroyed without being closed.
    int open(Connection mode, int index);
    int openWithFile(const char* path, int index);
    int openPostHandle();
    int close();
    CameraInfo getCameraInfo() const;

    // Controls. SKIP_FRAME (0..SKIP_FRAME_LOOP), SKIP_FRAME_LOOP (1..255) and
    // AUTO_FRAME_RATE are held by the camera; FRAME_RATE is checked against the limit the
    // device reports; everything else goes to the device. -1 when no device is open.
    int setControl(CameraCtrl ctrl, int value);
    int getControl(CameraCtrl ctrl, int* value);
    int setControlExt(CameraCtrl ctrl, const char* value);
    int getControlExt(CameraCtrl ctrl, const char** value);

    // Streaming. start accepts RAW or DEPTH and builds a new queue (frames still held
    // from the previous queue become invalid). stop returns -1 when not streaming and
    // wakes callers waiting in requestFrame (they get null).
    int setOutputType(FrameType type);
    int start(FrameType type);
    int stop();
    // Oldest ready frame, or null after `timeout` ms (negative: no limit). Once the
    // camera is stopped it never waits: a ready frame or null at once.
    TelmoraFrameBuffer* requestFrame(int16_t timeout);
    // 0, or -1 when `frame` is not in the caller's hands in the current queue.
    int releaseFrame(TelmoraFrameBuffer* frame);

    // Validity of a frame the caller holds, for bindings that wrap frame buffers in
    // objects of their own. Every requestFrame hand-out gets a process-wide unique,
    // non-zero lease; frameLease returns the lease of `frame` while it is in the caller's
    // hands in the current queue and 0 otherwise (released, never requested, from a
    // replaced queue, foreign). A wrapper keeps the lease it saw right after requestFrame
    // and may touch the buffer only while frameLease still returns that value (and the
    // camera object is alive). Takes no lock; constant time.
    uint64_t frameLease(const TelmoraFrameBuffer* frame) const;

    // Steps of the capture loop, exposed for their own sake.
    int analysisFrame(uint8_t* cache, LinkNode* node);
    float updateFps();
    void adjustFrameRate();
    int getRawImages(uint8_t* cache, int16_t* raw);
    bool getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence);

protected:
    void captureThread();
    // updateFps with the system-clock time given in nanoseconds.
    float updateFpsAt(int64_t now_ns);
    bool skipThisCapture();
    bool rawFitsCache();
    int attachSensor(std::unique_ptr<TelmoraTOFSensor> next);
    int setFrameRate(int value);

    CameraInfo info;
    FrameSize raw_size;
    FrameSize output_size;
    std::unique_ptr<TelmoraTOFSensor> sensor;
    std::unique_ptr<TelmoraDevice> device;
    std::unique_ptr<FrameQueue> queue;
    std::thread capture_thread;
    std::atomic<bool> stopped{true};
    Platform platform;
    // Shared between the capture thread and caller threads.
    std::atomic<int32_t> skip_frame{0};
    std::atomic<int32_t> skip_frame_loop{1};
    std::atomic<int32_t> frame_index{0};
    std::atomic<float> frame_interval{0.0f};
    std::atomic<float> smoothing{0.1f};
    std::atomic<float> fps{0.0f};
    std::atomic<int32_t> fps_count{0};
    std::atomic<int64_t> last_frame_time{0};
    std::atomic<bool> auto_frame_rate{true};
};

}  // namespace Telmora
