#include "fake_kernel.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <utility>

namespace Telmora {
namespace sim {

struct FakeKernel::Node {
    enum Kind { File, Dir, Symlink, CharDev } kind;
    std::string content;  // file text or link target
    std::vector<std::pair<std::string, std::shared_ptr<Node>>> children;
    unsigned major = 0;
    unsigned minor = 0;
    std::shared_ptr<DeviceModel> model;

    explicit Node(Kind k) : kind(k) {}

    std::shared_ptr<Node> child(const std::string& name) const
    {
        for (const auto& c : children)
            if (c.first == name) return c.second;
        return nullptr;
    }
};

namespace {

std::deque<std::string> split(const std::string& path)
{
    std::deque<std::string> parts;
    size_t i = 0;
    while (i < path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        if (j > i) parts.push_back(path.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

}  // namespace

FakeKernel& FakeKernel::instance()
{
    static FakeKernel kernel;
    return kernel;
}

FakeKernel::FakeKernel() : root_(std::make_shared<Node>(Node::Dir)) {}

void FakeKernel::reset()
{
    std::lock_guard<std::mutex> lock(mutex_);
    root_ = std::make_shared<Node>(Node::Dir);
    files_.clear();
    mappings_.clear();
    open_faults_.clear();
    ioctl_faults_.clear();
    ioctl_calls_.clear();
    poll_calls_ = 0;
}

std::shared_ptr<FakeKernel::Node> FakeKernel::lookup(const std::string& path, bool follow_last) const
{
    std::deque<std::string> rest = split(path);
    std::vector<std::shared_ptr<Node>> stack{root_};
    int hops = 0;
    while (!rest.empty()) {
        std::string name = rest.front();
        rest.pop_front();
        if (name == ".") continue;
        if (name == "..") {
            if (stack.size() > 1) stack.pop_back();
            continue;
        }
        const std::shared_ptr<Node>& dir = stack.back();
        if (dir->kind != Node::Dir) return nullptr;
        std::shared_ptr<Node> next = dir->child(name);
        if (!next) return nullptr;
        if (next->kind == Node::Symlink && (!rest.empty() || follow_last)) {
            if (++hops > 40) return nullptr;
            std::deque<std::string> target = split(next->content);
            if (!next->content.empty() && next->content[0] == '/') stack.resize(1);
            rest.insert(rest.begin(), target.begin(), target.end());
            continue;
        }
        stack.push_back(next);
    }
    return stack.back();
}

std::shared_ptr<FakeKernel::Node> FakeKernel::makeParents(const std::string& path, std::string& leaf)
{
    std::deque<std::string> parts = split(path);
    leaf = parts.empty() ? std::string() : parts.back();
    if (!parts.empty()) parts.pop_back();
    std::shared_ptr<Node> dir = root_;
    for (const std::string& name : parts) {
        std::shared_ptr<Node> next = dir->child(name);
        if (!next) {
            next = std::make_shared<Node>(Node::Dir);
            dir->children.emplace_back(name, next);
        }
        dir = next;
    }
    return dir;
}

void FakeKernel::attach(const std::string& path, std::shared_ptr<Node> node)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string leaf;
    std::shared_ptr<Node> dir = makeParents(path, leaf);
    for (auto& c : dir->children) {
        if (c.first == leaf) {
            if (node->kind == Node::Dir && c.second->kind == Node::Dir) return;  // keep contents
            c.second = std::move(node);
            return;
        }
    }
    dir->children.emplace_back(leaf, std::move(node));
}

FakeKernel& FakeKernel::file(const std::string& path, const std::string& content)
{
    auto node = std::make_shared<Node>(Node::File);
    node->content = content;
    attach(path, node);
    return *this;
}

FakeKernel& FakeKernel::dir(const std::string& path)
{
    attach(path, std::make_shared<Node>(Node::Dir));
    return *this;
}

FakeKernel& FakeKernel::symlink(const std::string& path, const std::string& target)
{
    auto node = std::make_shared<Node>(Node::Symlink);
    node->content = target;
    attach(path, node);
    return *this;
}

FakeKernel& FakeKernel::charDevice(const std::string& path, unsigned major, unsigned minor,
                                   std::shared_ptr<DeviceModel> model)
{
    auto node = std::make_shared<Node>(Node::CharDev);
    node->major = major;
    node->minor = minor;
    node->model = std::move(model);
    attach(path, node);
    return *this;
}

FakeKernel& FakeKernel::remove(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string leaf;
    std::deque<std::string> parts = split(path);
    if (parts.empty()) return *this;
    leaf = parts.back();
    parts.pop_back();
    std::shared_ptr<Node> dir = root_;
    for (const std::string& name : parts) {
        dir = dir->child(name);
        if (!dir) return *this;
    }
    auto& ch = dir->children;
    ch.erase(std::remove_if(ch.begin(), ch.end(), [&](const auto& c) { return c.first == leaf; }), ch.end());
    return *this;
}

FakeKernel& FakeKernel::failOpen(const std::string& path, int err, int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    open_faults_[path] = Fault{err, count};
    return *this;
}

FakeKernel& FakeKernel::failIoctl(unsigned long request, int err, int count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ioctl_faults_[request] = Fault{err, count};
    return *this;
}

bool FakeKernel::consumeOpenFault(const std::string& path, int& err)
{
    auto it = open_faults_.find(path);
    if (it == open_faults_.end() || it->second.count <= 0) return false;
    err = it->second.err;
    --it->second.count;
    return true;
}

bool FakeKernel::consumeIoctlFault(unsigned long request, int& err)
{
    auto it = ioctl_faults_.find(request);
    if (it == ioctl_faults_.end() || it->second.count <= 0) return false;
    err = it->second.err;
    --it->second.count;
    return true;
}

int FakeKernel::openDescriptors() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(files_.size());
}

int FakeKernel::liveMappings() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(mappings_.size());
}

int FakeKernel::ioctlCalls(unsigned long request) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = ioctl_calls_.find(request);
    return it == ioctl_calls_.end() ? 0 : it->second;
}

int FakeKernel::totalIoctlCalls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    int total = 0;
    for (const auto& c : ioctl_calls_) total += c.second;
    return total;
}

std::string FakeKernel::pathOf(int fd) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(fd);
    return it == files_.end() ? std::string() : it->second.path;
}

int FakeKernel::open(const char* path, int flags)
{
    std::shared_ptr<DeviceModel> model;
    int fd;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int err = 0;
        if (consumeOpenFault(path, err)) {
            errno = err;
            return -1;
        }
        std::shared_ptr<Node> node = lookup(path, true);
        if (!node) {
            errno = ENOENT;
            return -1;
        }
        if (node->kind == Node::Dir && (flags & O_ACCMODE) != O_RDONLY) {
            errno = EISDIR;
            return -1;
        }
        fd = next_fd_++;
        files_[fd] = OpenFile{node, path, 0};
        model = node->model;
    }
    if (model) {
        int err = model->onOpen(fd, flags);
        if (err != 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            files_.erase(fd);
            errno = err;
            return -1;
        }
    }
    return fd;
}

int FakeKernel::close(int fd)
{
    std::shared_ptr<DeviceModel> model;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(fd);
        if (it == files_.end()) {
            errno = EBADF;
            return -1;
        }
        model = it->second.node->model;
        files_.erase(it);
    }
    if (model) model->onClose(fd);
    return 0;
}

ssize_t FakeKernel::read(int fd, void* buf, size_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(fd);
    if (it == files_.end()) {
        errno = EBADF;
        return -1;
    }
    OpenFile& f = it->second;
    if (f.node->kind != Node::File) {
        errno = f.node->kind == Node::Dir ? EISDIR : EINVAL;
        return -1;
    }
    const std::string& text = f.node->content;
    size_t n = f.offset < text.size() ? std::min(count, text.size() - f.offset) : 0;
    std::memcpy(buf, text.data() + f.offset, n);
    f.offset += n;
    return static_cast<ssize_t>(n);
}

int FakeKernel::ioctl(int fd, unsigned long request, void* arg)
{
    std::shared_ptr<DeviceModel> model;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(fd);
        if (it == files_.end()) {
            errno = EBADF;
            return -1;
        }
        ++ioctl_calls_[request];
        int err = 0;
        if (consumeIoctlFault(request, err)) {
            errno = err;
            return -1;
        }
        model = it->second.node->model;
    }
    if (!model) {
        errno = ENOTTY;
        return -1;
    }
    return model->ioctl(fd, request, arg);
}

void* FakeKernel::mmap(size_t length, int fd, off_t offset)
{
    std::shared_ptr<DeviceModel> model;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = files_.find(fd);
        if (it == files_.end()) {
            errno = EBADF;
            return nullptr;
        }
        model = it->second.node->model;
    }
    if (!model) {
        errno = ENODEV;
        return nullptr;
    }
    void* addr = model->mmap(fd, length, offset);
    if (addr == nullptr) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    mappings_[addr] = Mapping{length, model};
    return addr;
}

namespace {

size_t pages(size_t length) { return (length + 4095) / 4096; }

}  // namespace

int FakeKernel::munmap(void* addr, size_t length)
{
    if (length == 0) {
        errno = EINVAL;
        return -1;
    }
    std::shared_ptr<DeviceModel> model;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Like munmap(2): a range with nothing mapped is not an error, and a range shorter
        // than the mapping (in whole pages) leaves the rest of it mapped.
        auto it = mappings_.find(addr);
        if (it == mappings_.end() || pages(length) < pages(it->second.length)) return 0;
        model = it->second.model;
        mappings_.erase(it);
    }
    model->munmap(addr, length);
    return 0;
}

int FakeKernel::fstat(int fd, struct stat* st)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = files_.find(fd);
    if (it == files_.end()) {
        errno = EBADF;
        return -1;
    }
    const Node& n = *it->second.node;
    std::memset(st, 0, sizeof *st);
    switch (n.kind) {
    case Node::File: st->st_mode = S_IFREG | 0644; st->st_size = static_cast<off_t>(n.content.size()); break;
    case Node::Dir: st->st_mode = S_IFDIR | 0755; break;
    case Node::Symlink: st->st_mode = S_IFLNK | 0777; break;
    case Node::CharDev:
        st->st_mode = S_IFCHR | 0660;
        st->st_rdev = makedev(n.major, n.minor);
        break;
    }
    return 0;
}

ssize_t FakeKernel::readlink(const char* path, char* buf, size_t size)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Node> node = lookup(path, false);
    if (!node) {
        errno = ENOENT;
        return -1;
    }
    if (node->kind != Node::Symlink) {
        errno = EINVAL;
        return -1;
    }
    size_t n = std::min(size, node->content.size());
    std::memcpy(buf, node->content.data(), n);  // like readlink(2): no NUL added
    return static_cast<ssize_t>(n);
}

int FakeKernel::pollCalls() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return poll_calls_;
}

int FakeKernel::poll(struct pollfd* fds, unsigned long nfds, int timeout_ms)
{
    int ready = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++poll_calls_;
    }
    for (unsigned long i = 0; i < nfds; ++i) {
        std::shared_ptr<DeviceModel> model;
        bool known;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            auto it = files_.find(fds[i].fd);
            known = it != files_.end();
            if (known) model = it->second.node->model;
        }
        if (!known) fds[i].revents = POLLNVAL;
        else if (model) fds[i].revents = model->poll(fds[i].fd, fds[i].events, nfds == 1 ? timeout_ms : 0);
        else fds[i].revents = static_cast<short>(fds[i].events & (POLLIN | POLLOUT));
        if (fds[i].revents != 0) ++ready;
    }
    return ready;
}

int FakeKernel::listDir(const char* path, std::vector<std::string>& names)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<Node> node = lookup(path, true);
    if (!node) {
        errno = ENOENT;
        return -1;
    }
    if (node->kind != Node::Dir) {
        errno = ENOTDIR;
        return -1;
    }
    names.clear();
    names.emplace_back(".");
    names.emplace_back("..");
    for (const auto& c : node->children) names.push_back(c.first);
    return 0;
}

}  // namespace sim
}  // namespace Telmora
