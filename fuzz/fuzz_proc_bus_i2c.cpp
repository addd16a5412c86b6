// The adapter list read from "/proc/bus/i2c", and the name lookup over it.
#include <cstdlib>
#include <cstring>

#include "fake_kernel.hpp"
#include "fuzz_support.hpp"
#include "sensor/i2c/i2c_bus_lookup.hpp"

using namespace Telmora;

namespace {

bool isNumber(const char* s)
{
    char* end = nullptr;
    std::strtoul(s, &end, 0);
    return *s != '\0' && *end == '\0';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::FakeKernel& k = sim::FakeKernel::instance();
    k.reset();
    k.file("/proc/bus/i2c", fuzz::text(data, size));
    I2cAdapterList list;
    FUZZ_CHECK(listI2cAdapters(list));
    for (size_t i = 0; i < list.size(); ++i) {
        FUZZ_CHECK(list[i].name != nullptr && list[i].kind != nullptr && list[i].description != nullptr);
        FUZZ_CHECK(list[i].number >= 0);
        FUZZ_CHECK(std::strlen(list[i].name) < 120);
    }
    FUZZ_CHECK(list.entries()[list.size()].name == nullptr);
    if (list.size() > 0 && !isNumber(list[0].name)) {
        size_t same = 0;
        for (size_t i = 0; i < list.size(); ++i) same += std::strcmp(list[i].name, list[0].name) == 0;
        const int bus = lookupI2cBus(list[0].name);
        FUZZ_CHECK(bus == (same == 1 ? list[0].number : -2));
    }
    FUZZ_CHECK(k.openDescriptors() == 0);
    return 0;
}
