#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <memory>

#include "bindings.hpp"
#include "frame/depth_data.hpp"
#include "frame/raw_data.hpp"
#include "frame_arrays.hpp"
#include "frame_guard.hpp"

namespace py = pybind11;

namespace Telmora {
namespace python {

namespace {

FrameDataFormat formatOf(TelmoraFrameBuffer& frame, FrameType type)
{
    FrameGuard::check(&frame);
    FrameDataFormat format{};
    frame.getFormat(type, format);
    return format;
}

// The three float planes share the depth plane's shape.
py::array_t<float> depthPlane(DepthData& frame, FrameType plane)
{
    FrameDataFormat f = formatOf(frame, DEPTH);
    return planeToArray(static_cast<const float*>(frame.getData(plane)), f.height, f.width);
}

}  // namespace

// Frame objects borrow the camera's buffers: the holder never deletes.
void bindFrames(py::module_& m)
{
    py::class_<TelmoraFrameBuffer, std::unique_ptr<TelmoraFrameBuffer, py::nodelete>>(m, "TelmoraFrame");

    py::class_<RawData, TelmoraFrameBuffer, std::unique_ptr<RawData, py::nodelete>>(m, "RawData")
        .def(
            "getRawData",
            [](RawData& frame) {
                FrameDataFormat f = formatOf(frame, RAW);
                return planeToArray(static_cast<const int16_t*>(frame.getData(RAW)), f.height, f.width);
            },
            "Get raw data from the frame")
        .def(
            "getFrameFormat", [](RawData& frame) { return formatOf(frame, RAW); },
            "Get the information of this frame");

    py::class_<DepthData, TelmoraFrameBuffer, std::unique_ptr<DepthData, py::nodelete>>(m, "DepthData")
        .def(
            "getDepthData", [](DepthData& frame) { return depthPlane(frame, DEPTH); },
            "Get depth data from the frame")
        .def(
            "getConfidenceData", [](DepthData& frame) { return depthPlane(frame, CONFIDENCE); },
            "Get confidence data from the frame")
        .def(
            "getAmplitudeData", [](DepthData& frame) { return depthPlane(frame, AMPLITUDE); },
            "Get amplitude data from the frame")
        .def(
            "getFrameFormat", [](DepthData& frame) { return formatOf(frame, DEPTH); },
            "Get the information of this frame");
}

}  // namespace python
}  // namespace Telmora
