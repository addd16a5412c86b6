#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <memory>
#include <optional>
#include <string>

#include "bindings.hpp"
#include "frame_guard.hpp"
#include "telmora/camera.hpp"

namespace py = pybind11;

namespace Telmora {
namespace python {

namespace {

// The Python object is the camera's sole owner; frames it handed out die with it.
struct CameraDeleter {
    void operator()(TelmoraTOFCamera* camera) const
    {
        FrameGuard::forgetCamera(camera);
        delete camera;
    }
};

using Status = TofErrorCode;
Status status(int code) { return static_cast<Status>(code); }

const char* kOpenDoc =
    "Initialize the camera configuration and turn on the camera, set the initialization frame "
    "according to the mode.\n\n- mode Specify the connection method.\n- index Device node, the "
    "default value is video0.";
const char* kOpenWithFileDoc =
    "Initialize the camera configuration and turn on the camera, set the initialization frame "
    "according to the mode.\n\n- path Specify the config file path.\n- index Device node, the "
    "default value is video0.";

TelmoraFrameBuffer* requestFrame(TelmoraTOFCamera& camera, int16_t timeout)
{
    TelmoraFrameBuffer* frame = camera.requestFrame(timeout);
    if (frame != nullptr) FrameGuard::handedOut(&camera, frame);
    return frame;
}

Status releaseFrame(TelmoraTOFCamera& camera, TelmoraFrameBuffer* frame)
{
    int rc = camera.releaseFrame(frame);
    if (rc == 0) FrameGuard::released(frame);
    return status(rc);
}

// str (as UTF-8), bytes or None. A path with a NUL inside is refused: cut at the NUL it
// would name another file than the caller's.
Status openWithFile(TelmoraTOFCamera& camera, const std::optional<std::string>& path, int index)
{
    if (!path) return status(camera.openWithFile(nullptr, index));
    if (path->find('\0') != std::string::npos) throw py::value_error("embedded null byte in path");
    return status(camera.openWithFile(path->c_str(), index));
}

Status start(TelmoraTOFCamera& camera, FrameType type)
{
    int rc = camera.start(type);
    if (rc == 0) FrameGuard::forgetCamera(&camera);  // the previous queue is gone
    return status(rc);
}

}  // namespace

void bindCamera(py::module_& m)
{
    py::class_<TelmoraTOFCamera, std::unique_ptr<TelmoraTOFCamera, CameraDeleter>>(m, "TelmoraCamera")
        .def(py::init<>())
        .def(
            "open", [](TelmoraTOFCamera& c, Connection mode, int index) { return status(c.open(mode, index)); },
            kOpenDoc, py::arg("mode"), py::arg("index") = 0)
        .def(
            "openWithFile", &openWithFile, kOpenWithFileDoc, py::arg("path"), py::arg("index") = 0)
        .def(
            "close", [](TelmoraTOFCamera& c) { return status(c.close()); }, "Close the camera")
        .def("start", &start, "Start the camera stream and start processing.", py::arg("type"))
        .def(
            "stop", [](TelmoraTOFCamera& c) { return status(c.stop()); }, "Stop camera stream and processing.")
        .def(
            "setControl",
            [](TelmoraTOFCamera& c, CameraCtrl ctrl, int value) { return status(c.setControl(ctrl, value)); },
            "Set camera parameters.", py::arg("ctrl"), py::arg("value"))
        .def(
            "getControl",
            [](TelmoraTOFCamera& c, CameraCtrl ctrl) {
                int value = 0;
                c.getControl(ctrl, &value);
                return value;
            },
            "Get camera parameters.", py::arg("ctrl"))
        .def("getCameraInfo", &TelmoraTOFCamera::getCameraInfo, "Get camera information.")
        .def("requestFrame", &requestFrame, "Request a frame of data from the frame processing thread.",
             py::arg("timeout"), py::return_value_policy::reference)
        .def("releaseFrame", &releaseFrame, "Free the memory space of the frame.", py::arg("frame"));
}

}  // namespace python
}  // namespace Telmora
