// The exported I2C adapter helpers. Every device access goes through the OS seam.
#include <fcntl.h>
#include <linux/i2c-dev.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "sys/sys.hpp"
#include "telmora/i2c.hpp"

namespace {

// Integer arguments of the i2c-dev ioctls travel in the pointer-sized argument.
void* asArgument(int value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }

// Prints an open failure without disturbing errno, which the caller may still inspect.
void reportOpenFailure(int i2cbus, const char* shown, int err)
{
    if (err == ENOENT) {
        std::fprintf(stderr, "Error: Could not open file `/dev/i2c-%d': %s\n", i2cbus, std::strerror(err));
    } else {
        std::fprintf(stderr, "Error: Could not open file `%s': %s\n", shown, std::strerror(err));
        if (err == EACCES) std::fprintf(stderr, "Run as root?\n");
    }
    errno = err;
}

// Runs an integer-valued ioctl; on failure prints `format` with `shown` and the error text.
int setInteger(int file, unsigned long request, int value, const char* format, int shown)
{
    if (Telmora::sys::ioctl(file, request, asArgument(value)) < 0) {
        const int err = errno;
        std::fprintf(stderr, format, shown, std::strerror(err));
        errno = err;
        return -err;
    }
    return 0;
}

}  // namespace

extern "C" {

int i2c_open_i2c_dev(int i2cbus, char* filename, size_t size, int quiet)
{
    char path[32];
    const int length = std::snprintf(path, sizeof path, "/dev/i2c-%d", i2cbus);
    if (filename == nullptr || size <= static_cast<size_t>(length)) {
        // A cut name would name another adapter ("/dev/i2c-1" for bus 12): open nothing.
        if (filename != nullptr && size > 0) {
            std::memcpy(filename, path, size - 1);
            filename[size - 1] = '\0';
        }
        if (quiet == 0) reportOpenFailure(i2cbus, path, ENAMETOOLONG);
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(filename, path, static_cast<size_t>(length) + 1);
    const int fd = Telmora::sys::open(filename, O_RDWR);
    if (fd < 0 && quiet == 0) reportOpenFailure(i2cbus, filename, errno);
    return fd;
}

int i2c_set_slave_addr(int file, int address, int force)
{
    const unsigned long request = force != 0 ? I2C_SLAVE_FORCE : I2C_SLAVE;
    if (Telmora::sys::ioctl(file, request, asArgument(address)) < 0) {
        const int err = errno;
        std::fprintf(stderr, "Error: Could not set address to 0x%02x: %s\n", static_cast<unsigned>(address),
                     std::strerror(err));
        errno = err;
        return -err;
    }
    return 0;
}

int i2c_set_adapter_timeout(int file, int timeout)
{
    return setInteger(file, I2C_TIMEOUT, timeout == 0 ? 3 : timeout, "Error: Could not set timeout to %d: %s\n",
                      timeout);
}

int i2c_set_adapter_retries(int file, int retries)
{
    return setInteger(file, I2C_RETRIES, retries == 0 ? 2 : retries, "Error: Could not set retries to %d: %s\n",
                      retries);
}

int i2c_get_functionality(int file, unsigned long* funcs)
{
    // The kernel answers EFAULT for a bad pointer; answer the same for a null one.
    const int result = funcs != nullptr ? Telmora::sys::ioctl(file, I2C_FUNCS, funcs) : (errno = EFAULT, -1);
    if (result < 0) {
        const int err = errno;
        std::fprintf(stderr, "Error: Could not get adapter functionality: %s\n", std::strerror(err));
        errno = err;
        return -err;
    }
    return 0;
}

}  // extern "C"
