#pragma once

#include "telmora/types.hpp"

namespace Telmora {

// Board family from a device-tree model text (case-sensitive substring rules).
Platform platformFromModel(const char* model);
// Reads the device-tree model; PLATFORM_UNKNOWN when it cannot be read.
Platform detectPlatform();

}  // namespace Telmora
