// The nine SiSDK entry points over DepthEngine instances.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "algorithm_config.hpp"
#include "depth_engine.hpp"
#include "si4c.h"

namespace {

struct Instance {
    si4c::DepthEngine engine;
    std::atomic<bool> single{true};  // switched from control threads while frames run
    std::string config_dir;
};

// Live instances: a handle that is not here is refused rather than dereferenced.
std::mutex g_registry_mutex;
std::vector<Instance*> g_registry;

Instance* find(void* handle, const char* call)
{
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        auto it = std::find(g_registry.begin(), g_registry.end(), handle);
        if (it != g_registry.end()) return *it;
    }
    std::fprintf(stderr, "si4c: %s: unknown handle %p\n", call, handle);
    return nullptr;
}

bool supportedSize(int width, int height)
{
    return (width == 640 && height == 480) || (width == 320 && height == 240);
}

bool loadConfig(const Instance& inst, si4c::AlgorithmConfig& config)
{
    if (inst.config_dir.empty()) {
        si4c::loadAlgorithmConfig("ConfigAlgorithm.json", config);  // defaults when absent
        return true;
    }
    const std::string path = inst.config_dir + "/ConfigAlgorithm.json";
    if (si4c::loadAlgorithmConfig(path.c_str(), config)) return true;
    std::fprintf(stderr, "si4c: cannot read %s\n", path.c_str());
    return false;
}

}  // namespace

extern "C" {

SI4C_API bool SiSDKCreate(void** handle)
{
    if (handle == nullptr) return false;
    Instance* inst = new (std::nothrow) Instance;
    if (inst == nullptr) return false;
    try {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        g_registry.push_back(inst);
    } catch (const std::bad_alloc&) {
        delete inst;
        return false;
    }
    *handle = inst;
    return true;
}

SI4C_API bool SiSDKInit(void* handle, int width, int height)
{
    Instance* inst = find(handle, "SiSDKInit");
    if (inst == nullptr || !supportedSize(width, height)) return false;
    try {
        inst->engine.init(width, height);
        inst->config_dir.clear();
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

SI4C_API bool SiSDKSetCaliData(void* handle, const void* data, uint32_t size)
{
    Instance* inst = find(handle, "SiSDKSetCaliData");
    if (inst == nullptr || !inst->engine.initialised()) return false;
    const char* error = inst->engine.setCalibration(data, size);
    if (error == nullptr) return true;
    std::fprintf(stderr, "si4c: calibration ignored: %s\n", error);
    return false;
}

SI4C_API bool SiSDKSetConfig(void* handle, const char* dir)
{
    Instance* inst = find(handle, "SiSDKSetConfig");
    if (inst == nullptr) return false;
    try {
        inst->config_dir = dir != nullptr ? dir : "";
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

SI4C_API bool SiSDKStart(void* handle)
{
    Instance* inst = find(handle, "SiSDKStart");
    if (inst == nullptr || !inst->engine.initialised()) return false;
    si4c::AlgorithmConfig config;
    if (!loadConfig(*inst, config)) return false;
    inst->engine.start(config, !inst->single.load(std::memory_order_relaxed));
    return true;
}

SI4C_API bool SiSDKIsSingleFreq(void* handle)
{
    Instance* inst = find(handle, "SiSDKIsSingleFreq");
    return inst == nullptr || inst->single.load(std::memory_order_relaxed);
}

SI4C_API bool SiSDKSetSingleFreq(void* handle, bool single)
{
    Instance* inst = find(handle, "SiSDKSetSingleFreq");
    if (inst == nullptr) return false;
    inst->single.store(single, std::memory_order_relaxed);
    return true;
}

SI4C_API bool SiSDKGetPhaseImage(void* handle, const uint8_t* raw, float* depth, float* amplitude,
                                 float* confidence)
{
    Instance* inst = find(handle, "SiSDKGetPhaseImage");
    if (inst == nullptr || raw == nullptr || depth == nullptr || amplitude == nullptr ||
        confidence == nullptr || (reinterpret_cast<uintptr_t>(raw) & 1u) != 0)
        return false;
    return inst->engine.process(reinterpret_cast<const si4c::RawWord*>(raw), depth, amplitude,
                                confidence);
}

SI4C_API bool SiSDKDestroy(void** handle)
{
    if (handle == nullptr || *handle == nullptr) return false;
    Instance* inst = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_registry_mutex);
        auto it = std::find(g_registry.begin(), g_registry.end(), *handle);
        if (it != g_registry.end()) {
            inst = *it;
            g_registry.erase(it);
        }
    }
    if (inst == nullptr) {
        std::fprintf(stderr, "si4c: SiSDKDestroy: unknown handle %p\n", *handle);
        return false;
    }
    delete inst;
    *handle = nullptr;
    return true;
}

}  // extern "C"
