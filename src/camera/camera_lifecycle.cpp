#include <cstdio>
#include <memory>

#include "camera/board_detection.hpp"
#include "camera/frame_queue.hpp"
#include "device/device.hpp"
#include "device/device_hqvga.hpp"
#include "device/device_vga.hpp"
#include "sensor/csi/csi_sensor.hpp"
#include "sensor/usb_sensor.hpp"
#include "sensor/tof_sensor.hpp"
#include "telmora/camera.hpp"

namespace Telmora {

namespace {

std::unique_ptr<TelmoraTOFSensor> makeCsiSensor(const char* node_path, Platform platform)
{
    return std::make_unique<TelmoraTOFCSISensor>(platform, node_path);
}

std::unique_ptr<TelmoraTOFSensor> makeUsbSensor(const char* config_path)
{
    return std::make_unique<TelmoraTOFUSBSensor>(config_path);
}

std::unique_ptr<TelmoraDevice> makeDevice(DeviceType type, Platform platform)
{
    if (type == HQVGA) return std::make_unique<TelmoraDeviceHQVGA>(platform);
    return std::make_unique<TelmoraDeviceVGA>(platform);
}

}  // namespace

TelmoraTOFCamera::TelmoraTOFCamera() : info{}, raw_size{}, output_size{}, platform(detectPlatform()) {}

TelmoraTOFCamera::~TelmoraTOFCamera()
{
    if (capture_thread.joinable()) stop();
    queue.reset();
    device.reset();
    sensor.reset();
}

int TelmoraTOFCamera::open(Connection mode, int index)
{
    if (!stopped.load()) return TelmoraUnkownError;
    info.index = static_cast<uint32_t>(index);
    info.connect = mode;
    std::unique_ptr<TelmoraTOFSensor> next;
    if (mode == CSI) {
        char path[80];
        std::snprintf(path, sizeof path, "/dev/video%d", index);
        next = makeCsiSensor(path, platform);
    } else if (mode == USB) {
        next = makeUsbSensor("");
    } else {
        return TelmoraUnkownError;
    }
    return attachSensor(std::move(next));
}

int TelmoraTOFCamera::openWithFile(const char* path, int index)
{
    if (!path || !stopped.load()) return TelmoraUnkownError;
    info.index = static_cast<uint32_t>(index);
    info.connect = USB;
    return attachSensor(makeUsbSensor(path));
}

int TelmoraTOFCamera::attachSensor(std::unique_ptr<TelmoraTOFSensor> next)
{
    sensor.swap(next);
    next.reset();  // the previous sensor goes without being closed
    const int result = sensor->open(info);
    if (result != TelmoraSuccess) {
        // The device (if any) still points at the sensor just destroyed.
        device.reset();
        return result;
    }
    return openPostHandle();
}

int TelmoraTOFCamera::openPostHandle()
{
    if (!sensor) return TelmoraUnkownError;
    DeviceType type = VGA;
    if (info.height == 180 && info.width == 240) {
        sensor->frame_count = 4;
        type = HQVGA;
    }
    std::unique_ptr<TelmoraDevice> next = makeDevice(type, platform);
    info.device_type = type;
    device.swap(next);
    next.reset();  // the previous device goes without being closed
    return device->open(sensor.get());
}

int TelmoraTOFCamera::close()
{
    if (!sensor) return TelmoraUnkownError;
    if (!stopped.load()) stop();
    if (device) device->close();
    return sensor->close();
}

CameraInfo TelmoraTOFCamera::getCameraInfo() const { return info; }

}  // namespace Telmora
