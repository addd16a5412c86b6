// Finding sysfs through "/proc/mounts" when there is no "/proc/bus/i2c", then listing the
// adapters under the mount point found. Two sysfs trees exist, at /sys and at /s, so that
// mount points the fuzzer invents can lead somewhere.
#include <cstring>

#include "fake_kernel.hpp"
#include "fuzz_support.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"

using namespace Telmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::FakeKernel& k = sim::FakeKernel::instance();
    k.reset();
    k.file("/sys/class/i2c-dev/i2c-3/name", "adapter three\n");
    k.file("/s/class/i2c-dev/i2c-4/device/name", "ISA adapter four\n");
    k.file("/s/class/i2c-dev/i2c-5/device/i2c-5/name", "five");
    k.file("/proc/mounts", fuzz::text(data, size));
    I2cAdapterList list;
    FUZZ_CHECK(listI2cAdapters(list));
    FUZZ_CHECK(list.size() <= 2);
    for (size_t i = 0; i < list.size(); ++i) {
        FUZZ_CHECK(list[i].name != nullptr && list[i].kind != nullptr);
        FUZZ_CHECK(std::strchr(list[i].name, '\n') == nullptr);
    }
    FUZZ_CHECK(list.entries()[list.size()].name == nullptr);
    FUZZ_CHECK(k.openDescriptors() == 0);
    return 0;
}
