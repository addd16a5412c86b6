// What the soak and fault tests measure: the process's resident memory and descriptors,
// the in-memory kernel's descriptors and mappings, where every node of a frame queue is,
// and how long an operation took.
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "camera/frame_queue.hpp"
#include "camera/link_node.hpp"
#include "camera/node_pool.hpp"
#include "fake_kernel.hpp"

namespace soak {

// Sanitizer runtimes keep freed memory in quarantine and shadow it, so resident memory is
// no measure of leaks there; their leak checker is.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

inline long residentKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline int openFds()
{
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int n = 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] != '.') ++n;
    }
    closedir(dir);
    return n - 1;  // the listing's own descriptor
}

struct Figures {
    long rss_kb;
    int fds;
    int kernel_fds;
    int mappings;

    static Figures now()
    {
        auto& k = Telmora::sim::FakeKernel::instance();
        return {residentKb(), openFds(), k.openDescriptors(), k.liveMappings()};
    }
};

inline void print(const char* what, int cycles, double seconds, const Figures& a, const Figures& b)
{
    std::printf("[soak] %s: %d cycles in %.1f s; RSS %ld -> %ld kB (%+ld); fds %d -> %d; "
                "in-memory kernel descriptors %d -> %d, mappings %d -> %d\n",
                what, cycles, seconds, a.rss_kb, b.rss_kb, b.rss_kb - a.rss_kb, a.fds, b.fds, a.kernel_fds,
                b.kernel_fds, a.mappings, b.mappings);
    std::fflush(stdout);
}

// Where the nodes of a queue are. `twice` counts nodes met in both lists or more than
// once in one (a broken list); walks are bounded so a cycle cannot hang the test.
struct NodePlaces {
    int free = 0;
    int ready = 0;
    int caller = 0;
    int filling = 0;
    int twice = 0;
    int total() const { return free + ready + caller + filling; }
};

inline NodePlaces places(Telmora::FrameQueue& q)
{
    using Telmora::LinkNode;
    NodePlaces p;
    std::lock_guard<std::mutex> lock(q.nodes->mutex);
    const size_t n = q.nodes->registry.size();
    std::vector<int> seen(n, 0);
    auto mark = [&](const LinkNode* node) {
        for (size_t i = 0; i < n; ++i)
            if (q.nodes->registry[i].get() == node && seen[i]++ > 0) ++p.twice;
    };
    size_t steps = 0;
    for (LinkNode* node = q.nodes->free_head; node != nullptr && steps++ <= n; node = node->next) {
        mark(node);
        ++p.free;
    }
    steps = 0;
    for (LinkNode* node = q.nodes->ready_head; node != nullptr && steps++ <= n; node = node->next) {
        mark(node);
        ++p.ready;
    }
    for (size_t i = 0; i < n; ++i) {
        if (q.nodes->registry[i]->place == LinkNode::Place::Caller) {
            mark(q.nodes->registry[i].get());
            ++p.caller;
        } else if (q.nodes->registry[i]->place == LinkNode::Place::Filling) {
            mark(q.nodes->registry[i].get());
            ++p.filling;
        }
    }
    return p;
}

template <class F>
double secondsOf(F&& f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline int envInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoi(v) : fallback;
}

inline std::string writeFile(const std::string& name, const std::string& text)
{
    std::ofstream(name) << text;
    return name;
}

}  // namespace soak
