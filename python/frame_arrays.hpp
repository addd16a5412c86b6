#pragma once

#include <pybind11/numpy.h>

#include <cstdint>
#include <cstring>

namespace Telmora {
namespace python {

// One copy of a plane into a new numpy-owned array, then an in-place reshape to
// (rows, cols). numpy is imported on the first call, not at module import.
template <typename T>
pybind11::array_t<T> planeToArray(const T* plane, uint32_t rows, uint32_t cols)
{
    const uint64_t n = static_cast<uint64_t>(rows) * cols;
    pybind11::array_t<T> array(static_cast<pybind11::ssize_t>(n));
    {
        pybind11::buffer_info view = array.request(true);
        if (n != 0) std::memcpy(view.ptr, plane, n * sizeof(T));
    }  // the view must be gone before the resize's reference check
    array.resize({static_cast<pybind11::ssize_t>(rows), static_cast<pybind11::ssize_t>(cols)}, true);
    return array;
}

}  // namespace python
}  // namespace Telmora
