// Free-running capture with a caller taking frames and another thread changing controls
// at the same time. Meant for the ThreadSanitizer build as much as for the plain one.
#include <atomic>
#include <cstring>
#include <thread>

#include "camera/scripted_parts.hpp"

namespace camtest {
namespace {

class StreamingStress : public ::testing::TestWithParam<FrameType> {};

TEST_P(StreamingStress, ControlsChangeWhileFramesFlow)
{
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    cam.sens->period_us = 200;
    ASSERT_EQ(cam.start(GetParam()), 0);

    std::atomic<bool> done{false};
    std::thread controller([&] {
        int v = 0;
        for (int i = 0; !done.load(); ++i) {
            cam.setControl(SKIP_FRAME_LOOP, 1 + i % 5);
            cam.setControl(SKIP_FRAME, i % 3);
            cam.setControl(AUTO_FRAME_RATE, i % 2);
            cam.setControl(FRAME_RATE, 1 + i % 30);
            cam.getControl(FRAME_RATE, &v);
            cam.getControl(AUTO_FRAME_RATE, &v);
            cam.frameLease(nullptr);
            std::this_thread::sleep_for(100us);
        }
    });

    int delivered = 0;
    int mismatched = 0;
    uint64_t last = 0;
    int out_of_order = 0;
    const auto until = std::chrono::steady_clock::now() + 800ms;
    TelmoraFrameBuffer* held = nullptr;
    while (std::chrono::steady_clock::now() < until) {
        TelmoraFrameBuffer* f = cam.requestFrame(50);
        if (!f) continue;
        ++delivered;
        const uint64_t ts = stampOf(f);
        uint64_t content = 0;
        if (GetParam() == DEPTH) {
            content = static_cast<uint64_t>(static_cast<float*>(f->getData(DEPTH))[0]);
        } else {
            std::memcpy(&content, f->getData(RAW), sizeof content);
        }
        if (content != ts) ++mismatched;
        if (ts <= last) ++out_of_order;
        last = ts;
        // Hold every fourth frame across the next request.
        if (held) {
            EXPECT_EQ(cam.releaseFrame(held), 0);
        }
        held = nullptr;
        if (delivered % 4 == 0) {
            held = f;
        } else {
            EXPECT_EQ(cam.releaseFrame(f), 0);
        }
    }
    done = true;
    controller.join();
    EXPECT_EQ(cam.stop(), 0);
    if (held) {
        EXPECT_EQ(cam.releaseFrame(held), 0);
    }
    EXPECT_GT(delivered, 20);
    EXPECT_EQ(mismatched, 0);  // a frame's planes always come from its own capture
    EXPECT_EQ(out_of_order, 0);
}

INSTANTIATE_TEST_SUITE_P(Outputs, StreamingStress, ::testing::Values(DEPTH, RAW));

TEST(StreamingStressStop, StopAndCloseRaceNothingWithAWaitingCaller)
{
    for (int round = 0; round < 20; ++round) {
        CameraProbe cam;
        ASSERT_EQ(cam.attach(), 0);
        cam.sens->period_us = 300;
        ASSERT_EQ(cam.start(DEPTH), 0);
        std::thread caller([&] {
            while (TelmoraFrameBuffer* f = cam.requestFrame(-1)) cam.releaseFrame(f);
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(1 + round % 5));
        EXPECT_EQ(cam.close(), 0);
        caller.join();
    }
}

}  // namespace
}  // namespace camtest
