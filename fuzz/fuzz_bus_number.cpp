// The I2C bus name read as a bus number (automatic base, at most 0xFFFFF), falling back
// to the adapter names.
#include "fake_kernel.hpp"
#include "fuzz_support.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"

using namespace Telmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::FakeKernel& k = sim::FakeKernel::instance();
    static const bool ready = [&k] {
        k.reset();
        k.file("/proc/bus/i2c", "i2c-1\ti2c\tbcm2835 (i2c@7e804000)\tI2C adapter\n"
                                "i2c-10\ti2c\tcam\tI2C adapter\n"
                                "i2c-11\ti2c\tcam\tI2C adapter\n"
                                "i2c-7\tsmbus\t7\tSMBus adapter\n");
        return true;
    }();
    (void)ready;
    const std::string name = fuzz::cString(data, size);
    const int bus = lookupI2cBus(name.c_str());
    FUZZ_CHECK(bus == -2 || (bus >= 0 && bus <= 0xFFFFF));
    if (name == "bcm2835 (i2c@7e804000)") FUZZ_CHECK(bus == 1);
    if (name == "cam") FUZZ_CHECK(bus == -2);  // two adapters carry it
    FUZZ_CHECK(k.openDescriptors() == 0);
    return 0;
}
