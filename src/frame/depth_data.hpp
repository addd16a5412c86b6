#pragma once

#include "telmora/frame_buffer.hpp"

namespace Telmora {

// Depth, confidence and amplitude planes of one output frame. The confidence format
// describes the amplitude plane as well.
class DepthData final : public TelmoraFrameBuffer {
public:
    DepthData(const FrameDataFormat& depth_fmt, const FrameDataFormat& confidence_fmt);
    ~DepthData() override;
    void setTimestamp(uint64_t timestamp) override;
    void* getData(FrameType type) override;
    int getFormat(FrameType type, FrameDataFormat& out) override;

    float* confidence;
    float* amplitude;
    float* depth;
    FrameDataFormat depth_format;
    FrameDataFormat confidence_format;
};

}  // namespace Telmora
