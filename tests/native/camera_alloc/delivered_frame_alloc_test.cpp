// Counts heap allocations while frames are captured, decoded, delivered, requested and
// released, skipped and dropped. The counting operator new replaces the global one for
// this executable only.
#include <atomic>
#include <cstdlib>
#include <new>

#include "camera/scripted_parts.hpp"
#include "device/device_hqvga.hpp"
#include "frame/raw_data.hpp"

// The replacements below pair malloc with free by design.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

}  // namespace

void* operator new(std::size_t size)
{
    if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace camtest {
namespace {

TEST(DeliveredFramePath, AllocatesNothing)
{
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    cam.sens->period_us = 100;
    for (uint64_t seq = 7; seq < 100000; seq += 7) cam.sens->fail_at.insert(seq);
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, 3), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, 1), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    TelmoraFrameBuffer* first = cam.requestFrame(-1);  // the thread is up and running
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(cam.releaseFrame(first), 0);

    RawData foreign(2, 2);
    int delivered = 0;
    int misuse = 0;
    g_allocations = 0;
    g_counting = true;
    const uint64_t captures_before = cam.sens->captures();
    while (delivered < 200) {
        TelmoraFrameBuffer* f = cam.requestFrame(1000);
        if (!f) break;
        ++delivered;
        if (cam.frameLease(f) == 0) ++misuse;
        if (cam.releaseFrame(f) != 0) ++misuse;
        if (cam.releaseFrame(f) != -1) ++misuse;        // refused, not allocated
        if (cam.releaseFrame(&foreign) != -1) ++misuse;
    }
    const uint64_t captures = cam.sens->captures() - captures_before;
    g_counting = false;
    const long allocations = g_allocations.load();
    EXPECT_EQ(cam.stop(), 0);

    EXPECT_EQ(delivered, 200);
    EXPECT_EQ(misuse, 0);
    EXPECT_GT(captures, 300u);  // skipped and failed captures were on the path too
    EXPECT_EQ(allocations, 0);
}

}  // namespace
}  // namespace camtest

namespace camtest {
namespace {

// The camera over the real HQVGA device: four 240 x 180 phase images per capture, turned into
// depth or raw images by the device's kernels on the capture thread.
class HqvgaProbe : public CameraProbe {
public:
    int attachHqvga()
    {
        auto s = std::make_unique<ScriptedSensor>(log, 240, 180);
        sens = s.get();
        sensor = std::move(s);
        sensor->frame_count = 4;
        const int r = sensor->open(info);
        if (r != 0) return r;
        device = std::make_unique<TelmoraDeviceHQVGA>(PLATFORM_RASPBERRY_PI);
        return device->open(sensor.get());
    }
};

class HqvgaDelivery : public ::testing::TestWithParam<FrameType> {};

TEST_P(HqvgaDelivery, HundredFramesAllocateNothing)
{
    HqvgaProbe cam;
    ASSERT_EQ(cam.attachHqvga(), 0);
    cam.sens->period_us = 100;
    ASSERT_EQ(cam.start(GetParam()), 0);
    TelmoraFrameBuffer* first = cam.requestFrame(-1);  // kernels chosen, thread running
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(cam.releaseFrame(first), 0);

    g_allocations = 0;
    g_counting = true;
    int delivered = 0;
    while (delivered < 100) {
        TelmoraFrameBuffer* f = cam.requestFrame(1000);
        if (!f) break;
        ++delivered;
        if (cam.releaseFrame(f) != 0) break;
    }
    g_counting = false;
    const long allocations = g_allocations.load();
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(delivered, 100);
    EXPECT_EQ(allocations, 0);
}

INSTANTIATE_TEST_SUITE_P(Outputs, HqvgaDelivery, ::testing::Values(DEPTH, RAW));

}  // namespace
}  // namespace camtest
