// Board detection from the device-tree model file, whatever bytes it holds.
#include "camera/board_detection.hpp"
#include "fake_kernel.hpp"
#include "fuzz_support.hpp"

using namespace Telmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sim::FakeKernel& k = sim::FakeKernel::instance();
    k.reset();
    k.file("/sys/firmware/devicetree/base/model", fuzz::text(data, size));
    const Platform p = detectPlatform();
    FUZZ_CHECK(p == PLATFORM_UNKNOWN || p == PLATFORM_JETSON_NANO || p == PLATFORM_JETSON ||
               p == PLATFORM_RASPBERRY_PI || p == PLATFORM_RASPBERRY_PI_5 || p == PLATFORM_RADXA_ROCK);
    // The same text as a plain string must give the same board when it fits the line read.
    const std::string model = fuzz::cString(data, size);
    if (model.size() < 100 && model.find('\n') == std::string::npos)
        FUZZ_CHECK(platformFromModel(model.c_str()) == p);
    FUZZ_CHECK(k.openDescriptors() == 0);
    return 0;
}
