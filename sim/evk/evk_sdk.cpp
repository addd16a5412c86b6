// The library's C interface over EvkCamera objects.
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "evk_camera.hpp"
#include "telmora_evk_sdk.h"

using Telmora::evk::EvkCamera;
using Telmora::evk::EvkConfig;

namespace {

// Live cameras (handles are checked against it), the call counters and the last open record.
struct Registry {
    std::mutex mu;
    std::set<EvkCamera*> cameras;
    std::map<std::string, unsigned> calls;
    bool have_param = false;
    TelmoraOpenParam last_param{};
    std::string last_path;
};

Registry& registry() {
    static Registry r;
    return r;
}

void count(const char* name) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    ++r.calls[name];
}

// The camera behind a handle, or null for an unknown handle. Cameras are destroyed only by
// TelmoraCloseCamera, which callers never run concurrently with other calls on that handle.
EvkCamera* lookup(TelmoraHandle handle) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    EvkCamera* cam = static_cast<EvkCamera*>(handle);
    return r.cameras.count(cam) ? cam : nullptr;
}

}  // namespace

extern "C" {

int TelmoraDefaultParam(TelmoraOpenParam* param) {
    count("TelmoraDefaultParam");
    if (param == nullptr) return -1;
    std::memset(param, 0, sizeof(*param));
    param->config_path = "";
    param->struct_size = sizeof(TelmoraOpenParam);
    return 0;
}

int TelmoraOpenCamera(TelmoraHandle* handle, TelmoraOpenParam* param) {
    count("TelmoraOpenCamera");
    if (handle == nullptr || param == nullptr) return -1;
    const std::string path = param->config_path ? param->config_path : "";
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mu);
        r.have_param = true;
        r.last_param = *param;
        r.last_path = path;
    }
    EvkConfig config;
    if (param->binary_config != 0) {
        std::fprintf(stderr, "telmora_evk_sdk: %s: binary configuration files are not supported\n",
                     path.c_str());
        return -1;
    }
    if (!path.empty()) {
        std::string error;
        if (!Telmora::evk::loadConfig(path, config, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return -1;
        }
    }
    if (config.fail_open) return -1;
    EvkCamera* cam = new EvkCamera(config);
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mu);
        r.cameras.insert(cam);
    }
    *handle = cam;
    return 0;
}

int TelmoraInitCamera(TelmoraHandle handle) {
    count("TelmoraInitCamera");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->init() : -1;
}

int TelmoraGetCameraConfig(TelmoraHandle handle, TelmoraCameraConfig* config) {
    count("TelmoraGetCameraConfig");
    EvkCamera* cam = lookup(handle);
    if (cam == nullptr || config == nullptr) return -1;
    cam->getConfig(config);
    return 0;
}

int TelmoraStartCamera(TelmoraHandle handle) {
    count("TelmoraStartCamera");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->start() : -1;
}

int TelmoraCaptureImage(TelmoraHandle handle, TelmoraImage* image, uint32_t timeout_ms) {
    count("TelmoraCaptureImage");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->capture(image, timeout_ms) : -1;
}

int TelmoraFreeImage(TelmoraHandle handle, TelmoraImage image) {
    count("TelmoraFreeImage");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->freeImage(image) : -1;
}

int TelmoraStopCamera(TelmoraHandle handle) {
    count("TelmoraStopCamera");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->stop() : -1;
}

int TelmoraCloseCamera(TelmoraHandle handle) {
    count("TelmoraCloseCamera");
    EvkCamera* cam = static_cast<EvkCamera*>(handle);
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mu);
        if (r.cameras.erase(cam) == 0) return -1;
    }
    delete cam;
    return 0;
}

int TelmoraWriteSensorReg(TelmoraHandle handle, uint32_t reg, uint32_t value) {
    count("TelmoraWriteSensorReg");
    EvkCamera* cam = lookup(handle);
    return cam ? cam->writeRegister(reg, value) : -1;
}

unsigned TelmoraSimHeldImages(void) { return Telmora::evk::g_held_images.load(); }

unsigned TelmoraSimCallCount(const char* name) {
    if (name == nullptr) return 0;
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    auto it = r.calls.find(name);
    return it == r.calls.end() ? 0 : it->second;
}

size_t TelmoraSimRegisterLog(TelmoraHandle handle, uint32_t* regs, uint32_t* values, size_t max) {
    EvkCamera* cam = lookup(handle);
    return cam ? cam->registerLog(regs, values, max) : 0;
}

int TelmoraSimRangeMode(TelmoraHandle handle) {
    EvkCamera* cam = lookup(handle);
    return cam ? cam->rangeModeMm() : -1;
}

int TelmoraSimGroundTruth(TelmoraHandle handle, uint64_t capture, float* distance_mm,
                          float* amplitude) {
    EvkCamera* cam = lookup(handle);
    return cam && cam->groundTruth(capture, distance_mm, amplitude) ? 0 : -1;
}

int64_t TelmoraSimCaptureOfTimestamp(TelmoraHandle handle, uint64_t timestamp) {
    EvkCamera* cam = lookup(handle);
    return cam ? cam->captureOfTimestamp(timestamp) : -1;
}

int TelmoraSimLastOpenParam(TelmoraOpenParam* param, char* path, size_t path_size) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mu);
    if (!r.have_param) return -1;
    if (param) *param = r.last_param;
    if (path && path_size > 0) {
        const size_t n = std::min(r.last_path.size(), path_size - 1);
        std::memcpy(path, r.last_path.data(), n);
        path[n] = '\0';
    }
    return 0;
}

}  // extern "C"
