// The seam's production side: thin wrappers over the C library that keep errno.
#include "sys/sys.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Telmora {
namespace sys {

int open(const char* path, int flags) { return ::open(path, flags | O_CLOEXEC); }
int close(int fd) { return ::close(fd); }
ssize_t read(int fd, void* buf, size_t count) { return ::read(fd, buf, count); }
int ioctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset)
{
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int munmap(void* addr, size_t length) { return ::munmap(addr, length); }
int fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
ssize_t readlink(const char* path, char* buf, size_t size) { return ::readlink(path, buf, size); }
int poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) { return ::poll(fds, nfds, timeout_ms); }

int listDir(const char* path, std::vector<std::string>& names)
{
    DIR* dir = ::opendir(path);
    if (dir == nullptr) return -1;
    names.clear();
    while (struct dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return 0;
}

}  // namespace sys
}  // namespace Telmora
