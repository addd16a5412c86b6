#include "drivers.hpp"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>

namespace realkernel {

namespace {

std::vector<IoctlCall>* g_calls = nullptr;

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

std::string vividNode(uint32_t capability)
{
    for (int n = 0; n < 64; ++n) {
        const std::string path = "/dev/video" + std::to_string(n);
        const int fd = ::open(path.c_str(), O_RDWR);
        if (fd < 0) continue;
        v4l2_capability cap{};
        const bool match = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0 &&
                           std::strcmp(reinterpret_cast<const char*>(cap.driver), "vivid") == 0 &&
                           (cap.device_caps & capability) != 0;
        ::close(fd);
        if (match) return path;
    }
    return "";
}

int stubBus()
{
    for (int n = 0; n < 64; ++n) {
        if (firstLine("/sys/class/i2c-dev/i2c-" + std::to_string(n) + "/name") == kStubAdapterName) return n;
    }
    return -1;
}

int mappingsOf(const std::string& path)
{
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    for (std::string line; std::getline(maps, line);) {
        if (line.size() >= path.size() && line.compare(line.size() - path.size(), path.size(), path) == 0) ++count;
    }
    return count;
}

int64_t monotonicMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

IoctlRecorder::IoctlRecorder() { g_calls = new std::vector<IoctlCall>; }
IoctlRecorder::~IoctlRecorder()
{
    delete g_calls;
    g_calls = nullptr;
}
const std::vector<IoctlCall>& IoctlRecorder::calls() const { return *g_calls; }
int IoctlRecorder::count(unsigned long request) const
{
    int n = 0;
    for (const IoctlCall& c : *g_calls) n += c.request == request ? 1 : 0;
    return n;
}

}  // namespace realkernel

// The program is linked with --wrap for Telmora::sys::ioctl: the library's calls land
// here and go on to the Linux seam unchanged.
extern "C" int __real__ZN7Telmora3sys5ioctlEimPv(int fd, unsigned long request, void* arg);
extern "C" int __wrap__ZN7Telmora3sys5ioctlEimPv(int fd, unsigned long request, void* arg)
{
    const int result = __real__ZN7Telmora3sys5ioctlEimPv(fd, request, arg);
    const int err = errno;
    if (realkernel::g_calls != nullptr) realkernel::g_calls->push_back({request, result, result < 0 ? err : 0});
    errno = err;
    return result;
}
