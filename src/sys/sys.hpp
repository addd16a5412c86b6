// The operating-system seam. Everything the library asks of the kernel (device nodes,
// sysfs, procfs) goes through these functions. Production links sys_linux.cpp; tests link
// the in-memory kernel of sim/kernel instead. All functions follow the C library's
// conventions: -1 (or MAP_FAILED) with errno set on failure.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace Telmora {
namespace sys {

int open(const char* path, int flags);
int close(int fd);
ssize_t read(int fd, void* buf, size_t count);
int ioctl(int fd, unsigned long request, void* arg);
void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset);
int munmap(void* addr, size_t length);
int fstat(int fd, struct stat* st);
ssize_t readlink(const char* path, char* buf, size_t size);
int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms);
// Every entry of a directory in directory order, "." and ".." included when the
// directory reports them. 0, or -1 with errno set.
int listDir(const char* path, std::vector<std::string>& names);

}  // namespace sys
}  // namespace Telmora
