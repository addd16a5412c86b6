// A V4L2 buffer record for memory-mapped capture of either planarity: multi-planar records
// carry one plane, whose address the record keeps pointing at its own copy.
#pragma once

#include <linux/videodev2.h>

#include <cstdint>

namespace Telmora {

struct V4l2BufferRecord {
    v4l2_buffer buf{};
    v4l2_plane plane{};

    V4l2BufferRecord(uint32_t type, uint32_t index)
    {
        buf.index = index;
        buf.type = type;
        buf.memory = V4L2_MEMORY_MMAP;
        if (multiPlanar()) buf.length = 1;
        repoint();
    }
    V4l2BufferRecord(const V4l2BufferRecord& other) : buf(other.buf), plane(other.plane) { repoint(); }
    V4l2BufferRecord& operator=(const V4l2BufferRecord& other)
    {
        buf = other.buf;
        plane = other.plane;
        repoint();
        return *this;
    }

    bool multiPlanar() const { return buf.type == V4L2_BUF_TYPE_VIDEO_CAPTURE_MPLANE; }
    // Length and offset to map, from the record or its plane.
    uint32_t mapLength() const { return multiPlanar() ? plane.length : buf.length; }
    uint32_t mapOffset() const { return multiPlanar() ? plane.m.mem_offset : buf.m.offset; }

private:
    void repoint()
    {
        if (multiPlanar()) buf.m.planes = &plane;
    }
};

}  // namespace Telmora
