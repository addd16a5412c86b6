// The three configuration files the depth-processing library reads at start-up.
#pragma once

namespace Telmora {

// Writes ConfigAlgorithm.json, ConfigCamera.json and register.json into the current
// working directory, creating or truncating each. Stops at the first file that cannot be
// opened (the files after it are left alone) and returns false; true when all three
// were written.
bool writeDepthConfigFiles();

}  // namespace Telmora
