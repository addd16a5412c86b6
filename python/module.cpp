// Module entry: registers the enumerations first so that every generated signature
// names Python types, then the records, the frame classes and the camera.
#include <pybind11/pybind11.h>

#include "bindings.hpp"

PYBIND11_MODULE(TelmoraDepthCamera, m)
{
    Telmora::python::bindEnums(m);
    Telmora::python::bindRecords(m);
    Telmora::python::bindFrames(m);
    Telmora::python::bindCamera(m);
    m.attr("__version__") = "dev";
}
