#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "telmora/camera.hpp"

namespace Telmora {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

}  // namespace

float TelmoraTOFCamera::updateFps()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return updateFpsAt(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

float TelmoraTOFCamera::updateFpsAt(int64_t now_ns)
{
    const int64_t whole_ms = (now_ns - last_frame_time.load(kRelaxed)) / 1000000;
    last_frame_time.store(now_ns, kRelaxed);
    const auto d = static_cast<float>(whole_ms);
    if (fps_count.load(kRelaxed) == 0) {
        frame_interval.store(d, kRelaxed);
    } else {
        const float s = smoothing.load(kRelaxed);
        const float v = d * s + (1.0f - s) * frame_interval.load(kRelaxed);
        if (std::isfinite(v)) {
            frame_interval.store(v, kRelaxed);
            smoothing.store(1.0f / 30.0f, kRelaxed);
        }
    }
    fps_count.fetch_add(1, kRelaxed);
    const float rate = 1000.0f / frame_interval.load(kRelaxed);
    fps.store(rate, kRelaxed);
    return rate;
}

void TelmoraTOFCamera::adjustFrameRate()
{
    const float measured = std::floor(fps.load(kRelaxed));
    int target = 1;
    if (std::isfinite(measured) && measured >= 1.0f) {
        target = measured >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(measured);
    }
    int configured = 0;
    getControl(FRAME_RATE, &configured);
    const int64_t tolerance = configured >= 10 ? configured / 10 : 1;
    if (std::llabs(int64_t{target} - configured) > tolerance) setControl(FRAME_RATE, target);
}

}  // namespace Telmora
