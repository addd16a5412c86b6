#include "board.hpp"

#include <cstdio>
#include <vector>

#include "fake_kernel.hpp"
#include "si4c/si4c_raw_encoder.hpp"

namespace Telmora {
namespace sim {

namespace {

const char* const kDeviceDir = "/sys/devices/platform/camera-csi";

struct Layout {
    const char* sensor_entity;  // media entity name, or device name on Jetson boards
    int i2c_bus;
    const char* adapter_name;
};

Layout layoutOf(Platform p)
{
    switch (p) {
    case PLATFORM_RASPBERRY_PI: return {"telmora-quelvanta 10-000c", 10, "i2c-11-mux (chan_id 0)"};
    case PLATFORM_RASPBERRY_PI_5: return {"telmora-quelvanta 10-000c", 10, "i2c-11-mux (chan_id 0)"};
    case PLATFORM_RADXA_ROCK: return {"m00_b_quelvanta 4-000c", 4, "rk3x-i2c"};
    case PLATFORM_JETSON_NANO: return {"vi-output, telmora-quelvanta 6-000c", 6, "i2c-6-mux"};
    case PLATFORM_JETSON: return {"vi-output, telmora-quelvanta 30-000c", 30, "i2c-2-mux (chan_id 0)"};
    default: break;
    }
    // Nothing names the bus on an unknown board: only an adapter without a name matches.
    return {"", 2, ""};
}

std::string charLink(unsigned major, unsigned minor)
{
    return "/sys/dev/char/" + std::to_string(major) + ":" + std::to_string(minor);
}

// A node of the camera's platform device: "/dev/<name>" plus its sysfs class directory
// and the "/sys/dev/char/M:m" link to it.
void addClassNode(FakeKernel& k, const std::string& name, unsigned major, unsigned minor,
                  std::shared_ptr<DeviceModel> model, const std::string& device_name)
{
    const std::string dir = std::string(kDeviceDir) + "/video4linux/" + name;
    k.file(dir + "/name", device_name + "\n");
    k.symlink(dir + "/device", "../..");
    k.symlink(charLink(major, minor), "../../devices/platform/camera-csi/video4linux/" + name);
    k.charDevice("/dev/" + name, major, minor, std::move(model));
}

void addAdapter(FakeKernel& k, int bus, const std::string& name, std::shared_ptr<I2cAdapter> adapter)
{
    k.charDevice("/dev/i2c-" + std::to_string(bus), FakeBoard::kI2cMajor, static_cast<unsigned>(bus),
                 std::move(adapter));
    k.file("/sys/class/i2c-dev/i2c-" + std::to_string(bus) + "/name", name + "\n");
}

std::string procLine(int bus, const std::string& name)
{
    return "i2c-" + std::to_string(bus) + "\ti2c       \t" + name + "\tI2C adapter\n";
}

}  // namespace

FakeBoard::FakeBoard(Platform platform)
    : platform_(platform), encoding_(boardEncoding(platform)),
      multi_planar_(platform == PLATFORM_RADXA_ROCK)
{
}

FakeBoard FakeBoard::make(Platform platform) { return FakeBoard(platform); }

FakeBoard& FakeBoard::sensor(uint32_t width, uint32_t height)
{
    width_ = width;
    height_ = height;
    return *this;
}

FakeBoard& FakeBoard::videoIndex(int index)
{
    video_index_ = index;
    return *this;
}

FakeBoard& FakeBoard::scene(const SceneParams& params)
{
    scene_params_ = params;
    return *this;
}

FakeBoard& FakeBoard::source(V4l2CaptureNode::ImageSource src)
{
    source_ = std::move(src);
    return *this;
}

FakeBoard& FakeBoard::encoding(FrameEncoding enc)
{
    encoding_ = enc;
    return *this;
}

FakeBoard& FakeBoard::firstTimestamp(int64_t us)
{
    first_timestamp_us_ = us;
    return *this;
}

FakeBoard& FakeBoard::multiPlanar(bool on)
{
    multi_planar_ = on;
    return *this;
}

FakeBoard& FakeBoard::procBusI2c(bool on)
{
    proc_bus_i2c_ = on;
    return *this;
}

FrameEncoding FakeBoard::boardEncoding(Platform platform)
{
    switch (platform) {
    case PLATFORM_JETSON: return FrameEncoding::High12LinePairs;
    case PLATFORM_JETSON_NANO: return FrameEncoding::Low12Aligned64;
    case PLATFORM_RASPBERRY_PI_5: return FrameEncoding::PackedY12P;
    default: return FrameEncoding::Low12;
    }
}

std::string FakeBoard::modelText(Platform platform)
{
    switch (platform) {
    case PLATFORM_RASPBERRY_PI: return "Raspberry Pi 4 Model B Rev 1.4";
    case PLATFORM_RASPBERRY_PI_5: return "Raspberry Pi 5 Model B Rev 1.0";
    case PLATFORM_JETSON_NANO: return "NVIDIA Jetson Nano Developer Kit";
    case PLATFORM_JETSON: return "NVIDIA Jetson Xavier NX Developer Kit";
    case PLATFORM_RADXA_ROCK: return "Radxa ROCK 5B";
    default: return "Generic virtual board";
    }
}

V4l2CaptureNode::ImageSource FakeBoard::phaseSource(std::shared_ptr<Scene> scene, RangeMode mode)
{
    auto phases = std::make_shared<std::vector<uint16_t>>();
    auto rendered = std::make_shared<uint64_t>(UINT64_MAX);
    return [scene, mode, phases, rendered](uint64_t seq, uint32_t w, uint32_t h, uint16_t* image) {
        const size_t n = size_t{w} * h;
        if (static_cast<int>(w) != scene->width() || static_cast<int>(h) != scene->height()) {
            for (size_t i = 0; i < n; ++i) image[i] = static_cast<uint16_t>(i & 0x0FFF);
            return;
        }
        const uint64_t capture = seq / 4;
        if (*rendered != capture) {
            phases->resize(4 * n);
            scene->renderPhases(capture, mode, phases->data());
            *rendered = capture;
        }
        const uint16_t* phase = phases->data() + (seq % 4) * n;
        std::copy(phase, phase + n, image);
    };
}

V4l2CaptureNode::ImageSource FakeBoard::wallCaptureSource(uint32_t height, float wall_mm)
{
    auto distance = std::make_shared<std::vector<float>>();
    return [height, wall_mm, distance](uint64_t seq, uint32_t w, uint32_t h, uint16_t* image) {
        const uint32_t lines = height + 1;
        const bool two = h == lines * 10;
        if (h != lines * 5 && !two) {
            for (size_t i = 0; i < size_t{w} * h; ++i) image[i] = static_cast<uint16_t>(i & 0x0FFF);
            return;
        }
        distance->assign(size_t{w} * height, wall_mm);
        si4c::RawEncoderFrame f;
        f.width = static_cast<int>(w);
        f.height = static_cast<int>(height);
        f.two_frequencies = two;
        f.distance_mm = distance->data();
        f.frame_counter = static_cast<uint32_t>(seq);
        si4c::encodeCapture(f, image);
    };
}

BoardNodes FakeBoard::build() const
{
    FakeKernel& k = FakeKernel::instance();
    k.reset();
    const Layout layout = layoutOf(platform_);
    const bool media = platform_ == PLATFORM_RASPBERRY_PI || platform_ == PLATFORM_RASPBERRY_PI_5 ||
                       platform_ == PLATFORM_RADXA_ROCK;

    BoardNodes b{};
    b.platform = platform_;
    b.width = width_;
    b.height = height_;
    b.i2c_bus = layout.i2c_bus;
    b.video_path = "/dev/video" + std::to_string(video_index_);

    std::string model = modelText(platform_);
    k.file("/sys/firmware/devicetree/base/model", model + std::string(1, '\0'));

    V4l2CaptureNode::Config config;
    config.multi_planar = multi_planar_;
    config.width = width_;
    config.height = height_;
    config.encoding = encoding_;
    config.first_timestamp_us = first_timestamp_us_;
    b.video = std::make_shared<V4l2CaptureNode>(config);
    if (source_) {
        b.video->setSource(source_);
    } else if (width_ == 240 && height_ == 180) {
        b.scene = std::make_shared<Scene>(static_cast<int>(width_), static_cast<int>(height_), scene_params_);
        b.video->setSource(phaseSource(b.scene, RangeMode::Range4m));
    } else {
        b.video->setSource(wallCaptureSource(height_, scene_params_.wall_mm));
    }

    // The platform device's directory lists its media entry among other attributes.
    const std::string dev = kDeviceDir;
    k.file(dev + "/modalias", "of:Ncsi\n");
    if (media) k.dir(dev + "/media0");
    k.file(dev + "/uevent", "DRIVER=camera-csi\n");
    const std::string video_name = "video" + std::to_string(video_index_);
    const bool jetson = platform_ == PLATFORM_JETSON_NANO || platform_ == PLATFORM_JETSON;
    addClassNode(k, video_name, kVideoMajor, static_cast<unsigned>(video_index_), b.video,
                 jetson ? layout.sensor_entity : "camera-csi-image");

    if (media) {
        b.media = std::make_shared<MediaNode>();
        k.charDevice("/dev/media0", kMediaMajor, 0, b.media);
        b.sensor_subdev = std::make_shared<SubdevNode>(width_, height_, true);
        const unsigned sensor_minor = kSubdevMinorBase + 1;
        addClassNode(k, "v4l-subdev1", kVideoMajor, sensor_minor, b.sensor_subdev, layout.sensor_entity);
        const auto video_minor = static_cast<unsigned>(video_index_);
        if (platform_ == PLATFORM_RASPBERRY_PI_5) {
            b.bridge = std::make_shared<SubdevNode>(width_, height_, false);
            addClassNode(k, "v4l-subdev0", kVideoMajor, kSubdevMinorBase, b.bridge, "csi2");
            b.media->addEntity(1, "csi2", kVideoMajor, kSubdevMinorBase, 6);
            b.media->addEntity(2, "rp1-cfe-csi2_ch0", kVideoMajor, video_minor, 1);
            b.media->addEntity(3, "rp1-cfe-csi2_ch1", kVideoMajor, video_minor + 1, 1);
            b.media->addEntity(8, layout.sensor_entity, kVideoMajor, sensor_minor, 1);
        } else if (platform_ == PLATFORM_RADXA_ROCK) {
            b.bridge = std::make_shared<SubdevNode>(width_, height_, false);
            addClassNode(k, "v4l-subdev0", kVideoMajor, kSubdevMinorBase, b.bridge, "rockchip-csi2-dphy1");
            b.media->addEntity(1, "rkcif-mipi-lvds", kVideoMajor, video_minor, 1);
            b.media->addEntity(2, "rockchip-csi2-dphy1", kVideoMajor, kSubdevMinorBase, 2);
            b.media->addEntity(5, layout.sensor_entity, kVideoMajor, sensor_minor, 1);
        } else {
            b.media->addEntity(1, layout.sensor_entity, kVideoMajor, sensor_minor, 1);
            b.media->addEntity(2, "unicam-image", kVideoMajor, video_minor, 1);
        }
    }

    b.i2c = std::make_shared<I2cAdapter>();
    addAdapter(k, 1, "bcm2835 (i2c@7e804000)", std::make_shared<I2cAdapter>());
    addAdapter(k, layout.i2c_bus, layout.adapter_name, b.i2c);
    if (proc_bus_i2c_) {
        k.file("/proc/bus/i2c", procLine(1, "bcm2835 (i2c@7e804000)") + procLine(layout.i2c_bus, layout.adapter_name));
    }
    k.file("/proc/mounts", "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
                           "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
                           "tmpfs /run tmpfs rw,nosuid,nodev,mode=755 0 0\n");
    return b;
}

}  // namespace sim
}  // namespace Telmora
