// The software USB camera (see README.md for its behaviour).
#include "evk_camera.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

namespace Telmora {
namespace evk {

std::atomic<unsigned> g_held_images{0};

namespace {
constexpr size_t kRecentImages = 256;
constexpr double kUnpacedGapMs = 6.0;  // between two captures of an unpaced camera
}  // namespace

EvkCamera::EvkCamera(const EvkConfig& config)
    : cfg_(config),
      gen_(makeGenerator(config)),
      per_capture_(gen_->imagesPerCapture()),
      image_bytes_(gen_->imageBytes()),
      opened_at_(Clock::now()),
      started_at_(opened_at_),
      capture_buf_(static_cast<size_t>(per_capture_) * image_bytes_),
      recent_(kRecentImages, std::make_pair(~0ull, ~0ull)),
      range_mm_(config.range == sim::RangeMode::Range2m ? 2000 : 4000) {
    // Paced: the frame period. Unpaced: a simulated clock on which the images of a capture are
    // 1 ms apart and captures are separated by a further gap, as on the hardware.
    period_ms_ = cfg_.fps > 0 ? 1000.0 / cfg_.fps : per_capture_ + kUnpacedGapMs;
}

EvkCamera::~EvkCamera() {
    for (uint8_t* p : held_) {
        delete[] p;
        g_held_images.fetch_sub(1);
    }
}

int EvkCamera::init() {
    std::lock_guard<std::mutex> lock(mu_);
    if (cfg_.fail_init) return kFailed;
    initialised_ = true;
    return 0;
}

void EvkCamera::getConfig(TelmoraCameraConfig* out) const {
    std::memset(out, 0, sizeof(*out));
    out->width = cfg_.width;
    out->height = gen_->imageHeight();
    out->bits_per_sample = static_cast<uint8_t>(cfg_.bits);
    out->fps = cfg_.fps;
}

int EvkCamera::start() {
    std::lock_guard<std::mutex> lock(mu_);
    if (!initialised_ || started_ || cfg_.fail_start) return kFailed;
    started_ = true;
    started_at_ = Clock::now();
    start_ms_ = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(started_at_ - opened_at_).count());
    next_image_ = 0;
    calls_ = 0;
    gap_ms_ = 0;
    rendered_ = -1;
    return 0;
}

int EvkCamera::stop() {
    std::lock_guard<std::mutex> lock(mu_);
    if (!started_) return kFailed;
    started_ = false;
    return 0;
}

double EvkCamera::nominalMs(uint64_t m) const {
    const uint64_t n = m / static_cast<uint64_t>(per_capture_);
    const uint64_t j = m % static_cast<uint64_t>(per_capture_);
    return std::floor(static_cast<double>(n) * period_ms_) + static_cast<double>(j);
}

bool EvkCamera::isFailingCall(uint64_t call) const {
    if (cfg_.capture_fails_every > 0 && call % cfg_.capture_fails_every == 0) return true;
    return std::find(cfg_.capture_fails_at.begin(), cfg_.capture_fails_at.end(), call) !=
           cfg_.capture_fails_at.end();
}

uint64_t EvkCamera::timestampOf(uint64_t m, uint64_t call) {
    for (const auto& g : cfg_.timestamp_gaps) {
        if (g.first == call) gap_ms_ += g.second;
    }
    if (call >= 1 && call <= cfg_.timestamps.size()) return cfg_.timestamps[call - 1];
    return start_ms_ + static_cast<uint64_t>(nominalMs(m)) + gap_ms_;
}

int EvkCamera::capture(TelmoraImage* image, uint32_t timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    if (!started_ || image == nullptr) return kFailed;

    if (cfg_.fps > 0) {
        // Paced: wait for image m to arrive. A consumer more than a capture behind finds the
        // older captures dropped, as the hardware's small queue would.
        const auto now = Clock::now();
        const double since_start =
            std::chrono::duration<double, std::milli>(now - started_at_).count();
        const uint64_t newest = static_cast<uint64_t>(std::max(0.0, since_start / period_ms_));
        const uint64_t n = next_image_ / static_cast<uint64_t>(per_capture_);
        if (newest > n + 1) next_image_ = newest * static_cast<uint64_t>(per_capture_);
        const auto due = started_at_ + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double, std::milli>(
                                               nominalMs(next_image_)));
        if (due > now) {
            const auto limit = now + std::chrono::milliseconds(timeout_ms);
            lock.unlock();
            if (due > limit) {
                std::this_thread::sleep_until(limit);
                return kTimedOut;
            }
            std::this_thread::sleep_until(due);
            lock.lock();
            if (!started_) return kFailed;
        }
    }

    const uint64_t m = next_image_++;
    const uint64_t call = ++calls_;
    const uint64_t n = m / static_cast<uint64_t>(per_capture_);
    const uint64_t j = m % static_cast<uint64_t>(per_capture_);
    const uint64_t ts = timestampOf(m, call);
    if (isFailingCall(call)) return kFailed;  // the image is lost

    if (rendered_ != static_cast<int64_t>(n)) {
        const sim::RangeMode mode = range_mm_.load() == 2000 ? sim::RangeMode::Range2m
                                                             : sim::RangeMode::Range4m;
        gen_->render(n, mode, capture_buf_.data());
        rendered_ = static_cast<int64_t>(n);
    }

    size_t size = image_bytes_;
    if (std::find(cfg_.wrong_size_at.begin(), cfg_.wrong_size_at.end(), call) !=
        cfg_.wrong_size_at.end()) {
        if (cfg_.wrong_size_bytes >= 0) {
            size = static_cast<size_t>(cfg_.wrong_size_bytes);
        } else {
            const size_t row = image_bytes_ / std::max<uint32_t>(gen_->imageHeight(), 1);
            size = image_bytes_ > row ? image_bytes_ - row : image_bytes_ + row;
        }
    }
    uint8_t* data = new uint8_t[std::max<size_t>(size, 1)];
    const uint8_t* src = capture_buf_.data() + image_bytes_ * j;
    std::memcpy(data, src, std::min(size, image_bytes_));
    if (size > image_bytes_) std::memset(data + image_bytes_, 0, size - image_bytes_);
    held_.insert(data);
    g_held_images.fetch_add(1);

    recent_[recent_next_] = std::make_pair(ts, n);
    recent_next_ = (recent_next_ + 1) % kRecentImages;

    std::memset(image, 0, sizeof(*image));
    image->sequence = static_cast<uint32_t>(m);
    image->index = static_cast<uint32_t>(j);
    image->timestamp = ts;
    image->width = cfg_.width;
    image->height = gen_->imageHeight();
    image->size = static_cast<uint32_t>(size);
    image->bits = cfg_.bits;
    image->data = data;
    image->capture = n;
    return 0;
}

int EvkCamera::freeImage(const TelmoraImage& image) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = held_.find(image.data);
    if (it == held_.end()) return kFailed;
    delete[] *it;
    held_.erase(it);
    g_held_images.fetch_sub(1);
    return 0;
}

int EvkCamera::writeRegister(uint32_t reg, uint32_t value) {
    std::lock_guard<std::mutex> lock(mu_);
    reg_log_.emplace_back(reg, value);
    if (reg == 0x216C) {
        if (value == 0x08) range_mm_.store(2000);
        if (value == 0x10) range_mm_.store(4000);
    }
    return 0;
}

size_t EvkCamera::registerLog(uint32_t* regs, uint32_t* values, size_t max) {
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t i = 0; i < reg_log_.size() && i < max; ++i) {
        if (regs) regs[i] = reg_log_[i].first;
        if (values) values[i] = reg_log_[i].second;
    }
    return reg_log_.size();
}

int EvkCamera::rangeModeMm() const { return range_mm_.load(); }

bool EvkCamera::groundTruth(uint64_t capture, float* distance_mm, float* amplitude) {
    std::lock_guard<std::mutex> lock(mu_);
    return gen_->groundTruth(capture, distance_mm, amplitude);
}

int64_t EvkCamera::captureOfTimestamp(uint64_t timestamp) {
    std::lock_guard<std::mutex> lock(mu_);
    for (size_t k = 1; k <= kRecentImages; ++k) {
        const auto& r = recent_[(recent_next_ + kRecentImages - k) % kRecentImages];
        if (r.first == timestamp && r.second != ~0ull) return static_cast<int64_t>(r.second);
    }
    return -1;
}

}  // namespace evk
}  // namespace Telmora
