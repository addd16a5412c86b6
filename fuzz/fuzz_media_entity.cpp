// Media set-up with any sensor entity name: the I2C bus name cut from it, and the bus
// lookup that reads it. Runs on a Radxa ROCK board, where the receiver is recorded first
// and the sensor pattern is the shortest.
#include <fcntl.h>

#include <cstring>

#include "board.hpp"
#include "fake_kernel.hpp"
#include "fuzz_support.hpp"
#include "sensor/csi/csi_sensor.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"
#include "sys/sys.hpp"

using namespace Telmora;

namespace {

constexpr uint32_t kSensorEntityId = 5;
constexpr unsigned kSensorMinor = sim::FakeBoard::kSubdevMinorBase + 1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static sim::BoardNodes board = sim::FakeBoard::make(PLATFORM_RADXA_ROCK).build();
    sim::FakeKernel& k = sim::FakeKernel::instance();
    board.media->addEntity(kSensorEntityId, fuzz::cString(data, size), sim::FakeBoard::kVideoMajor, kSensorMinor, 1);

    const int before = k.openDescriptors();
    TelmoraTOFCSISensor sensor(PLATFORM_RADXA_ROCK, board.video_path.c_str());
    const int video = sys::open(board.video_path.c_str(), O_RDWR);
    FUZZ_CHECK(video >= 0);
    sensor.findMediaDevices(video);
    FUZZ_CHECK(std::memchr(sensor.i2c_bus_name, '\0', sizeof sensor.i2c_bus_name) != nullptr);
    FUZZ_CHECK(std::strchr(sensor.i2c_bus_name, '-') == nullptr);
    FUZZ_CHECK(sensor.subdev_count <= TelmoraTOFCSISensor::kMaxSubdevs);
    const int bus = lookupI2cBus(sensor.i2c_bus_name);
    FUZZ_CHECK(bus == -2 || (bus >= 0 && bus <= 0xFFFFF));
    sensor.close();
    sys::close(video);
    FUZZ_CHECK(k.openDescriptors() == before);  // the media node and every sub-device closed
    return 0;
}
