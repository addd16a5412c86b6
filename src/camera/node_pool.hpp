#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "camera/link_node.hpp"

namespace Telmora {

// The nodes of one frame queue: a LIFO free stack and a FIFO of ready frames, guarded
// by `mutex`, and the registry that owns every node. The registry is filled only while
// the queue is built, so it is read without the lock.
class NodePool {
public:
    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;

    // Build time only: registers the node and puts it on top of the free stack.
    void add(std::unique_ptr<LinkNode> node);

    // Top of the free stack, now being filled; null when the stack is empty.
    LinkNode* popFree();
    // Oldest ready node, moved to `to` (Filling for the capture thread, Caller for a
    // request); null when the FIFO is empty.
    LinkNode* popReady(LinkNode::Place to);
    // A filled node goes to the tail of the ready FIFO.
    void appendReady(LinkNode* node);
    // A node whose capture was dropped goes back on the free stack.
    void pushFree(LinkNode* node);
    // A node in the caller's hands goes back on the free stack; false (nothing changes)
    // for a node anywhere else.
    bool giveBack(LinkNode* node);

    LinkNode* find(const TelmoraFrameBuffer* buffer) const;
    size_t readyLength();

    LinkNode* free_head = nullptr;
    LinkNode* ready_head = nullptr;
    LinkNode* ready_tail = nullptr;
    std::vector<std::unique_ptr<LinkNode>> registry;
    std::mutex mutex;

private:
    void pushFreeLocked(LinkNode* node);
};

}  // namespace Telmora
