#include "camera/node_pool.hpp"

#include <atomic>

namespace Telmora {

namespace {

// Leases are unique across every queue of the process, so a stale lease never matches
// a buffer that a later queue happens to place at the same address.
std::atomic<uint64_t> g_last_lease{0};

}  // namespace

void NodePool::add(std::unique_ptr<LinkNode> node)
{
    LinkNode* n = node.get();
    registry.push_back(std::move(node));
    std::lock_guard<std::mutex> lock(mutex);
    pushFreeLocked(n);
}

void NodePool::pushFreeLocked(LinkNode* node)
{
    node->place = LinkNode::Place::Free;
    node->next = free_head;
    free_head = node;
}

LinkNode* NodePool::popFree()
{
    std::lock_guard<std::mutex> lock(mutex);
    LinkNode* n = free_head;
    if (!n) return nullptr;
    free_head = n->next;
    n->next = nullptr;
    n->place = LinkNode::Place::Filling;
    return n;
}

LinkNode* NodePool::popReady(LinkNode::Place to)
{
    std::lock_guard<std::mutex> lock(mutex);
    LinkNode* n = ready_head;
    if (!n) return nullptr;
    ready_head = n->next;
    if (!ready_head) ready_tail = nullptr;
    n->next = nullptr;
    n->place = to;
    if (to == LinkNode::Place::Caller) {
        n->lease.store(g_last_lease.fetch_add(1, std::memory_order_relaxed) + 1,
                       std::memory_order_release);
    }
    return n;
}

void NodePool::appendReady(LinkNode* node)
{
    std::lock_guard<std::mutex> lock(mutex);
    node->next = nullptr;
    node->place = LinkNode::Place::Ready;
    if (ready_tail) {
        ready_tail->next = node;
    } else {
        ready_head = node;
    }
    ready_tail = node;
}

void NodePool::pushFree(LinkNode* node)
{
    std::lock_guard<std::mutex> lock(mutex);
    pushFreeLocked(node);
}

bool NodePool::giveBack(LinkNode* node)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (node->place != LinkNode::Place::Caller) return false;
    node->lease.store(0, std::memory_order_release);
    pushFreeLocked(node);
    return true;
}

LinkNode* NodePool::find(const TelmoraFrameBuffer* buffer) const
{
    if (!buffer) return nullptr;
    for (const auto& n : registry) {
        if (n->buffer.get() == buffer) return n.get();
    }
    return nullptr;
}

size_t NodePool::readyLength()
{
    std::lock_guard<std::mutex> lock(mutex);
    size_t len = 0;
    for (LinkNode* n = ready_head; n; n = n->next) ++len;
    return len;
}

}  // namespace Telmora
