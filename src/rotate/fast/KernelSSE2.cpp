// SSE2 kernel: four source offsets at a time, pixels copied one by one; and
// its tiles streamed out 16 bytes at a time.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/RowSSE2.h"
#include "rotate/fast/Stream.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {

void RunSSE2(const RunBlock& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) RowSSE2(RowOf(b, row), src);
}

void CopyStretchSSE2(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    if (!src.falling) return CopyStretchOneByOne(out, src, from, count);
    // Pixel j of the window (bytes 1 + 3j on) to 12 - 3j, by whole-register
    // byte shifts: SSE2 has no byte shuffle.
    TurnByFives(out, src, from, count, [](uint8_t* to, const uint8_t* window) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(window));
        const auto bytes = [](int first) {  // a mask of bytes first to first + 2
            alignas(16) int8_t m[16] = {};
            for (int q = first; q < first + 3; ++q) m[q] = -1;
            return _mm_load_si128(reinterpret_cast<const __m128i*>(m));
        };
        const __m128i turned = _mm_or_si128(
            _mm_or_si128(_mm_srli_si128(w, 13), _mm_and_si128(_mm_srli_si128(w, 7), bytes(3))),
            _mm_or_si128(_mm_and_si128(_mm_srli_si128(w, 1), bytes(6)),
                         _mm_or_si128(_mm_and_si128(_mm_slli_si128(w, 5), bytes(9)),
                                      _mm_and_si128(_mm_slli_si128(w, 11), bytes(12)))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to), turned);
    });
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
