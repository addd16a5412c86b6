#pragma once

#include "telmora/frame_buffer.hpp"

namespace Telmora {

// Raw sensor image as signed 16-bit samples.
class RawData final : public TelmoraFrameBuffer {
public:
    RawData(uint32_t width, uint32_t height);
    ~RawData() override;
    void setTimestamp(uint64_t timestamp) override;
    void* getData(FrameType type) override;
    int getFormat(FrameType type, FrameDataFormat& out) override;

    int16_t* data;
    FrameDataFormat format;
};

}  // namespace Telmora
