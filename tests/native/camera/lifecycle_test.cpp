// Open, close, destruction and the calls a camera refuses in the wrong state.
#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>

#include "camera/scripted_parts.hpp"
#include "frame/raw_data.hpp"

namespace camtest {
namespace {

// Index of the first occurrence of `call` in the log, or -1.
int at(const std::vector<std::string>& log, const std::string& call)
{
    auto it = std::find(log.begin(), log.end(), call);
    return it == log.end() ? -1 : static_cast<int>(it - log.begin());
}

struct Refusal {
    const char* name;
    std::function<bool(TelmoraTOFCamera&)> refused;
};

class BeforeOpen : public ::testing::TestWithParam<Refusal> {};

TEST_P(BeforeOpen, IsRefusedWithoutTouchingAnything)
{
    TelmoraTOFCamera cam;
    EXPECT_TRUE(GetParam().refused(cam));
}

INSTANTIATE_TEST_SUITE_P(
    Calls, BeforeOpen,
    ::testing::Values(
        Refusal{"start", [](TelmoraTOFCamera& c) { return c.start(DEPTH) == -1; }},
        Refusal{"stop", [](TelmoraTOFCamera& c) { return c.stop() == -1; }},
        Refusal{"close", [](TelmoraTOFCamera& c) { return c.close() == -1; }},
        Refusal{"setOutputType", [](TelmoraTOFCamera& c) { return c.setOutputType(RAW) == -1; }},
        Refusal{"openPostHandle", [](TelmoraTOFCamera& c) { return c.openPostHandle() == -1; }},
        Refusal{"setRange", [](TelmoraTOFCamera& c) { return c.setControl(RANGE, 2000) == -1; }},
        Refusal{"setFrameRate", [](TelmoraTOFCamera& c) { return c.setControl(FRAME_RATE, 5) == -1; }},
        Refusal{"getRange", [](TelmoraTOFCamera& c) { int v = 7; return c.getControl(RANGE, &v) == -1 && v == 7; }},
        Refusal{"setControlExt", [](TelmoraTOFCamera& c) { return c.setControlExt(CONFIG_DIR_EXT, "d") == -1; }},
        Refusal{"getControlExt", [](TelmoraTOFCamera& c) { const char* p = nullptr; return c.getControlExt(CONFIG_DIR_EXT, &p) == -1; }},
        Refusal{"requestFrame", [](TelmoraTOFCamera& c) { return c.requestFrame(-1) == nullptr; }},
        Refusal{"releaseFrame", [](TelmoraTOFCamera& c) {
                    RawData foreign(2, 2);
                    return c.releaseFrame(&foreign) == -1 && c.frameLease(&foreign) == 0;
                }}),
    [](const ::testing::TestParamInfo<Refusal>& i) { return std::string(i.param.name); });

TEST(Open, UnknownConnectionStoresIndexAndConnectionFirst)
{
    TelmoraTOFCamera cam;
    EXPECT_EQ(cam.open(static_cast<Connection>(2), 9), -1);
    EXPECT_EQ(cam.getCameraInfo().connect, 2);
    EXPECT_EQ(cam.getCameraInfo().index, 9u);
}

TEST(Open, NullConfigurationPathChangesNothing)
{
    TelmoraTOFCamera cam;
    const CameraInfo before = cam.getCameraInfo();
    EXPECT_EQ(cam.openWithFile(nullptr, 3), -1);
    const CameraInfo after = cam.getCameraInfo();
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(cam.attach(), 0);
        cam.sens->period_us = 1000;
    }
    CameraProbe cam;
};

TEST_F(Lifecycle, OpeningAStreamingCameraIsRefused)
{
    ASSERT_EQ(cam.start(DEPTH), 0);
    const CameraInfo before = cam.getCameraInfo();
    EXPECT_EQ(cam.open(USB, 5), -1);
    EXPECT_EQ(cam.openWithFile("cfg.txt", 5), -1);
    EXPECT_EQ(cam.getCameraInfo().index, before.index);
    EXPECT_TRUE(cam.streaming());
    EXPECT_EQ(cam.stop(), 0);
}

TEST_F(Lifecycle, CloseOnAStreamingCameraJoinsBeforeClosing)
{
    ASSERT_EQ(cam.start(DEPTH), 0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(cam.close(), 0);
    EXPECT_FALSE(cam.streaming());
    const auto log = cam.log->take();
    EXPECT_EQ(at(log, "sensor.close while capturing"), -1);
    ASSERT_NE(at(log, "sensor.close"), -1);
    EXPECT_LT(at(log, "device.stop"), at(log, "sensor.stop"));
    EXPECT_LT(at(log, "sensor.stop"), at(log, "device.close"));
    EXPECT_LT(at(log, "device.close"), at(log, "sensor.close"));
}

TEST_F(Lifecycle, StopWhenNotStreamingIsRefused)
{
    EXPECT_EQ(cam.stop(), -1);
    ASSERT_EQ(cam.start(RAW), 0);
    EXPECT_EQ(cam.stop(), 0);
    EXPECT_EQ(cam.stop(), -1);
    EXPECT_EQ(at(cam.log->take(), "device.stop"), at(cam.log->take(), "device.stop"));
}

TEST(Destruction, AStreamingCameraIsStoppedFirst)
{
    auto log = std::make_shared<CallLog>();
    {
        CameraProbe cam(log);
        ASSERT_EQ(cam.attach(), 0);
        cam.sens->period_us = 1000;
        ASSERT_EQ(cam.start(DEPTH), 0);
        std::this_thread::sleep_for(10ms);
    }
    const auto calls = log->take();
    ASSERT_NE(at(calls, "sensor.stop"), -1);
    EXPECT_LT(at(calls, "device.stop"), at(calls, "sensor.stop"));
    EXPECT_LT(at(calls, "sensor.stop"), at(calls, "device.destroy"));
    EXPECT_LT(at(calls, "device.destroy"), at(calls, "sensor.destroy"));
    EXPECT_EQ(at(calls, "sensor.close"), -1);  // destruction does not close
}

TEST_F(Lifecycle, AFailedSensorOpenDropsTheDeviceBoundToTheOldSensor)
{
    auto failing = std::make_unique<ScriptedSensor>(cam.log, 240, 180);
    failing->open_result = -2;
    EXPECT_EQ(cam.reattach(std::move(failing)), -2);
    EXPECT_EQ(cam.currentDevice(), nullptr);
    EXPECT_EQ(cam.start(DEPTH), -1);
    EXPECT_EQ(cam.setControl(RANGE, 2000), -1);
    const auto log = cam.log->take();
    EXPECT_LT(at(log, "sensor.destroy"), at(log, "device.destroy"));
}

using StartStep = std::tuple<const char*, int>;  // failing step, its result

class StartFailure : public Lifecycle, public ::testing::WithParamInterface<StartStep> {};

TEST_P(StartFailure, IsPassedUpWithoutAThread)
{
    const auto& [step, code] = GetParam();
    if (std::string(step) == "prepare") cam.dev->prepare_result = code;
    if (std::string(step) == "sensor.start") cam.sens->start_result = code;
    if (std::string(step) == "initProcess") cam.dev->init_result = code;
    EXPECT_EQ(cam.start(DEPTH), code);
    EXPECT_FALSE(cam.streaming());
    EXPECT_EQ(cam.frameQueue(), nullptr);
    EXPECT_EQ(cam.stop(), -1);
}

INSTANTIATE_TEST_SUITE_P(Steps, StartFailure,
                         ::testing::Values(StartStep{"prepare", 7}, StartStep{"sensor.start", -1},
                                           StartStep{"initProcess", -1}));

TEST_F(Lifecycle, StartRunsItsStepsInOrder)
{
    ASSERT_EQ(cam.setControl(RANGE, 2000), 0);
    ASSERT_EQ(cam.start(RAW), 0);
    EXPECT_EQ(cam.dev->range.load(), 2000);
    const auto log = cam.log->take();
    EXPECT_LT(at(log, "device.prepare"), at(log, "sensor.start"));
    EXPECT_LT(at(log, "sensor.start"), at(log, "device.initProcess"));
    EXPECT_EQ(cam.getCameraInfo().type, RAW);
    EXPECT_EQ(cam.getCameraInfo().width, 240u);
    // Starting again while streaming is refused and keeps the running queue.
    FrameQueue* running = cam.frameQueue();
    EXPECT_EQ(cam.start(DEPTH), -1);
    EXPECT_EQ(cam.frameQueue(), running);
    EXPECT_EQ(cam.getCameraInfo().type, RAW);
    EXPECT_EQ(cam.stop(), 0);
}

}  // namespace
}  // namespace camtest

namespace camtest {
namespace {

struct SizeCase {
    uint32_t width;
    uint32_t height;
    DeviceType device;
    int frame_count;
};

class DeviceChoice : public ::testing::TestWithParam<SizeCase> {};

// A second open replaces sensor and device; the first pair goes without being closed.
TEST_P(DeviceChoice, FollowsTheSensorSizeAndReplacesThePreviousPair)
{
    CameraProbe cam;
    ASSERT_EQ(cam.attach(), 0);
    TelmoraDevice* scripted = cam.currentDevice();
    const auto& c = GetParam();
    auto next = std::make_unique<ScriptedSensor>(cam.log, c.width, c.height);
    ScriptedSensor* raw = next.get();
    cam.reattach(std::move(next));  // the device's own open result does not matter here
    EXPECT_EQ(cam.getCameraInfo().device_type, c.device);
    EXPECT_EQ(raw->frame_count, c.frame_count);
    ASSERT_NE(cam.currentDevice(), nullptr);
    EXPECT_NE(cam.currentDevice(), scripted);
    EXPECT_EQ(cam.currentDevice()->getDeviceType(), c.device);
    EXPECT_EQ(cam.currentDevice()->sensor, raw);
    const auto log = cam.log->take();
    EXPECT_NE(at(log, "sensor.destroy"), -1);
    EXPECT_NE(at(log, "device.destroy"), -1);
    EXPECT_EQ(at(log, "sensor.close"), -1);
    EXPECT_EQ(at(log, "device.close"), -1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, DeviceChoice,
                         ::testing::Values(SizeCase{240, 180, HQVGA, 4}, SizeCase{180, 240, VGA, 1},
                                           SizeCase{640, 480, VGA, 1}, SizeCase{240, 181, VGA, 1}));

}  // namespace
}  // namespace camtest
