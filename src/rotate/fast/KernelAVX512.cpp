// AVX-512 kernel (F, BW, VL, VBMI, with BMI2): near 0 and 180 degrees,
// where a canvas row reads long stretches of consecutive source pixels
// (Stretches.h), each stretch is copied as memory is copied, 64 bytes at a
// time, or turned round 16 pixels at a time where x falls; masked loads and
// stores read and write exactly the stretch's bytes. Where x may step by
// other than one pixel, x is checked at every column, 16 at a time. At
// other angles the AVX2 kernel serves. The only file built with these flags,
// and run only on processors that have them.
#include <immintrin.h>

#include "rotate/fast/Kernels.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {
namespace {

inline __m256i TruncX8(const double* xc, __mmask8 lanes, __m512d ys, __m512d halfW) {
    return _mm512_cvttpd_epi32(_mm512_add_pd(_mm512_sub_pd(_mm512_maskz_loadu_pd(lanes, xc), ys), halfW));
}

// Source bytes at a signed offset from the picture's start, which a masked
// load may begin before or run past: it touches only its masked bytes.
inline const void* At(const Source& src, int64_t offset) {
    return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(src.pixels) +
                                         static_cast<uintptr_t>(static_cast<intptr_t>(offset)));
}

struct AVX512 {
    // The last column of [k, last] up to which x moves by one pixel per
    // column from x0, checked at every column.
    static uint32_t CheckX(const PixelRun& r, const Source& src, uint32_t k, uint32_t last, int32_t x0) {
        const __m512d ys = _mm512_set1_pd(r.ys), halfW = _mm512_set1_pd(r.halfW);
        const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        const int32_t way = src.falling ? -1 : 1;
        for (uint32_t q = k + 1; q <= last; q += 16) {
            const uint32_t n = last - q + 1 < 16 ? last - q + 1 : 16;
            const __mmask16 lanes = static_cast<__mmask16>((1u << n) - 1u);
            const __mmask8 low = static_cast<__mmask8>(lanes), high = static_cast<__mmask8>(lanes >> 8);
            const __m512i col = _mm512_inserti64x4(_mm512_castsi256_si512(TruncX8(r.xc + q, low, ys, halfW)),
                                                   TruncX8(r.xc + q + 8, high, ys, halfW), 1);
            const __m512i at = _mm512_set1_epi32(x0 + way * static_cast<int32_t>(q - k));
            const __m512i expected = src.falling ? _mm512_sub_epi32(at, lane) : _mm512_add_epi32(at, lane);
            const __mmask16 wrong = _mm512_mask_cmpneq_epi32_mask(lanes, col, expected);
            if (wrong != 0) return q + static_cast<uint32_t>(__builtin_ctz(wrong)) - 1u;
        }
        return last;
    }

    // count consecutive source pixels from `from` to `out`, as memory is
    // copied, or turned round where x falls; exactly their bytes are read.
    static void CopyStretch(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
        if (!src.falling) {
            const uint8_t* in = src.pixels + from;
            size_t bytes = 3u * static_cast<size_t>(count);
            for (; bytes >= 64; bytes -= 64, in += 64, out += 64)
                _mm512_storeu_si512(out, _mm512_loadu_si512(in));
            const __mmask64 tail = _bzhi_u64(~0ull, static_cast<uint32_t>(bytes));
            return _mm512_mask_storeu_epi8(out, tail, _mm512_maskz_loadu_epi8(tail, in));
        }
        // Output pixel l from pixel 15 - l.
        const __m512i turn = _mm512_set_epi8(
                0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17,  //
                16, 15, 20, 19, 18, 23, 22, 21, 26, 25, 24, 29, 28, 27, 32, 31,  //
                30, 35, 34, 33, 38, 37, 36, 41, 40, 39, 44, 43, 42, 47, 46, 45);
        // Sixteen pixels at a time from the stretch's right end; the last
        // n < 16 as the top n of a load that begins before them.
        uint32_t done = 0;
        for (; count - done >= 16; done += 16, out += 48) {
            const uint8_t* in = src.pixels + from + 3u * (count - done - 16);
            _mm512_mask_storeu_epi8(out, 0xFFFFFFFFFFFFull,
                                    _mm512_permutexvar_epi8(turn, _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFull, in)));
        }
        const uint32_t n = count - done;
        if (n == 0) return;
        const __mmask64 top = _bzhi_u64(~0ull, 48) & ~_bzhi_u64(~0ull, 3u * (16u - n));
        const __m512i pixels = _mm512_maskz_loadu_epi8(top, At(src, int64_t{from} - 3 * int64_t{16u - n}));
        _mm512_mask_storeu_epi8(out, _bzhi_u64(~0ull, 3u * n), _mm512_permutexvar_epi8(turn, pixels));
    }
};

}  // namespace

void RunAVX512(const RunBlock& b, const Source& src) {
    // Elsewhere the AVX2 kernel's own code: built with these flags, the same
    // steps ran 10 to 20% slower.
    if (!src.longStretches) return RunAVX2(b, src);
    StretchRows(b, src, AVX512::CopyStretch, AVX512::CheckX);
}

}  // namespace fast
}  // namespace vintrel
