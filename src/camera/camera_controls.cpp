#include "device/device.hpp"
#include "telmora/camera.hpp"

namespace Telmora {

int TelmoraTOFCamera::setControl(CameraCtrl ctrl, int value)
{
    switch (ctrl) {
    case SKIP_FRAME:
        // Beyond the cycle length the keep/drop arithmetic breaks down.
        if (value < 0 || value > skip_frame_loop.load(std::memory_order_relaxed)) {
            return TelmoraInvalidParameter;
        }
        skip_frame.store(value, std::memory_order_relaxed);
        return TelmoraSuccess;
    case SKIP_FRAME_LOOP:
        // The cycle position is taken modulo this value and divided by its low 8 bits.
        if (value < 1 || value > 255) return TelmoraInvalidParameter;
        skip_frame_loop.store(value, std::memory_order_relaxed);
        return TelmoraSuccess;
    case AUTO_FRAME_RATE:
        auto_frame_rate.store(value != 0, std::memory_order_relaxed);
        return TelmoraSuccess;
    case FRAME_RATE:
        return setFrameRate(value);
    default:
        if (!device) return TelmoraUnkownError;
        return device->setControl(ctrl, value);
    }
}

int TelmoraTOFCamera::setFrameRate(int value)
{
    if (!device) return TelmoraUnkownError;
    int limit = 0;
    const int result = device->getControl(FRAME_RATE, &limit);
    if (result != TelmoraSuccess) return result;
    if (value > limit || value < 1) return TelmoraInvalidParameter;
    return device->setControl(FRAME_RATE, value);
}

int TelmoraTOFCamera::getControl(CameraCtrl ctrl, int* value)
{
    if (!value) return TelmoraInvalidParameter;
    if (ctrl == AUTO_FRAME_RATE) {
        *value = auto_frame_rate.load(std::memory_order_relaxed) ? 1 : 0;
        return TelmoraSuccess;
    }
    if (!device) return TelmoraUnkownError;
    return device->getControl(ctrl, value);
}

int TelmoraTOFCamera::setControlExt(CameraCtrl ctrl, const char* value)
{
    if (!value) return TelmoraInvalidParameter;
    if (!device) return TelmoraUnkownError;
    return device->setControlExt(ctrl, value);
}

int TelmoraTOFCamera::getControlExt(CameraCtrl /*ctrl*/, const char** /*value*/)
{
    if (!device) return TelmoraUnkownError;
    return TelmoraSuccess;
}

}  // namespace Telmora
