// One frame's planes, addressed by FrameType through the abstract base.
#pragma once

#include "telmora/types.hpp"

namespace Telmora {

class TELMORA_API TelmoraFrameBuffer {
public:
    virtual ~TelmoraFrameBuffer() = default;
    virtual void setTimestamp(uint64_t timestamp) = 0;
    // Start of the plane of `type`, or null when this buffer carries no such plane.
    virtual void* getData(FrameType type) = 0;
    // 0 with `out` filled, or -1 with `out` untouched.
    virtual int getFormat(FrameType type, FrameDataFormat& out) = 0;

protected:
    TelmoraFrameBuffer() = default;
    TelmoraFrameBuffer(const TelmoraFrameBuffer&) = delete;
    TelmoraFrameBuffer& operator=(const TelmoraFrameBuffer&) = delete;
};

}  // namespace Telmora
