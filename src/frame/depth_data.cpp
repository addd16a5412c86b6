#include "frame/depth_data.hpp"

#include <cstddef>
#include <memory>

namespace Telmora {

namespace {
size_t planeSize(const FrameDataFormat& f) { return static_cast<size_t>(f.width) * f.height; }
}  // namespace

// All or nothing: unique_ptr releases what was allocated if a later array fails.
DepthData::DepthData(const FrameDataFormat& depth_fmt, const FrameDataFormat& confidence_fmt)
    : confidence(nullptr), amplitude(nullptr), depth(nullptr),
      depth_format(depth_fmt), confidence_format(confidence_fmt)
{
    std::unique_ptr<float[]> c(new float[planeSize(confidence_fmt)]);
    std::unique_ptr<float[]> a(new float[planeSize(confidence_fmt)]);
    std::unique_ptr<float[]> d(new float[planeSize(depth_fmt)]);
    confidence = c.release();
    amplitude = a.release();
    depth = d.release();
}

DepthData::~DepthData()
{
    delete[] depth;
    delete[] amplitude;
    delete[] confidence;
}

void DepthData::setTimestamp(uint64_t timestamp)
{
    depth_format.timestamp = timestamp;
    confidence_format.timestamp = timestamp;
}

void* DepthData::getData(FrameType type)
{
    switch (type) {
    case CONFIDENCE: return confidence;
    case DEPTH: return depth;
    case AMPLITUDE: return amplitude;
    default: return nullptr;
    }
}

int DepthData::getFormat(FrameType type, FrameDataFormat& out)
{
    switch (type) {
    case DEPTH: out = depth_format; return TelmoraSuccess;
    case CONFIDENCE:
    case AMPLITUDE: out = confidence_format; return TelmoraSuccess;
    default: return TelmoraUnkownError;
    }
}

}  // namespace Telmora
