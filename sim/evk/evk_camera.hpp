// The software USB camera behind one TelmoraHandle: pacing, timestamps, held images, sensor
// registers and injected faults around an ImageGenerator.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "evk_config.hpp"
#include "image_generator.hpp"
#include "telmora_evk_sdk.h"

namespace Telmora {
namespace evk {

// Results of the library calls besides 0.
enum EvkResult : int {
    kFailed = -1,      // refused: bad state or argument, or an injected fault
    kTimedOut = -2,    // no image within the time-out
};

// Images currently held over all cameras.
extern std::atomic<unsigned> g_held_images;

class EvkCamera {
public:
    using Clock = std::chrono::steady_clock;

    explicit EvkCamera(const EvkConfig& config);
    ~EvkCamera();  // frees images still held

    int init();
    void getConfig(TelmoraCameraConfig* out) const;
    int start();
    int capture(TelmoraImage* image, uint32_t timeout_ms);
    int freeImage(const TelmoraImage& image);
    int stop();
    int writeRegister(uint32_t reg, uint32_t value);

    size_t registerLog(uint32_t* regs, uint32_t* values, size_t max);
    int rangeModeMm() const;
    bool groundTruth(uint64_t capture, float* distance_mm, float* amplitude);
    int64_t captureOfTimestamp(uint64_t timestamp);

private:
    // Milliseconds from start to image m's nominal arrival (before gaps and overrides).
    double nominalMs(uint64_t m) const;
    uint64_t timestampOf(uint64_t m, uint64_t call);
    bool isFailingCall(uint64_t call) const;

    const EvkConfig cfg_;
    std::unique_ptr<ImageGenerator> gen_;
    const int per_capture_;
    const size_t image_bytes_;
    double period_ms_;  // between the first images of two captures

    std::mutex mu_;  // everything below
    Clock::time_point opened_at_;
    Clock::time_point started_at_;
    uint64_t start_ms_ = 0;  // milliseconds from open to start
    bool initialised_ = false;
    bool started_ = false;
    uint64_t next_image_ = 0;  // stream image number m since start
    uint64_t calls_ = 0;       // image calls since start
    uint64_t gap_ms_ = 0;      // injected timestamp gaps so far
    int64_t rendered_ = -1;    // capture held in capture_buf_
    std::vector<uint8_t> capture_buf_;
    std::set<uint8_t*> held_;
    std::vector<std::pair<uint32_t, uint32_t>> reg_log_;
    std::vector<std::pair<uint64_t, uint64_t>> recent_;  // (timestamp, capture), a ring
    size_t recent_next_ = 0;
    std::atomic<int> range_mm_;
};

}  // namespace evk
}  // namespace Telmora
