#pragma once

#include "telmora/frame_buffer.hpp"

namespace Telmora {
namespace python {

// Knows which frame buffers are in a Python caller's hands. A frame object handed out by
// requestFrame borrows a buffer the camera reuses after releaseFrame and frees when a
// later start replaces its queue or the camera goes; reading such a buffer would read
// reused or freed memory, so the frame methods ask here first. Every call runs with the
// interpreter lock held, which serialises the table.
class FrameGuard {
public:
    static void handedOut(const void* camera, TelmoraFrameBuffer* frame);
    static void released(TelmoraFrameBuffer* frame);
    // The camera replaced its queue (start) or is being destroyed.
    static void forgetCamera(const void* camera);
    // Throws std::runtime_error when `frame` is not currently held.
    static void check(const TelmoraFrameBuffer* frame);
};

}  // namespace python
}  // namespace Telmora
