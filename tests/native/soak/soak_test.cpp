// Long runs over the software USB camera and an in-memory Raspberry Pi 5 board: start/stop
// and open/close cycles with memory and descriptors flat, frames held across stop and
// restart, and a caller that requests on one thread while another releases. Each run
// prints its figures. TELMORA_SOAK_CYCLES overrides the 1,000 start/stop cycles.
#include <atomic>
#include <deque>
#include <set>
#include <thread>

#include "board.hpp"
#include "camera/scripted_parts.hpp"
#include "soak/soak_support.hpp"

namespace {

using namespace camtest;
using Telmora::sim::FakeBoard;
using Telmora::sim::FakeKernel;

enum class Backend { SoftwareUsb, CsiBoard };

const char* nameOf(Backend b) { return b == Backend::SoftwareUsb ? "software USB camera" : "CSI on a Pi 5 board"; }

// Opens `cam` on the back-end; the software camera runs unpaced so cycles are quick.
int openOn(TelmoraTOFCamera& cam, Backend b)
{
    if (b == Backend::CsiBoard) return cam.open(CSI, 0);
    return cam.openWithFile(soak::writeFile("soak.cfg", "fps 0\n").c_str(), 0);
}

void prepare(Backend b)
{
    if (b == Backend::CsiBoard) FakeBoard::make(PLATFORM_RASPBERRY_PI_5).sensor(240, 180).build();
}

// One start, one frame delivered and released, one stop; false on the first failure.
bool streamOnce(TelmoraTOFCamera& cam)
{
    if (cam.start(DEPTH) != 0) return false;
    TelmoraFrameBuffer* f = cam.requestFrame(3000);
    const bool got = f != nullptr && cam.releaseFrame(f) == 0;
    return cam.stop() == 0 && got;
}

class Soak : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override { prepare(GetParam()); }
    void TearDown() override { FakeKernel::instance().reset(); }
};

TEST_P(Soak, StartStopCyclesKeepMemoryAndDescriptorsFlat)
{
    const int cycles = soak::envInt("TELMORA_SOAK_CYCLES", 1000);
    CameraProbe cam;
    ASSERT_EQ(openOn(cam, GetParam()), 0);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(streamOnce(cam));  // allocator and thread caches settle
    const soak::Figures before = soak::Figures::now();
    int failed_at = -1;
    const double seconds = soak::secondsOf([&] {
        for (int i = 0; i < cycles && failed_at < 0; ++i)
            if (!streamOnce(cam)) failed_at = i;
    });
    const soak::Figures after = soak::Figures::now();
    soak::print((std::string("start/stop, ") + nameOf(GetParam())).c_str(), cycles, seconds, before, after);
    EXPECT_EQ(failed_at, -1);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.kernel_fds, before.kernel_fds);
    EXPECT_EQ(after.mappings, before.mappings);
    if (!soak::kSanitized) {
        EXPECT_LT(after.rss_kb - before.rss_kb, 4096);
    }
    EXPECT_EQ(cam.close(), 0);
}

TEST_P(Soak, OpenCloseCyclesOfFreshCamerasKeepMemoryAndDescriptorsFlat)
{
    auto cycle = [&] {
        CameraProbe cam;
        return openOn(cam, GetParam()) == 0 && streamOnce(cam) && cam.close() == 0;
    };
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(cycle());
    const soak::Figures before = soak::Figures::now();
    int failed_at = -1;
    const double seconds = soak::secondsOf([&] {
        for (int i = 0; i < 100 && failed_at < 0; ++i)
            if (!cycle()) failed_at = i;
    });
    const soak::Figures after = soak::Figures::now();
    soak::print((std::string("construct/open/stream/close/destroy, ") + nameOf(GetParam())).c_str(), 100, seconds,
                before, after);
    EXPECT_EQ(failed_at, -1);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.kernel_fds, 0);
    EXPECT_EQ(after.mappings, 0);
    if (!soak::kSanitized) {
        EXPECT_LT(after.rss_kb - before.rss_kb, 4096);
    }
}

TEST_P(Soak, AllThreeFramesHeldAcrossStopAndRestart)
{
    CameraProbe cam;
    ASSERT_EQ(openOn(cam, GetParam()), 0);
    // Held frames stall the stream; the automatic rate would take that for a slow sensor
    // and lower the frame rate, which is not what this test is about.
    ASSERT_EQ(cam.setControl(AUTO_FRAME_RATE, 0), 0);
    for (bool release_before_restart : {true, false}) {
        SCOPED_TRACE(release_before_restart ? "released before the restart" : "kept across the restart");
        ASSERT_EQ(cam.start(DEPTH), 0);
        std::set<TelmoraFrameBuffer*> held;
        for (int i = 0; i < 3; ++i) {
            TelmoraFrameBuffer* f = cam.requestFrame(3000);
            ASSERT_NE(f, nullptr) << "frame " << i;
            held.insert(f);
        }
        EXPECT_EQ(held.size(), 3u);
        EXPECT_EQ(cam.requestFrame(100), nullptr);  // nothing left to fill
        EXPECT_LT(soak::secondsOf([&] { EXPECT_EQ(cam.stop(), 0); }), 3.0);
        const soak::NodePlaces stopped = soak::places(*cam.frameQueue());
        EXPECT_EQ(stopped.caller, 3);
        EXPECT_EQ(stopped.twice, 0);
        if (release_before_restart) {
            for (TelmoraFrameBuffer* f : held) EXPECT_EQ(cam.releaseFrame(f), 0);
            const soak::NodePlaces back = soak::places(*cam.frameQueue());
            EXPECT_EQ(back.free, 3);
            EXPECT_EQ(back.twice, 0);
        }
        // The restart builds a new queue: frames flow again, and frames of the old queue
        // are refused rather than taken in.
        ASSERT_EQ(cam.start(DEPTH), 0);
        std::set<TelmoraFrameBuffer*> fresh;
        for (int i = 0; i < 3; ++i) {
            TelmoraFrameBuffer* f = cam.requestFrame(3000);
            ASSERT_NE(f, nullptr);
            EXPECT_TRUE(fresh.insert(f).second);
        }
        if (!release_before_restart)
            for (TelmoraFrameBuffer* f : held)
                if (fresh.count(f) == 0) {
                    EXPECT_EQ(cam.releaseFrame(f), -1);
                }
        for (TelmoraFrameBuffer* f : fresh) EXPECT_EQ(cam.releaseFrame(f), 0);
        EXPECT_EQ(cam.stop(), 0);
        const soak::NodePlaces end = soak::places(*cam.frameQueue());
        EXPECT_EQ(end.free + end.ready, 3);
        EXPECT_EQ(end.twice, 0);
    }
    EXPECT_EQ(cam.close(), 0);
}

TEST_P(Soak, ACallerHoldingTwoFramesAlwaysGetsTheThird)
{
    // The one node left cycles; the capture thread must not keep overwriting the frame a
    // caller is waiting for.
    CameraProbe cam;
    ASSERT_EQ(openOn(cam, GetParam()), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);
    for (int round = 0; round < 50; ++round) {
        TelmoraFrameBuffer* f[3];
        for (int i = 0; i < 3; ++i) {
            f[i] = cam.requestFrame(3000);
            ASSERT_NE(f[i], nullptr) << "round " << round << ", frame " << i;
        }
        for (TelmoraFrameBuffer* held : f) EXPECT_EQ(cam.releaseFrame(held), 0);
    }
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.close(), 0);
}

TEST_P(Soak, ReleasesFromOneThreadWhileAnotherRequests)
{
    const double run_s = soak::envInt("TELMORA_SOAK_SECONDS", 3);
    CameraProbe cam;
    ASSERT_EQ(openOn(cam, GetParam()), 0);
    ASSERT_EQ(cam.start(DEPTH), 0);

    std::mutex m;
    std::condition_variable handed;
    std::deque<TelmoraFrameBuffer*> to_release;
    std::set<TelmoraFrameBuffer*> held;
    std::set<uint64_t> stamps;
    int delivered = 0, twice = 0, stale = 0, refused = 0;
    std::atomic<bool> requesting{true};

    std::thread requester([&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(run_s);
        uint64_t last = 0;
        while (std::chrono::steady_clock::now() < until) {
            TelmoraFrameBuffer* f = cam.requestFrame(200);
            if (f == nullptr) continue;
            const uint64_t ts = stampOf(f);
            std::lock_guard<std::mutex> lock(m);
            ++delivered;
            if (!held.insert(f).second) ++twice;          // handed out while still held
            if (!stamps.insert(ts).second || ts <= last) ++stale;  // a capture seen again
            last = ts;
            to_release.push_back(f);
            handed.notify_one();
        }
        requesting = false;
        handed.notify_one();
    });
    std::thread releaser([&] {
        int n = 0;
        for (;;) {
            std::unique_lock<std::mutex> lock(m);
            handed.wait(lock, [&] { return !to_release.empty() || !requesting.load(); });
            if (to_release.empty()) return;
            TelmoraFrameBuffer* f = to_release.front();
            to_release.pop_front();
            held.erase(f);
            lock.unlock();
            if (++n % 7 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(3));  // let frames pile up
            if (cam.releaseFrame(f) != 0) ++refused;
        }
    });
    requester.join();
    releaser.join();
    EXPECT_LT(soak::secondsOf([&] { EXPECT_EQ(cam.stop(), 0); }), 3.0);
    const soak::NodePlaces end = soak::places(*cam.frameQueue());
    std::printf("[soak] request/release threads, %s: %d frames in %.0f s, none twice; after stop %d free, %d ready, "
                "%d held, %d filling\n",
                nameOf(GetParam()), delivered, run_s, end.free, end.ready, end.caller, end.filling);
    EXPECT_GT(delivered, 10);
    EXPECT_EQ(twice, 0);
    EXPECT_EQ(stale, 0);
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(end.free + end.ready, 3);  // every node accounted for
    EXPECT_EQ(end.twice, 0);
    EXPECT_EQ(cam.close(), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Soak, ::testing::Values(Backend::SoftwareUsb, Backend::CsiBoard),
                         [](const ::testing::TestParamInfo<Backend>& i) {
                             return std::string(i.param == Backend::SoftwareUsb ? "SoftwareUsb" : "CsiBoard");
                         });

}  // namespace
