// What a capture node and an I2C adapter must answer, written once and run twice: against
// the in-memory kernel (the native kernel suite) and against the Linux kernel's own virtual
// drivers (the real-kernel test program). Each side supplies the nodes below; the checks
// reach them only through the OS seam, so a difference between the two shows up as a test
// that passes on one side and fails on the other.
#pragma once

#include <cstdint>
#include <string>

namespace contract {

// A capture node of the given buffer type, ready for a test to open; "" when the side has
// none. Called at the start of every test, so a side may set up afresh each time.
std::string captureNode(uint32_t buffer_type);

// An I2C adapter's character device with a plain chip at `kChipAddress`, or "".
std::string i2cAdapter();
constexpr long kChipAddress = 0x0C;

}  // namespace contract
