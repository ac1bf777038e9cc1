// AVX-512 kernel (F, BW, VL, VBMI, with BMI2): near 0 and 180 degrees,
// where a canvas row reads long stretches of consecutive source pixels
// (Stretches.h), each stretch is copied as memory is copied, 64 bytes at a
// time, or turned round 16 pixels at a time where x falls; masked loads and
// stores read and write exactly the stretch's bytes. At other angles the
// AVX2 kernel's blocks serve: built with these flags the same steps ran
// slower, and 16-lane gathers slower still. The only file built with these
// flags, and run only on processors that have them.
#include <immintrin.h>

#include "rotate/fast/Kernels.h"

namespace vintrel {
namespace fast {
namespace {

// Source bytes at a signed offset from the picture's start, which a masked
// load may begin before or run past: it touches only its masked bytes.
inline const void* At(const Source& src, int64_t offset) {
    return reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(src.pixels) +
                                         static_cast<uintptr_t>(static_cast<intptr_t>(offset)));
}

}  // namespace

void CopyStretchAVX512(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    if (!src.falling) {
        const uint8_t* in = src.pixels + from;
        size_t bytes = 3u * static_cast<size_t>(count);
        for (; bytes >= 64; bytes -= 64, in += 64, out += 64) _mm512_storeu_si512(out, _mm512_loadu_si512(in));
        const __mmask64 tail = _bzhi_u64(~0ull, static_cast<uint32_t>(bytes));
        return _mm512_mask_storeu_epi8(out, tail, _mm512_maskz_loadu_epi8(tail, in));
    }
    // Output pixel l from pixel 15 - l.
    const __m512i turn = _mm512_set_epi8(
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                //
        2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 17,          //
        16, 15, 20, 19, 18, 23, 22, 21, 26, 25, 24, 29, 28, 27, 32, 31,  //
        30, 35, 34, 33, 38, 37, 36, 41, 40, 39, 44, 43, 42, 47, 46, 45);
    // Sixteen pixels at a time from the stretch's right end; the last n < 16
    // as the top n of a load that begins before them.
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

}  // namespace fast
}  // namespace vintrel
