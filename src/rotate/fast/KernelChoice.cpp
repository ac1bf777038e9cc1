// Which kernels this build has (the build defines VINTREL_KERNEL_<NAME> for
// each kernel file it compiles in), which this processor can run, and the
// fastest of them.
#include "rotate/fast/Kernels.h"

namespace vintrel {
namespace {

bool Always() { return true; }

#if VINTREL_KERNEL_AVX512
bool ProcessorHasAVX512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
           __builtin_cpu_supports("bmi2");
}
#endif

#if VINTREL_KERNEL_AVX2
bool ProcessorHasAVX2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

struct Kernel {
    RotateKernel kernel;
    fast::BlockFn run;
    fast::StretchCopy copy;
    bool (*usable)();
    const fast::Streaming* streaming;
};

#if VINTREL_KERNEL_SSE2
constexpr fast::Streaming kSSE2Streaming{fast::StreamSSE2, fast::FenceSSE2};
#endif
#if VINTREL_KERNEL_AVX2
constexpr fast::Streaming kAVX2Streaming{fast::StreamAVX2, fast::FenceSSE2};
#endif

// Fastest first; the scalar kernel last, everywhere. The AVX-512 kernel
// copies stretches only, and turns blocks with the AVX2 kernel's code.
constexpr Kernel kBuilt[] = {
#if VINTREL_KERNEL_AVX512
    {RotateKernel::AVX512, fast::RunAVX2, fast::CopyStretchAVX512, ProcessorHasAVX512, &kAVX2Streaming},
#endif
#if VINTREL_KERNEL_AVX2
    {RotateKernel::AVX2, fast::RunAVX2, fast::CopyStretchAVX2, ProcessorHasAVX2, &kAVX2Streaming},
#endif
#if VINTREL_KERNEL_SSE2
    {RotateKernel::SSE2, fast::RunSSE2, fast::CopyStretchSSE2, Always, &kSSE2Streaming},
#endif
#if VINTREL_KERNEL_NEON
    {RotateKernel::NEON, fast::RunNEON, fast::CopyStretchNEON, Always, nullptr},
#endif
    {RotateKernel::Scalar, fast::RunScalar, fast::CopyStretchScalar, Always, nullptr},
};

const Kernel* Built(RotateKernel kernel) {
    for (const Kernel& k : kBuilt)
        if (k.kernel == kernel) return &k;
    return nullptr;
}

}  // namespace

const char* RotateKernelName(RotateKernel kernel) {
    switch (kernel) {
        case RotateKernel::Scalar:
            return "Scalar";
        case RotateKernel::SSE2:
            return "SSE2";
        case RotateKernel::AVX2:
            return "AVX2";
        case RotateKernel::NEON:
            return "NEON";
        case RotateKernel::AVX512:
            return "AVX512";
    }
    return "Unknown";
}

bool KernelBuilt(RotateKernel kernel) { return Built(kernel) != nullptr; }

bool KernelAvailable(RotateKernel kernel) {
    const Kernel* k = Built(kernel);
    return k != nullptr && k->usable();
}

RotateKernel BestKernel() {
    for (const Kernel& k : kBuilt)
        if (k.usable()) return k.kernel;
    return RotateKernel::Scalar;
}

fast::BlockFn fast::BlockFnFor(RotateKernel kernel) {
    const Kernel* k = Built(kernel);
    return k != nullptr ? k->run : RunScalar;
}

fast::StretchCopy fast::StretchCopyFor(RotateKernel kernel) {
    const Kernel* k = Built(kernel);
    return k != nullptr ? k->copy : CopyStretchScalar;
}

const fast::Streaming* fast::StreamingFor(RotateKernel kernel) {
    const Kernel* k = Built(kernel);
    return k != nullptr ? k->streaming : nullptr;
}

}  // namespace vintrel
