// Ready-made boards for the in-memory kernel: one call builds everything a CSI camera
// meets on a board family (device-tree model, capture node, media graph, sub-devices,
// sysfs links and names, I2C adapters and their listing), e.g.
//
//   BoardNodes b = FakeBoard::make(PLATFORM_RASPBERRY_PI).sensor(240, 180).build();
//
// build() resets the kernel first. With a 240 x 180 sensor the capture node delivers the
// four phase images of a synthetic scene in turn (4 m range mode). A VGA-class sensor
// delivers depth-library raw captures of a flat wall at the scene's wall_mm, with one or
// two frequencies as the capture height asks ((height + 1) x 5 or x 10 lines); any other
// capture size gets a test pattern. source() replaces either.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "frame_encoding.hpp"
#include "i2c_adapter.hpp"
#include "media_node.hpp"
#include "scene/scene.hpp"
#include "subdev_node.hpp"
#include "telmora/types.hpp"
#include "v4l2_capture_node.hpp"

namespace Telmora {
namespace sim {

struct BoardNodes {
    Platform platform;
    std::string video_path;                       // "/dev/videoN"
    std::shared_ptr<V4l2CaptureNode> video;
    std::shared_ptr<MediaNode> media;             // null without a media graph
    std::shared_ptr<SubdevNode> sensor_subdev;    // null without a media graph
    std::shared_ptr<SubdevNode> bridge;           // CSI-2 receiver (Pi 5, Radxa) or null
    std::shared_ptr<I2cAdapter> i2c;              // the bus of the sensor's controller
    int i2c_bus;
    uint32_t width;
    uint32_t height;
    std::shared_ptr<Scene> scene;                 // what a 240 x 180 sensor looks at, or null
};

class FakeBoard {
public:
    static FakeBoard make(Platform platform);

    FakeBoard& sensor(uint32_t width, uint32_t height);
    FakeBoard& videoIndex(int index);
    FakeBoard& scene(const SceneParams& params);
    FakeBoard& source(V4l2CaptureNode::ImageSource source);  // replaces the scene
    FakeBoard& encoding(FrameEncoding encoding);             // replaces the board's own
    FakeBoard& multiPlanar(bool on);
    FakeBoard& procBusI2c(bool on);  // list adapters in /proc/bus/i2c rather than sysfs
    FakeBoard& firstTimestamp(int64_t us);  // fixed stamps 1 ms apart, not the monotonic clock

    BoardNodes build() const;

    // The board's own buffer layout and the device-tree model text it reports.
    static FrameEncoding boardEncoding(Platform platform);
    static std::string modelText(Platform platform);
    // Image source delivering the scene's phase images 0..3 of capture n for buffers 4n..4n+3.
    static V4l2CaptureNode::ImageSource phaseSource(std::shared_ptr<Scene> scene, RangeMode mode);
    // Image source delivering raw captures of a flat wall for a width x height sensor.
    static V4l2CaptureNode::ImageSource wallCaptureSource(uint32_t height, float wall_mm);

    static constexpr unsigned kVideoMajor = 81;
    static constexpr unsigned kSubdevMinorBase = 64;
    static constexpr unsigned kMediaMajor = 238;
    static constexpr unsigned kI2cMajor = 89;

private:
    explicit FakeBoard(Platform platform);

    Platform platform_;
    uint32_t width_ = 240;
    uint32_t height_ = 180;
    int video_index_ = 0;
    SceneParams scene_params_;
    V4l2CaptureNode::ImageSource source_;
    FrameEncoding encoding_;
    bool multi_planar_;
    bool proc_bus_i2c_ = false;
    int64_t first_timestamp_us_ = V4l2CaptureNode::kMonotonicClock;
};

}  // namespace sim
}  // namespace Telmora
