// The capture thread and frame delivery, driven capture by capture through a gated
// scripted sensor: a capture's timestamp is its sequence number.
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>

#include "camera/scripted_parts.hpp"
#include "frame/raw_data.hpp"

namespace camtest {
namespace {

class Streaming : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(cam.attach(), 0);
        cam.sens->gated = true;
        ASSERT_EQ(cam.start(DEPTH), 0);
    }
    void TearDown() override { cam.stopNow(); }

    // Lets n captures through and waits until the thread asks for the next one.
    void capture(int n)
    {
        cam.sens->allow(n);
        ASSERT_TRUE(cam.sens->waitParked());
    }
    // Takes a ready frame without waiting; checks its planes were decoded from the
    // capture its timestamp names. 0 when none is ready.
    uint64_t take()
    {
        TelmoraFrameBuffer* f = cam.requestFrame(0);
        if (!f) return 0;
        const uint64_t ts = stampOf(f);
        EXPECT_EQ(static_cast<float*>(f->getData(DEPTH))[0], static_cast<float>(ts));
        EXPECT_EQ(cam.releaseFrame(f), 0);
        return ts;
    }

    CameraProbe cam;
};

// The thread takes the oldest ready node for its next capture before it blocks in the
// sensor, so while it waits there two frames are ready: the oldest not yet overwritten.
TEST_F(Streaming, LateCallerGetsTheOldestFramesNotYetOverwritten)
{
    capture(5);
    EXPECT_EQ(cam.readyCount(), 2);
    EXPECT_EQ(take(), 4u);
    EXPECT_EQ(take(), 5u);
    EXPECT_EQ(take(), 0u);
}

TEST_F(Streaming, LateCallerAfterStopGetsTheOldestOfTheThreeNewest)
{
    capture(5);
    std::thread stopper([this] { cam.stop(); });
    while (cam.streaming()) std::this_thread::sleep_for(1ms);
    cam.sens->allow(1);  // the capture in flight completes; the thread then ends
    stopper.join();
    EXPECT_EQ(take(), 4u);
    EXPECT_EQ(take(), 5u);
    EXPECT_EQ(take(), 6u);
    EXPECT_EQ(take(), 0u);
}

TEST_F(Streaming, OneHeldFrameStaysIntactWhileTheOtherTwoCycle)
{
    capture(1);
    TelmoraFrameBuffer* held = cam.requestFrame(0);
    ASSERT_NE(held, nullptr);
    capture(6);
    EXPECT_EQ(cam.sens->captures(), 7u);
    EXPECT_EQ(stampOf(held), 1u);
    EXPECT_EQ(static_cast<float*>(held->getData(DEPTH))[0], 1.0f);
    EXPECT_EQ(take(), 7u);
    EXPECT_EQ(take(), 0u);
    EXPECT_EQ(cam.releaseFrame(held), 0);
}

// Takes the frame the next capture delivers before the capture thread can take its node
// back for the capture after it: the thread is held in its frame-rate step (which comes
// more than 3 s after it started), between delivering and looking for a node.
TelmoraFrameBuffer* grabNextBeforeReuse(CameraProbe& cam)
{
    cam.dev->hold_rate_reads = true;
    std::this_thread::sleep_for(3100ms);
    cam.sens->allow(1);
    while (cam.dev->rate_reads_held.load() == 0) std::this_thread::sleep_for(100us);
    TelmoraFrameBuffer* got = cam.requestFrame(0);
    cam.dev->hold_rate_reads = false;
    return got;
}

TEST_F(Streaming, AllThreeHeldTimesOutAndAReleaseResumesCapture)
{
    capture(1);
    TelmoraFrameBuffer* f[3];
    ASSERT_NE(f[0] = cam.requestFrame(0), nullptr);
    capture(1);
    ASSERT_NE(f[1] = cam.requestFrame(0), nullptr);
    ASSERT_NE(f[2] = grabNextBeforeReuse(cam), nullptr);
    EXPECT_EQ(stampOf(f[2]), 3u);
    cam.sens->allow(1);  // a capture could run, but there is no node to fill
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.requestFrame(200), nullptr);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, 200ms);
    EXPECT_LT(waited, 1500ms);
    EXPECT_EQ(cam.sens->captures(), 3u);
    EXPECT_EQ(cam.releaseFrame(f[1]), 0);
    ASSERT_TRUE(cam.sens->waitParked());
    EXPECT_EQ(cam.sens->captures(), 4u);
    EXPECT_EQ(stampOf(f[0]), 1u);  // held frames were never touched
    EXPECT_EQ(stampOf(f[2]), 3u);
    EXPECT_EQ(cam.releaseFrame(f[0]), 0);
    EXPECT_EQ(cam.releaseFrame(f[2]), 0);
}

TEST_F(Streaming, ZeroTimeoutNeverWaitsNegativeWaitsForAFrame)
{
    ASSERT_TRUE(cam.sens->waitParked());
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.requestFrame(0), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms);

    std::thread later([this] {
        std::this_thread::sleep_for(100ms);
        cam.sens->allow(1);
    });
    t0 = std::chrono::steady_clock::now();
    TelmoraFrameBuffer* f = cam.requestFrame(-1);
    later.join();
    ASSERT_NE(f, nullptr);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 90ms);
    EXPECT_EQ(stampOf(f), 1u);
    EXPECT_EQ(cam.releaseFrame(f), 0);
}

TEST_F(Streaming, StopWakesAWaitingCallerWithNull)
{
    std::atomic<bool> returned{false};
    TelmoraFrameBuffer* got = reinterpret_cast<TelmoraFrameBuffer*>(1);
    std::thread waiter([&] {
        got = cam.requestFrame(-1);
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(cam.stopNow(), 0);
    waiter.join();
    EXPECT_EQ(got, nullptr);
    // A stopped camera still hands out what is ready, and never waits for more.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.requestFrame(-1), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 50ms);
}

TEST_F(Streaming, FramesReadyAtStopCanStillBeRequested)
{
    capture(2);
    ASSERT_EQ(cam.stopNow(), 0);
    EXPECT_EQ(take(), 1u);
    EXPECT_EQ(take(), 2u);
    EXPECT_EQ(take(), 0u);
}

TEST_F(Streaming, AFailedCaptureIsDroppedAndTheNextDelivered)
{
    cam.stopNow();
    cam.sens->fail_at = {2};
    ASSERT_EQ(cam.start(DEPTH), 0);
    capture(1);
    EXPECT_EQ(take(), 1u);
    capture(1);  // capture 2 fails; the thread asks again at once
    capture(1);
    EXPECT_EQ(take(), 3u);
    EXPECT_EQ(cam.frameIndex(), 0);  // failures never reach the skip cycle
}

TEST_F(Streaming, AFailedDepthComputationDropsTheFrame)
{
    cam.dev->phase_fails = true;
    capture(2);
    EXPECT_EQ(take(), 0u);
    cam.dev->phase_fails = false;
    capture(1);
    EXPECT_EQ(take(), 3u);
}

TEST_F(Streaming, RawStreamDeliversWhateverTheDeviceReturns)
{
    cam.stopNow();
    ASSERT_EQ(cam.start(RAW), 0);
    capture(1);
    TelmoraFrameBuffer* f = cam.requestFrame(0);
    ASSERT_NE(f, nullptr);
    FrameDataFormat fmt{};
    ASSERT_EQ(f->getFormat(RAW, fmt), 0);
    EXPECT_EQ(fmt.timestamp, 1u);
    uint64_t seq = 0;
    std::memcpy(&seq, f->getData(RAW), sizeof seq);
    EXPECT_EQ(seq, 1u);
    EXPECT_EQ(cam.releaseFrame(f), 0);
}

// Misuse of releaseFrame is refused and leaves every node where it was.
TEST_F(Streaming, ReleasingAFrameNotInTheCallersHandsIsRefused)
{
    capture(2);
    TelmoraFrameBuffer* mine = cam.requestFrame(0);
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(cam.releaseFrame(mine), 0);
    EXPECT_EQ(cam.releaseFrame(mine), -1);  // twice
    FrameQueue* q = cam.frameQueue();
    TelmoraFrameBuffer* ready = q->nodes->ready_head->buffer.get();
    EXPECT_EQ(cam.releaseFrame(ready), -1);  // never requested
    RawData foreign(4, 4);
    EXPECT_EQ(cam.releaseFrame(&foreign), -1);
    EXPECT_EQ(cam.releaseFrame(nullptr), -1);
    EXPECT_EQ(q->nodes->readyLength(), 1u);
    EXPECT_EQ(cam.readyCount(), 1);
    EXPECT_EQ(take(), 2u);
    capture(3);  // all three nodes still cycle
    EXPECT_EQ(take(), 4u);
    EXPECT_EQ(take(), 5u);
    EXPECT_EQ(take(), 0u);
}

TEST_F(Streaming, AFrameFromAReplacedQueueIsRefused)
{
    capture(1);
    TelmoraFrameBuffer* old = cam.requestFrame(0);
    ASSERT_NE(old, nullptr);
    const uint64_t lease = cam.frameLease(old);
    EXPECT_NE(lease, 0u);
    ASSERT_EQ(cam.stopNow(), 0);
    EXPECT_EQ(cam.frameLease(old), lease);  // stop keeps the queue and its frames
    ASSERT_EQ(cam.start(DEPTH), 0);
    EXPECT_EQ(cam.frameLease(old), 0u);
    EXPECT_EQ(cam.releaseFrame(old), -1);
}

TEST_F(Streaming, LeasesFollowEachHandOut)
{
    capture(2);
    TelmoraFrameBuffer* f = cam.requestFrame(0);
    const uint64_t first = cam.frameLease(f);
    EXPECT_NE(first, 0u);
    ASSERT_EQ(cam.releaseFrame(f), 0);
    EXPECT_EQ(cam.frameLease(f), 0u);
    TelmoraFrameBuffer* g = cam.requestFrame(0);
    ASSERT_NE(g, nullptr);
    EXPECT_NE(cam.frameLease(g), 0u);
    EXPECT_NE(cam.frameLease(g), first);
    EXPECT_EQ(cam.frameLease(cam.frameQueue()->nodes->free_head->buffer.get()), 0u);
    EXPECT_EQ(cam.releaseFrame(g), 0);
}

TEST_F(Streaming, CacheTooSmallForTheRawFrameIsRefused)
{
    cam.stopNow();
    CameraProbe small;
    // One 240 x 180 image per capture, but the device decodes 240 x 720 samples.
    ASSERT_EQ(small.attach(240, 180, {2, 240, 720}, {2, 240, 180}), 0);
    EXPECT_EQ(small.start(DEPTH), -1);
    EXPECT_FALSE(small.streaming());
    EXPECT_EQ(small.frameQueue(), nullptr);
    small.sens->frame_count = 4;
    EXPECT_EQ(small.start(DEPTH), 0);
    EXPECT_EQ(small.stop(), 0);
}

// ---- the skip cycle ----

using SkipCase = std::tuple<int, int, std::string>;  // SKIP_FRAME, SKIP_FRAME_LOOP, D/X per capture

class SkipCycle : public Streaming, public ::testing::WithParamInterface<SkipCase> {
protected:
    std::string run(int captures)
    {
        std::string seen;
        for (int i = 0; i < captures; ++i) {
            const uint64_t expect = cam.sens->captures() + 1;
            capture(1);
            const uint64_t ts = take();
            EXPECT_TRUE(ts == 0 || ts == expect);
            seen += ts ? 'D' : 'X';
        }
        return seen;
    }
};

TEST_P(SkipCycle, DeliversThePatternAndContinuesAcrossARestart)
{
    const auto& [skip, loop, pattern] = GetParam();
    ASSERT_EQ(cam.setControl(SKIP_FRAME_LOOP, loop), 0);
    ASSERT_EQ(cam.setControl(SKIP_FRAME, skip), 0);
    const std::string expected = pattern + pattern + pattern;
    const int before = static_cast<int>(pattern.size()) + 1;
    std::string seen = run(before);
    ASSERT_EQ(cam.stopNow(), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    seen += run(static_cast<int>(expected.size()) - before);
    EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(Patterns, SkipCycle,
                         ::testing::Values(SkipCase{0, 1, "D"}, SkipCase{1, 2, "DX"}, SkipCase{1, 3, "DDX"},
                                           SkipCase{2, 3, "XDX"}, SkipCase{1, 4, "DDDX"},
                                           SkipCase{2, 5, "DXDDX"}, SkipCase{3, 3, "XXX"},
                                           SkipCase{0, 255, "D"}));

}  // namespace
}  // namespace camtest
