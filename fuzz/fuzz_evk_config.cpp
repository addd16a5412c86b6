// The software camera's configuration file: any text either parses into values inside the
// documented ranges or is refused with one error line.
#include "evk/evk_config.hpp"
#include "fuzz_support.hpp"

using namespace Telmora::evk;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    EvkConfig config;
    std::string error;
    if (parseConfig(fuzz::text(data, size), "fuzz.cfg", config, error)) {
        FUZZ_CHECK(error.empty());
        FUZZ_CHECK(config.width >= 1 && config.width <= 4096);
        FUZZ_CHECK(config.height >= 1 && config.height <= 4096);
        FUZZ_CHECK(config.bits >= 8 && config.bits <= 16);
        FUZZ_CHECK(config.fps <= 1000);
    } else {
        FUZZ_CHECK(error.rfind("telmora_evk_sdk: fuzz.cfg:", 0) == 0);
        FUZZ_CHECK(error.find('\n') == std::string::npos);
    }
    return 0;
}
