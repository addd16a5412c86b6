#include "frame/raw_data.hpp"

#include <cstddef>

namespace Telmora {

RawData::RawData(uint32_t width, uint32_t height)
    : data(new int16_t[static_cast<size_t>(width) * height]), format{width, height, RAW, 0}
{
}

RawData::~RawData() { delete[] data; }

void RawData::setTimestamp(uint64_t timestamp) { format.timestamp = timestamp; }

void* RawData::getData(FrameType type) { return type == RAW ? data : nullptr; }

int RawData::getFormat(FrameType type, FrameDataFormat& out)
{
    if (type != RAW) return TelmoraUnkownError;
    out = format;
    return TelmoraSuccess;
}

}  // namespace Telmora
