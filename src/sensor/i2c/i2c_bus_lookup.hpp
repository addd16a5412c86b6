// Which I2C bus a sensor's controller sits on, from a bus number or an adapter name.
#pragma once

#include "sensor/i2c/i2c_adapter_list.hpp"

namespace Telmora {

// The bus number `bus_name` stands for: the text read as a number with automatic base
// (0x.. hexadecimal, 0.. octal), at most 0xFFFFF; otherwise the number of the one adapter
// whose name equals it exactly. On failure prints why and returns -2.
int lookupI2cBus(const char* bus_name);

// Fills `adapters` from "/proc/bus/i2c" or, without it, from sysfs (found through
// "/proc/mounts"). When memory runs out prints "Error: Out of memory!", leaves the list
// empty and returns false.
bool listI2cAdapters(I2cAdapterList& adapters);

}  // namespace Telmora
