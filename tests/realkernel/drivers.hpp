// What the test boot provides, found the way a program on a real board would find it: the
// vivid capture node and i2c-stub's adapter. Plus a record of the ioctls the library sends
// through the OS seam, so tests can count attempts against the real driver's answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace realkernel {

// The first vivid node whose device capabilities include `capability`; "" when none.
std::string vividNode(uint32_t capability);

// Bus number of i2c-stub's adapter; -1 when the driver is not loaded.
int stubBus();
constexpr const char* kStubAdapterName = "SMBus stub driver";

// Mappings of `path` in this process, from /proc/self/maps.
int mappingsOf(const std::string& path);

// Milliseconds of CLOCK_MONOTONIC, the clock V4L2 buffer timestamps follow.
int64_t monotonicMs();

// Every ioctl the library issues through the seam while a recorder exists. Tests in this
// program run one at a time, so one recorder at a time.
struct IoctlCall {
    unsigned long request;
    int result;
    int error;  // errno after a failed call, else 0
};
class IoctlRecorder {
public:
    IoctlRecorder();
    ~IoctlRecorder();
    const std::vector<IoctlCall>& calls() const;
    int count(unsigned long request) const;
};

}  // namespace realkernel
