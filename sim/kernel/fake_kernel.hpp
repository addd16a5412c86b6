// An in-memory Linux kernel for tests: a file tree (text files, directories with a fixed
// listing order, symbolic links, character devices) and a descriptor table, reached
// through the Telmora::sys functions when a test executable links sys_fake.cpp instead
// of the Linux seam. Faults can be injected per path (open) and per ioctl request.
//
// One kernel per process (FakeKernel::instance()); tests call reset() to start clean.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_model.hpp"

namespace Telmora {
namespace sim {

class FakeKernel {
public:
    static FakeKernel& instance();

    // Drops every node, descriptor record, mapping record and injected fault.
    void reset();

    // Tree building. Missing parent directories are created; a directory lists its
    // entries in the order they were added. Paths are absolute.
    FakeKernel& file(const std::string& path, const std::string& content);
    FakeKernel& dir(const std::string& path);
    FakeKernel& symlink(const std::string& path, const std::string& target);
    FakeKernel& charDevice(const std::string& path, unsigned major, unsigned minor,
                           std::shared_ptr<DeviceModel> model);
    FakeKernel& remove(const std::string& path);

    // Faults: the next `count` opens of `path` fail with `err`; the next `count`
    // ioctls with `request` (on any descriptor) fail with `err`.
    FakeKernel& failOpen(const std::string& path, int err, int count = 1);
    FakeKernel& failIoctl(unsigned long request, int err, int count = 1);

    // Observation for tests.
    int openDescriptors() const;
    int liveMappings() const;
    int ioctlCalls(unsigned long request) const;
    int totalIoctlCalls() const;
    int pollCalls() const;
    std::string pathOf(int fd) const;  // "" for an unknown descriptor

    // The seam's operations (called by sys_fake.cpp).
    int open(const char* path, int flags);
    int close(int fd);
    ssize_t read(int fd, void* buf, size_t count);
    int ioctl(int fd, unsigned long request, void* arg);
    void* mmap(size_t length, int fd, off_t offset);
    int munmap(void* addr, size_t length);
    int fstat(int fd, struct stat* st);
    ssize_t readlink(const char* path, char* buf, size_t size);
    int poll(struct pollfd* fds, unsigned long nfds, int timeout_ms);
    int listDir(const char* path, std::vector<std::string>& names);

    struct Node;

private:
    FakeKernel();
    std::shared_ptr<Node> lookup(const std::string& path, bool follow_last) const;
    std::shared_ptr<Node> makeParents(const std::string& path, std::string& leaf);
    void attach(const std::string& path, std::shared_ptr<Node> node);
    bool consumeOpenFault(const std::string& path, int& err);
    bool consumeIoctlFault(unsigned long request, int& err);

    struct OpenFile {
        std::shared_ptr<Node> node;
        std::string path;
        size_t offset = 0;
    };
    struct Mapping {
        size_t length;
        std::shared_ptr<DeviceModel> model;
    };
    struct Fault {
        int err;
        int count;
    };

    mutable std::mutex mutex_;
    std::shared_ptr<Node> root_;
    std::map<int, OpenFile> files_;
    std::map<void*, Mapping> mappings_;
    std::map<std::string, Fault> open_faults_;
    std::map<unsigned long, Fault> ioctl_faults_;
    std::map<unsigned long, int> ioctl_calls_;
    int poll_calls_ = 0;
    int next_fd_ = 100;
};

}  // namespace sim
}  // namespace Telmora
