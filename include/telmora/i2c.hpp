// Plain I2C adapter helpers, exported under unadorned C symbol names so that any
// program can use them. Messages go to standard error; results follow the C
// convention of returning the negated error number.
#pragma once

#include <cstddef>

#include "telmora/types.hpp"

extern "C" {

// Writes "/dev/i2c-<i2cbus>" into `filename` (at most `size` bytes, NUL included) and
// opens it read-write. Returns the descriptor, or a negative value with errno set.
// With `quiet` non-zero nothing is printed.
TELMORA_API int i2c_open_i2c_dev(int i2cbus, char* filename, size_t size, int quiet);

// Selects the chip address for later transfers; I2C_SLAVE_FORCE when `force` is non-zero.
TELMORA_API int i2c_set_slave_addr(int file, int address, int force);

// Adapter timeout in units of 10 ms; 0 asks for 3.
TELMORA_API int i2c_set_adapter_timeout(int file, int timeout);

// Adapter retry count; 0 asks for 2.
TELMORA_API int i2c_set_adapter_retries(int file, int retries);

// Reads the adapter's functionality word (I2C_FUNC_* bits) into *funcs.
TELMORA_API int i2c_get_functionality(int file, unsigned long* funcs);

}  // extern "C"
