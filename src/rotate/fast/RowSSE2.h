// One run with SSE2: four source offsets at a time, pixels copied one by
// one. The SSE2 kernel's rows, and the AVX2 kernel's rows too short for it;
// internal linkage, as Runs.h explains.
#pragma once

#include <emmintrin.h>

#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {
namespace {

inline void RowSSE2(const PixelRun& r, const Source& src) {
    if (r.guarded) return CopyOneByOne(r, src, 0);
    const __m128d ys = _mm_set1_pd(r.ys), yc = _mm_set1_pd(r.yc);
    const __m128d halfW = _mm_set1_pd(r.halfW), halfH = _mm_set1_pd(r.halfH);
    const __m128i stride = _mm_set1_epi32(static_cast<int32_t>(src.stride));
    alignas(16) uint32_t offset[4];
    const uint32_t last = r.count - 1;
    uint32_t k = 0;
    for (; k + 4 <= last; k += 4) {
        const __m128d x0 = _mm_add_pd(_mm_sub_pd(_mm_loadu_pd(r.xc + k), ys), halfW);
        const __m128d x1 = _mm_add_pd(_mm_sub_pd(_mm_loadu_pd(r.xc + k + 2), ys), halfW);
        const __m128d y0 = _mm_add_pd(_mm_add_pd(yc, _mm_loadu_pd(r.xs + k)), halfH);
        const __m128d y1 = _mm_add_pd(_mm_add_pd(yc, _mm_loadu_pd(r.xs + k + 2)), halfH);
        const __m128i col = _mm_unpacklo_epi64(_mm_cvttpd_epi32(x0), _mm_cvttpd_epi32(x1));
        const __m128i row = _mm_unpacklo_epi64(_mm_cvttpd_epi32(y0), _mm_cvttpd_epi32(y1));
        // row * stride without SSE4.1: even and odd lanes as 64-bit products.
        const __m128i even = _mm_mul_epu32(row, stride);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(row, 32), stride);
        const __m128i rows = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, 0x08), _mm_shuffle_epi32(odd, 0x08));
        const __m128i cols = _mm_add_epi32(_mm_add_epi32(col, col), col);
        _mm_store_si128(reinterpret_cast<__m128i*>(offset), _mm_add_epi32(rows, cols));
        Put4x4(r, src, k, offset);
    }
    CopyOneByOne(r, src, k);
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
