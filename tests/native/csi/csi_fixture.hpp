// Sets a CSI sensor up on a ready-made board the way open leaves it, so streaming and
// controls can be tested on their own.
#pragma once

#include <memory>

#include "board.hpp"
#include "sensor/csi/csi_sensor.hpp"

namespace csitest {

// Opens the capture node, the sub-devices (receiver first, then the sensor) and the I2C
// adapter through the OS seam, and fills buffer type, info and frame_count.
std::unique_ptr<Telmora::TelmoraTOFCSISensor> sensorAsOpened(const Telmora::sim::BoardNodes& board);

}  // namespace csitest
