#include "sensor/i2c/i2c_bus_lookup.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Telmora {

namespace {

constexpr unsigned long kMaxBusNumber = 0xFFFFF;

// The number of the one adapter named `name`, or -2 after printing why there is none.
int matchAdapterName(const char* name)
{
    I2cAdapterList adapters;
    if (!listI2cAdapters(adapters)) return -2;
    int found = -1;
    for (const I2cAdapterEntry* entry = adapters.entries(); entry->name != nullptr; ++entry) {
        if (std::strcmp(entry->name, name) != 0) continue;
        if (found >= 0) {
            std::fprintf(stderr, "Error: I2C bus name is not unique!\n");
            return -2;
        }
        found = entry->number;
    }
    if (found < 0) {
        std::fprintf(stderr, "Error: I2C bus name doesn't match any bus present!\n");
        return -2;
    }
    return found;
}

}  // namespace

int lookupI2cBus(const char* bus_name)
{
    const char* text = bus_name != nullptr ? bus_name : "";
    char* end = nullptr;
    const unsigned long number = std::strtoul(text, &end, 0);
    if (*text == '\0' || *end != '\0') return matchAdapterName(text);
    if (number > kMaxBusNumber) {
        std::fprintf(stderr, "Error: I2C bus out of range!\n");
        return -2;
    }
    return static_cast<int>(number);
}

}  // namespace Telmora
