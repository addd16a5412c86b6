// Scripted stand-ins for a sensor back-end and a depth device, used to drive the camera's
// queue and capture thread deterministically, and a camera probe that attaches them.
//
// ScriptedSensor: every getFrame call is one capture with sequence number 1, 2, 3 ... used
// as its timestamp and written into the first 8 cache bytes. In gated mode a capture waits
// for a permit (allow()); waitParked() returns once the thread has asked for a capture that
// has no permit, i.e. everything before it went all the way through the queue.
// ScriptedDevice: copies the sequence number from the cache into the output buffer, so a
// delivered frame can be checked against its own timestamp.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "camera/frame_queue.hpp"
#include "device/device.hpp"
#include "sensor/tof_sensor.hpp"
#include "telmora/camera.hpp"

namespace camtest {

using namespace Telmora;
using namespace std::chrono_literals;

// Lifecycle calls in the order they happened, shared by sensor and device.
struct CallLog {
    void add(const std::string& s)
    {
        std::lock_guard<std::mutex> lock(m);
        calls.push_back(s);
    }
    std::vector<std::string> take()
    {
        std::lock_guard<std::mutex> lock(m);
        return calls;
    }
    std::mutex m;
    std::vector<std::string> calls;
};

class ScriptedSensor : public TelmoraTOFSensor {
public:
    ScriptedSensor(std::shared_ptr<CallLog> log, uint32_t w, uint32_t h) : log_(std::move(log)), w_(w), h_(h) {}
    ~ScriptedSensor() override { log_->add("sensor.destroy"); }

    int open(CameraInfo& info) override
    {
        log_->add("sensor.open");
        if (open_result != 0) return open_result;
        info.width = w_;
        info.height = h_;
        info.bit_width = 12;
        info.bpp = 2;
        info_ = info;
        return 0;
    }
    int close() override
    {
        log_->add(in_frame_.load() ? "sensor.close while capturing" : "sensor.close");
        return 0;
    }
    int start() override { log_->add("sensor.start"); return start_result; }
    int stop() override { log_->add("sensor.stop"); return 0; }
    CameraInfo getCameraInfo() override { return info_; }

    int getFrame(uint8_t* cache, uint64_t* timestamp) override
    {
        ++in_frame_;
        struct Leave { std::atomic<int>& n; ~Leave() { --n; } } leave{in_frame_};
        if (gated.load() && !waitPermit()) return -1;
        if (period_us.load() > 0) std::this_thread::sleep_for(std::chrono::microseconds(period_us.load()));
        const uint64_t seq = ++captures_;
        if (fail_at.count(seq)) return -1;
        std::memcpy(cache, &seq, sizeof seq);
        *timestamp = seq;
        return 0;
    }
    int setControl(CameraCtrl, int32_t) override { return 1; }
    int getControl(CameraCtrl, int32_t*) override { return 4; }

    // Gating: captures wait for permits.
    void allow(int n)
    {
        std::lock_guard<std::mutex> lock(m_);
        permits_ += n;
        cv_.notify_all();
    }
    // While set, a capture waiting for a permit fails at once instead (the camera then
    // drops it without touching the skip cycle), so that stop() can join the thread.
    void abortWaits(bool on)
    {
        std::lock_guard<std::mutex> lock(m_);
        abort_ = on;
        cv_.notify_all();
    }
    bool waitParked(std::chrono::milliseconds limit = 5000ms)
    {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [this] { return parked_ && permits_ == 0; });
    }
    uint64_t captures() const { return captures_.load(); }

    int open_result = 0;
    int start_result = 0;
    std::set<uint64_t> fail_at;  // set before streaming
    std::atomic<bool> gated{false};
    std::atomic<int> period_us{0};

private:
    bool waitPermit()
    {
        std::unique_lock<std::mutex> lock(m_);
        parked_ = true;
        cv_.notify_all();
        cv_.wait(lock, [this] { return permits_ > 0 || abort_; });
        parked_ = false;
        if (permits_ == 0) return false;
        --permits_;
        return true;
    }

    std::shared_ptr<CallLog> log_;
    uint32_t w_, h_;
    CameraInfo info_{};
    std::atomic<uint64_t> captures_{0};
    std::mutex m_;
    std::condition_variable cv_;
    int permits_ = 0;
    bool parked_ = false;
    bool abort_ = false;
    std::atomic<int> in_frame_{0};
};

class ScriptedDevice : public TelmoraDevice {
public:
    ScriptedDevice(std::shared_ptr<CallLog> log, FrameSize raw, FrameSize out)
        : TelmoraDevice(PLATFORM_UNKNOWN), log_(std::move(log)), raw_(raw), out_(out) {}
    ~ScriptedDevice() override { log_->add("device.destroy"); }

    int getDeviceType() override { return 0; }
    void getFrameSize(FrameSize& raw, FrameSize& output) override { raw = raw_; output = out_; }
    int open(TelmoraTOFSensor* s) override { sensor = s; log_->add("device.open"); return open_result; }
    int close() override { log_->add("device.close"); return 0; }
    int prepare() override { log_->add("device.prepare"); return prepare_result; }
    int initProcess() override { log_->add("device.initProcess"); return init_result; }
    int stop() override { log_->add("device.stop"); return 0; }
    int setControl(CameraCtrl ctrl, int value) override
    {
        if (ctrl == FRAME_RATE) {
            rate_sets.fetch_add(1);
            last_rate.store(value);
            return 0;
        }
        if (ctrl == RANGE) { range.store(value); return 0; }
        last_set_ctrl.store(ctrl);
        last_set_value.store(value);
        return 1;
    }
    int setControlExt(CameraCtrl, const char*) override { return 1; }
    int getControl(CameraCtrl ctrl, int* value) override
    {
        if (ctrl == FRAME_RATE) {
            if (hold_rate_reads.load()) {
                ++rate_reads_held;
                while (hold_rate_reads.load()) std::this_thread::sleep_for(std::chrono::microseconds(100));
                --rate_reads_held;
            }
            if (rate_result.load() != 0) return rate_result.load();
            *value = rate_limit.load();
            return 0;
        }
        if (ctrl == RANGE) { *value = range.load(); return 0; }
        *value = 1000 + ctrl;  // recognisably the device's answer
        return 0;
    }
    int getControlExt(CameraCtrl, const char**) override { return 1; }
    int getRawImages(uint8_t* cache, int16_t* raw) override
    {
        std::memcpy(raw, cache, sizeof(uint64_t));
        return 1;
    }
    bool getPhaseImage(uint8_t* cache, float* depth, float* amplitude, float* confidence) override
    {
        uint64_t seq;
        std::memcpy(&seq, cache, sizeof seq);
        depth[0] = amplitude[0] = confidence[0] = static_cast<float>(seq);
        return !phase_fails.load();
    }

    int open_result = 0;
    int prepare_result = 0;
    int init_result = 0;
    std::atomic<int> rate_limit{30};
    std::atomic<int> rate_result{0};
    std::atomic<int> rate_sets{0};
    std::atomic<int> last_rate{0};
    std::atomic<int> range{4000};
    std::atomic<int> last_set_ctrl{-1};
    std::atomic<int> last_set_value{0};
    std::atomic<bool> phase_fails{false};
    // While set, reads of FRAME_RATE wait: pauses the capture thread in its rate step.
    std::atomic<bool> hold_rate_reads{false};
    std::atomic<int> rate_reads_held{0};

private:
    std::shared_ptr<CallLog> log_;
    FrameSize raw_, out_;
};

// A camera whose sensor and device are scripted. attach() stands where open() creates the
// real back-ends; everything after that is the camera's own code.
class CameraProbe : public TelmoraTOFCamera {
public:
    using TelmoraTOFCamera::updateFpsAt;

    explicit CameraProbe(std::shared_ptr<CallLog> l = std::make_shared<CallLog>()) : log(std::move(l)) {}
    ~CameraProbe()
    {
        if (sens) sens->abortWaits(true);
    }

    // stop() for a gated sensor: a parked capture must give up first.
    int stopNow()
    {
        if (sens) sens->abortWaits(true);
        int r = stop();
        if (sens) sens->abortWaits(false);
        return r;
    }
    // Replaces the sensor through the camera's own open path (without choosing a device).
    int reattach(std::unique_ptr<ScriptedSensor> s)
    {
        sens = s.get();
        return attachSensor(std::move(s));
    }
    Platform board() const { return platform; }
    TelmoraDevice* currentDevice() { return device.get(); }

    // A 240 x 180 sensor captured as one image, which the raw frame fills exactly.
    int attach(uint32_t w = 240, uint32_t h = 180, FrameSize raw = {2, 240, 180}, FrameSize out = {2, 240, 180})
    {
        auto s = std::make_unique<ScriptedSensor>(log, w, h);
        sens = s.get();
        auto d = std::make_unique<ScriptedDevice>(log, raw, out);
        dev = d.get();
        sensor = std::move(s);
        int r = sensor->open(info);
        if (r != 0) return r;
        device = std::move(d);
        return device->open(sensor.get());
    }

    FrameQueue* frameQueue() { return queue.get(); }
    int32_t frameIndex() const { return frame_index.load(); }
    float frameInterval() const { return frame_interval.load(); }
    void setFps(float f) { fps.store(f); }
    void setLastFrameTime(int64_t t) { last_frame_time.store(t); }
    bool streaming() const { return !stopped.load(); }
    int32_t readyCount()
    {
        std::lock_guard<std::mutex> lock(queue->mutex);
        return queue->ready_count;
    }

    std::shared_ptr<CallLog> log;
    ScriptedSensor* sens = nullptr;
    ScriptedDevice* dev = nullptr;
};

inline uint64_t stampOf(TelmoraFrameBuffer* f)
{
    FrameDataFormat fmt{};
    if (f->getFormat(DEPTH, fmt) != 0) f->getFormat(RAW, fmt);
    return fmt.timestamp;
}

}  // namespace camtest
