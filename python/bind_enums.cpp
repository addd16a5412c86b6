#include <pybind11/pybind11.h>

#include <string>

#include "bindings.hpp"
#include "telmora/types.hpp"

namespace py = pybind11;

namespace Telmora {
namespace python {

namespace {

void bindWorkMode(py::module_& m)
{
    py::enum_<TofWorkMode>(m, "TofWorkMode")
        .value("SINGLE_FREQ", SINGLE_FREQ)
        .value("DOUBLE_FREQ", DOUBLE_FREQ)
        .value("TRIPLE_FREQ", TRIPLE_FREQ)
        .value("QUAD_FREQ", QUAD_FREQ)
        .value("DISTANCE", DISTANCE)
        .value("HDR", HDR)
        .value("AE", AE)
        .value("BG_OUTDOOR", TofWorkMode::BG_OUTDOOR)
        .value("GRAY_ONLY", TofWorkMode::GRAY_ONLY)
        .value("CUSTOM1", CUSTOM1)
        .value("CUSTOM2", CUSTOM2)
        .value("CUSTOM3", CUSTOM3)
        .def("__int__", [](TofWorkMode v) { return static_cast<int>(v); });
}

void bindFrameWorkMode(py::module_& m)
{
    using F = TofFrameWorkMode;
    py::enum_<F>(m, "TofFrameWorkMode")
        .value("SINGLE_FREQ_2PHASE", F::SINGLE_FREQ_2PHASE)
        .value("SINGLE_FREQ_4PHASE", F::SINGLE_FREQ_4PHASE)
        .value("SINGLE_FREQ_4PHASE_GRAY", F::SINGLE_FREQ_4PHASE_GRAY)
        .value("SINGLE_FREQ_4PHASE_BG", F::SINGLE_FREQ_4PHASE_BG)
        .value("SINGLE_FREQ_4PHASE_4BG", F::SINGLE_FREQ_4PHASE_4BG)
        .value("SINGLE_FREQ_4PHASE_GRAY_5BG", F::SINGLE_FREQ_4PHASE_GRAY_5BG)
        .value("SINGLE_FREQ_GRAY_BG_4PHASE_GRAY_BG", F::SINGLE_FREQ_GRAY_BG_4PHASE_GRAY_BG)
        .value("SINGLE_FREQ_GRAY_BG_4PHASE_BG", F::SINGLE_FREQ_GRAY_BG_4PHASE_BG)
        .value("SINGLE_FREQ_BG_GRAY_BG_4PHASE", F::SINGLE_FREQ_BG_GRAY_BG_4PHASE)
        .value("SINGLE_FREQ_BG_4PHASE_BG_GRAY", F::SINGLE_FREQ_BG_4PHASE_BG_GRAY)
        .value("DOUBLE_FREQ_4PHASE", F::DOUBLE_FREQ_4PHASE)
        .value("DOUBLE_FREQ_4PHASE_GRAY_4PHASE_BG", F::DOUBLE_FREQ_4PHASE_GRAY_4PHASE_BG)
        .value("DOUBLE_FREQ_4PHASE_4BG", F::DOUBLE_FREQ_4PHASE_4BG)
        .value("DOUBLE_FREQ_4PHASE_GRAY_5BG", F::DOUBLE_FREQ_4PHASE_GRAY_5BG)
        .value("TRIPLE_FREQ_4PHASE", F::TRIPLE_FREQ_4PHASE)
        .value("TRIPLE_FREQ_4PHASE_GRAY_4PHASE_GRAY_4PHASE_BG", F::TRIPLE_FREQ_4PHASE_GRAY_4PHASE_GRAY_4PHASE_BG)
        .value("QUAD_FREQ_4PHASE", F::QUAD_FREQ_4PHASE)
        .value("QUAD_FREQ_4PHASE_GRAY_4PHASE_BG_4PHASE_GRAY_4PHASE_BG",
               F::QUAD_FREQ_4PHASE_GRAY_4PHASE_BG_4PHASE_GRAY_4PHASE_BG)
        .value("BG_OUTDOOR", F::BG_OUTDOOR)
        .value("GRAY_ONLY", F::GRAY_ONLY)
        .value("CUSTOM", F::CUSTOM)
        .def("__int__", [](F v) { return static_cast<int>(v); });
}

void bindErrorCode(py::module_& m)
{
    py::enum_<TofErrorCode>(m, "TOFErrorCode")
        .value("TelmoraSuccess", TelmoraSuccess)
        .value("TelmoraInvalidParameter", TelmoraInvalidParameter)
        .value("TelmoraNoCache", TelmoraNoCache)
        .value("TelmoraUnkownDevice", TelmoraUnkownDevice)
        .value("TelmoraNotImplemented", TelmoraNotImplemented)
        .value("TelmoraSkipFrame", TelmoraSkipFrame)
        .value("TelmoraSystemError", TelmoraSystemError)
        .value("TelmoraUnkownError", TelmoraUnkownError)
        .def("str", [](TofErrorCode c) { return std::string(to_str(c)); });
}

}  // namespace

void bindEnums(py::module_& m)
{
    py::enum_<DeviceType>(m, "TOFDeviceType").value("VGA", VGA).value("HQVGA", HQVGA);
    // AMPLITUDE (3) stays native only.
    py::enum_<FrameType>(m, "TOFOutput")
        .value("RAW", RAW)
        .value("DEPTH", DEPTH)
        .value("CONFIDENCE", CONFIDENCE)
        .value("CACHE", CACHE);
    py::enum_<Connection>(m, "TOFConnect").value("CSI", CSI).value("USB", USB);
    // AUTO_FRAME_RATE (9) stays native only.
    py::enum_<CameraCtrl>(m, "TOFControl")
        .value("RANGE", RANGE)
        .value("FMT_WIDTH", FMT_WIDTH)
        .value("FMT_HEIGHT", FMT_HEIGHT)
        .value("MODE", MODE)
        .value("FRAME_MODE", FRAME_MODE)
        .value("EXPOSURE", EXPOSURE)
        .value("FRAME_RATE", FRAME_RATE)
        .value("SKIP_FRAME", SKIP_FRAME)
        .value("SKIP_FRAME_LOOP", SKIP_FRAME_LOOP)
        .value("CONFIG_DIR_EXT", CONFIG_DIR_EXT);
    bindWorkMode(m);
    bindFrameWorkMode(m);
    bindErrorCode(m);
}

}  // namespace python
}  // namespace Telmora
