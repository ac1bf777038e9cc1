// SSE2 kernel: four source offsets at a time, pixels copied one by one; and
// its tiles streamed out 16 bytes at a time.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/RowSSE2.h"
#include "rotate/fast/Stream.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {

void RunSSE2(const RunBlock& b, const Source& src) {
    if (src.longStretches && src.unitSteps) return StretchRows(b, src, CopyStretchOneByOne);
    for (uint32_t row = 0; row < b.rows; ++row) RowSSE2(RowOf(b, row), src);
}

void StreamSSE2(uint8_t* to, const uint8_t* from, size_t bytes) {
    StreamLines(to, from, bytes, [](uint8_t* line, const uint8_t* in) {
        for (int q = 0; q < 4; ++q)
            _mm_stream_si128(reinterpret_cast<__m128i*>(line) + q,
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(in) + q));
    });
}

void FenceSSE2() { _mm_sfence(); }

}  // namespace fast
}  // namespace vintrel
