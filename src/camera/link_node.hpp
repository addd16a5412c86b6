#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "telmora/frame_buffer.hpp"

namespace Telmora {

// One slot of a frame queue. `place`, `next` and `lease` change only under the node
// pool's mutex; `lease` is also read without it.
struct LinkNode {
    enum class Place : uint8_t { Free, Ready, Filling, Caller };

    explicit LinkNode(std::unique_ptr<TelmoraFrameBuffer> b) : buffer(std::move(b)) {}

    LinkNode* next = nullptr;
    const std::unique_ptr<TelmoraFrameBuffer> buffer;
    Place place = Place::Free;
    // Non-zero exactly while the node is in the caller's hands.
    std::atomic<uint64_t> lease{0};
};

}  // namespace Telmora
