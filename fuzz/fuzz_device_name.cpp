// On Jetson boards the sensor's I2C bus comes from the capture node's sysfs device name:
// a whole CSI sensor open with any name text there.
#include <cstring>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "fuzz_support.hpp"
#include "sensor/csi/csi_sensor.hpp"

using namespace Telmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static sim::BoardNodes board = sim::FakeBoard::make(PLATFORM_JETSON_NANO).build();
    // Where "/sys/dev/char/<video node>" leads on the ready-made boards.
    static const std::string name_path = "/sys/devices/platform/camera-csi/video4linux/video0/name";
    sim::FakeKernel& k = sim::FakeKernel::instance();
    k.file(name_path, fuzz::text(data, size));
    const int before = k.openDescriptors();
    TelmoraTOFCSISensor sensor(PLATFORM_JETSON_NANO, board.video_path.c_str());
    CameraInfo info{};
    const int result = sensor.open(info);
    FUZZ_CHECK(result == 0 || result == -2);
    FUZZ_CHECK(std::memchr(sensor.i2c_bus_name, '\0', sizeof sensor.i2c_bus_name) != nullptr);
    for (const char* c = sensor.i2c_bus_name; *c != '\0'; ++c) FUZZ_CHECK(*c >= '0' && *c <= '9');
    sensor.close();
    FUZZ_CHECK(k.openDescriptors() == before);
    return 0;
}
