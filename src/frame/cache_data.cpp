#include "frame/cache_data.hpp"

#include <cstddef>

namespace Telmora {

CacheData::CacheData(uint32_t width, uint32_t height)
    : data(new uint8_t[static_cast<size_t>(width) * height]), format{width, height, CACHE, 0}
{
}

CacheData::~CacheData() { delete[] data; }

void CacheData::setTimestamp(uint64_t timestamp) { format.timestamp = timestamp; }

void* CacheData::getData(FrameType type) { return type == CACHE ? data : nullptr; }

int CacheData::getFormat(FrameType type, FrameDataFormat& out)
{
    if (type != CACHE) return TelmoraUnkownError;
    out = format;
    return TelmoraSuccess;
}

}  // namespace Telmora
