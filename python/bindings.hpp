#pragma once

#include <pybind11/pybind11.h>

namespace Telmora {
namespace python {

void bindEnums(pybind11::module_& m);
void bindRecords(pybind11::module_& m);
void bindFrames(pybind11::module_& m);
void bindCamera(pybind11::module_& m);

}  // namespace python
}  // namespace Telmora
