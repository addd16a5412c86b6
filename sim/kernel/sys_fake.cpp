// The OS seam bound to the in-memory kernel; test executables link this instead of
// src/sys/sys_linux.cpp.
#include <sys/mman.h>

#include "fake_kernel.hpp"
#include "sys/sys.hpp"

namespace Telmora {
namespace sys {

namespace {
sim::FakeKernel& k() { return sim::FakeKernel::instance(); }
}  // namespace

int open(const char* path, int flags) { return k().open(path, flags); }
int close(int fd) { return k().close(fd); }
ssize_t read(int fd, void* buf, size_t count) { return k().read(fd, buf, count); }
int ioctl(int fd, unsigned long request, void* arg) { return k().ioctl(fd, request, arg); }

void* mmap(void*, size_t length, int, int, int fd, off_t offset)
{
    void* addr = k().mmap(length, fd, offset);
    return addr == nullptr ? MAP_FAILED : addr;
}

int munmap(void* addr, size_t length) { return k().munmap(addr, length); }
int fstat(int fd, struct stat* st) { return k().fstat(fd, st); }
ssize_t readlink(const char* path, char* buf, size_t size) { return k().readlink(path, buf, size); }
int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) { return k().poll(fds, nfds, timeout_ms); }
int listDir(const char* path, std::vector<std::string>& names) { return k().listDir(path, names); }

}  // namespace sys
}  // namespace Telmora
