#include <pybind11/pybind11.h>

#include "bindings.hpp"
#include "telmora/types.hpp"

namespace py = pybind11;

namespace Telmora {
namespace python {

// Plain records by value, no constructor callable from Python; an enumeration field read
// stays tied to the record it came from (the binding layer's reference to a member).
void bindRecords(py::module_& m)
{
    py::class_<FrameDataFormat>(m, "TelmoraFormat")
        .def_readwrite("width", &FrameDataFormat::width)
        .def_readwrite("height", &FrameDataFormat::height)
        .def_readwrite("timestamp", &FrameDataFormat::timestamp)
        .def_readwrite("type", &FrameDataFormat::type);

    py::class_<CameraInfo>(m, "TelmoraInfo")
        .def_readwrite("index", &CameraInfo::index)
        .def_readwrite("connect", &CameraInfo::connect)
        .def_readwrite("device_type", &CameraInfo::device_type)
        .def_readwrite("type", &CameraInfo::type)
        .def_readwrite("width", &CameraInfo::width)
        .def_readwrite("height", &CameraInfo::height)
        .def_readwrite("bit_width", &CameraInfo::bit_width)
        .def_readwrite("bpp", &CameraInfo::bpp);
}

}  // namespace python
}  // namespace Telmora
