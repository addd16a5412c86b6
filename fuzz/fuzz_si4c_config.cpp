// The depth library's ConfigAlgorithm.json, read from a file as the library does (an
// in-memory file, so that millions of runs touch no disk).
#include <sys/mman.h>
#include <unistd.h>

#include "algorithm_config.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const int fd = memfd_create("ConfigAlgorithm.json", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    FUZZ_CHECK(fd >= 0 && ftruncate(fd, 0) == 0);
    FUZZ_CHECK(pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    si4c::AlgorithmConfig config;
    FUZZ_CHECK(si4c::loadAlgorithmConfig(path.c_str(), config));
    for (int level : {config.spatial_depth, config.temporal_depth, config.spatial_gray, config.temporal_gray})
        FUZZ_CHECK(level >= 0 && level <= si4c::kMaxDenoiseLevel);
    return 0;
}
