// The HQVGA kernels for the baseline instruction set (SSE2 on x86-64, Advanced SIMD on
// aarch64, plain scalar code elsewhere) and the choice of the best variant at run time.
#include "device/device_hqvga_fast.hpp"

#define HQVGA_KERNEL_NS baseline
#include "device/hqvga_kernel.inc"
#undef HQVGA_KERNEL_NS

namespace Telmora {
namespace hqvga {

#if defined(__x86_64__)
// Built in device_hqvga_fast_avx2.cpp with 256-bit instructions and fused multiply-add; run
// only where the processor has both.
namespace avx2 {
size_t phase(const uint8_t* cache, size_t stride, size_t n, const PhaseParams& params,
             float* depth, float* amplitude, float* confidence);
void raw(const uint8_t* cache, uint8_t shift, int16_t* out);
}  // namespace avx2
#endif

namespace {

#if defined(__x86_64__)
constexpr const char* kBaselineName = "sse2";
#elif defined(__aarch64__)
constexpr const char* kBaselineName = "neon";
#else
constexpr const char* kBaselineName = "generic";
#endif

struct KernelTable {
    Kernels entries[2];
    size_t count = 0;
};

KernelTable detect()
{
    KernelTable t;
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        t.entries[t.count++] = Kernels{"avx2", avx2::phase, avx2::raw};
    }
#endif
    t.entries[t.count++] = Kernels{kBaselineName, baseline::phase, baseline::raw};
    return t;
}

const KernelTable& table()
{
    static const KernelTable t = detect();
    return t;
}

}  // namespace

const Kernels* fastKernels(size_t* count)
{
    *count = table().count;
    return table().entries;
}

const Kernels& bestKernels() { return table().entries[0]; }

}  // namespace hqvga
}  // namespace Telmora
