#pragma once

#include "telmora/frame_buffer.hpp"

namespace Telmora {

// The undecoded bytes of one capture, exactly as the sensor delivered them.
class CacheData final : public TelmoraFrameBuffer {
public:
    CacheData(uint32_t width, uint32_t height);
    ~CacheData() override;
    void setTimestamp(uint64_t timestamp) override;
    void* getData(FrameType type) override;
    int getFormat(FrameType type, FrameDataFormat& out) override;

    uint8_t* data;
    FrameDataFormat format;
};

}  // namespace Telmora
