// AVX2 kernel: eight source offsets at a time; near 90 degrees, 8x8 blocks
// turned in registers; near 180 degrees, stretches turned round by byte
// shuffles. The only file built with -mavx2, and run only on
// processors that have it.
#include <immintrin.h>

#include "rotate/fast/Blocks8.h"
#include "rotate/fast/Kernels.h"
#include "rotate/fast/RowSSE2.h"
#include "rotate/fast/Stream.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {
namespace {

// Canvas rows a few rows on read source lines that no row before them did,
// in an order no hardware prefetcher follows: ask for each pixel's line now
// (a hint only: nothing depends on its exactness). Near 90 degrees each
// pixel of a tile row lies on its own source row, so every pixel is asked
// for; where the source row moves slowly (src.sparse) every other pixel's
// line is enough, and fewer hints cost less (doc/performance.md).
inline void Prefetch(const Source& src, __m256i offset, int every) {
    alignas(32) uint32_t soon[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(soon),
                       _mm256_min_epu32(_mm256_add_epi32(offset, _mm256_set1_epi32(static_cast<int32_t>(src.ahead))),
                                        _mm256_set1_epi32(static_cast<int32_t>(src.lastOffset))));
    for (int q = 0; q < 8; q += every) _mm_prefetch(reinterpret_cast<const char*>(src.pixels + soon[q]), _MM_HINT_T0);
}
inline void Prefetch8(const Source& src, __m256i offset) { Prefetch(src, offset, 1); }

// 24 bytes in the low 12 of each lane from eight 4-byte pixels.
inline __m256i Pack8(__m256i pixels) {
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm256_shuffle_epi8(pixels, pack);
}

// 24 packed bytes at `out`; unless `exact`, 4 more that a later store of
// the same row rewrites (so at least 2 more pixels of the row follow).
inline void Store8(uint8_t* out, __m256i pixels, bool exact) {
    const __m128i high = _mm256_extracti128_si256(pixels, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(pixels));
    if (!exact) return _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
    const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(high, 8)));
    std::memcpy(out + 20, &tail, 4);
}

// The formula's truncated source x and y of four pixels, operation for
// operation: (xd*c - yd*s) + halfW and (yd*c + xd*s) + halfH.
inline __m128i TruncX(__m256d xc, __m256d ys, __m256d halfW) {
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_sub_pd(xc, ys), halfW));
}
inline __m128i TruncY(__m256d yc, __m256d xs, __m256d halfH) {
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_add_pd(yc, xs), halfH));
}

struct AVX2 {
    using Offsets = __m256i;

    // Source offsets of the eight pixels from column k on.
    static Offsets Offsets8(const PixelRun& r, const Source& src, uint32_t k) {
        const __m256d ys = _mm256_set1_pd(r.ys), yc = _mm256_set1_pd(r.yc);
        const __m256d halfW = _mm256_set1_pd(r.halfW), halfH = _mm256_set1_pd(r.halfH);
        const __m256i col = _mm256_set_m128i(TruncX(_mm256_loadu_pd(r.xc + k + 4), ys, halfW),
                                             TruncX(_mm256_loadu_pd(r.xc + k), ys, halfW));
        const __m256i row = _mm256_set_m128i(TruncY(yc, _mm256_loadu_pd(r.xs + k + 4), halfH),
                                             TruncY(yc, _mm256_loadu_pd(r.xs + k), halfH));
        const __m256i cols = _mm256_add_epi32(_mm256_add_epi32(col, col), col);
        return _mm256_add_epi32(_mm256_mullo_epi32(row, _mm256_set1_epi32(static_cast<int32_t>(src.stride))), cols);
    }

    static bool ReadsRuns(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, Offsets& low,
                          int32_t& step) {
        const PixelRun& r = b.first;
        const __m256d halfW = _mm256_set1_pd(r.halfW), halfH = _mm256_set1_pd(r.halfH);
        // x of the block's first and last columns in each of its rows.
        const __m256d ys0 = _mm256_loadu_pd(b.ys + row0), ys1 = _mm256_loadu_pd(b.ys + row0 + 4);
        const auto x = [&](double xc) {
            const __m256d at = _mm256_set1_pd(xc);
            return _mm256_set_m128i(TruncX(at, ys1, halfW), TruncX(at, ys0, halfW));
        };
        // y of its first and last rows in each of its columns.
        const __m256d xs0 = _mm256_loadu_pd(r.xs + k), xs1 = _mm256_loadu_pd(r.xs + k + 4);
        const auto y = [&](double yc) {
            const __m256d at = _mm256_set1_pd(yc);
            return _mm256_set_m128i(TruncY(at, xs1, halfH), TruncY(at, xs0, halfH));
        };
        const __m256i first = x(r.xc[k]), last = x(r.xc[k + 7]);
        const __m256i top = y(b.yc[row0]), bottom = y(b.yc[row0 + 7]);
        const int32_t x0 = _mm256_cvtsi256_si32(first);
        const int32_t by = _mm256_extract_epi32(first, 1) - x0;
        if (by != 1 && by != -1) return false;
        const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        const __m256i stepped = by > 0 ? _mm256_add_epi32(_mm256_set1_epi32(x0), lanes)
                                       : _mm256_sub_epi32(_mm256_set1_epi32(x0), lanes);
        const __m256i wrong = _mm256_or_si256(_mm256_or_si256(_mm256_xor_si256(first, last),
                                                              _mm256_xor_si256(first, stepped)),
                                              _mm256_xor_si256(top, bottom));
        if (!_mm256_testz_si256(wrong, wrong)) return false;
        step = 3 * by;
        const int32_t lowX = by > 0 ? x0 : x0 - 7;
        low = _mm256_add_epi32(_mm256_mullo_epi32(top, _mm256_set1_epi32(static_cast<int32_t>(src.stride))),
                               _mm256_set1_epi32(3 * lowX));
        return true;
    }

    // One 4-byte load and store per pixel: faster than a vector gather on the
    // processors measured.
    static void Copy8(uint8_t* out, const Source& src, Offsets offset, bool exact) {
        if (src.sparse)
            Prefetch(src, offset, 2);
        else
            Prefetch8(src, offset);
        alignas(32) uint32_t at[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(at), offset);
        PutPixels<8>(out, src, at, exact);
    }

    static void Turn8(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, Offsets runs, int32_t step,
                      bool exact) {
        // Column l's pixels lie at low[l], low[l] + 3, ... low[l] + 21.
        alignas(32) uint32_t low[8];
        _mm256_store_si256(reinterpret_cast<__m256i*>(low), runs);
        const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                                4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
        // The next strip's runs, ahead as Copy8's are (their other ends
        // measured no faster).
        Prefetch8(src, runs);
        __m256i v[8];
        for (int l = 0; l < 8; ++l) {
            // Exactly the run's 24 bytes: two 16-byte loads 8 bytes apart.
            const uint8_t* run = src.pixels + low[l];
            const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run));
            const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(run + 8));
            v[l] = _mm256_shuffle_epi8(_mm256_set_m128i(back, front), spread);
        }
        // Transposed: t[p] holds pixel p of every column.
        const __m256i a0 = _mm256_unpacklo_epi32(v[0], v[1]), a1 = _mm256_unpackhi_epi32(v[0], v[1]);
        const __m256i a2 = _mm256_unpacklo_epi32(v[2], v[3]), a3 = _mm256_unpackhi_epi32(v[2], v[3]);
        const __m256i a4 = _mm256_unpacklo_epi32(v[4], v[5]), a5 = _mm256_unpackhi_epi32(v[4], v[5]);
        const __m256i a6 = _mm256_unpacklo_epi32(v[6], v[7]), a7 = _mm256_unpackhi_epi32(v[6], v[7]);
        const __m256i b0 = _mm256_unpacklo_epi64(a0, a2), b1 = _mm256_unpackhi_epi64(a0, a2);
        const __m256i b2 = _mm256_unpacklo_epi64(a1, a3), b3 = _mm256_unpackhi_epi64(a1, a3);
        const __m256i b4 = _mm256_unpacklo_epi64(a4, a6), b5 = _mm256_unpackhi_epi64(a4, a6);
        const __m256i b6 = _mm256_unpacklo_epi64(a5, a7), b7 = _mm256_unpackhi_epi64(a5, a7);
        const __m256i t[8] = {_mm256_permute2x128_si256(b0, b4, 0x20), _mm256_permute2x128_si256(b1, b5, 0x20),
                              _mm256_permute2x128_si256(b2, b6, 0x20), _mm256_permute2x128_si256(b3, b7, 0x20),
                              _mm256_permute2x128_si256(b0, b4, 0x31), _mm256_permute2x128_si256(b1, b5, 0x31),
                              _mm256_permute2x128_si256(b2, b6, 0x31), _mm256_permute2x128_si256(b3, b7, 0x31)};
        for (uint32_t q = 0; q < 8; ++q)
            Store8(RowOf(b, row0 + q).out + 3u * k, Pack8(t[step > 0 ? q : 7 - q]), exact);
    }

    static void Row(const PixelRun& r, const Source& src) {
        if (r.guarded || r.count < 8) return RowSSE2(r, src);
        for (uint32_t k = 0; k + 8 < r.count; k += 8) Copy8(r.out + 3u * k, src, Offsets8(r, src, k), false);
        // Then the last eight exactly, over pixels already done where they
        // overlap (with the same bytes).
        Copy8(r.out + 3u * (r.count - 8), src, Offsets8(r, src, r.count - 8), true);
    }
};

}  // namespace

void RunAVX2(const RunBlock& b, const Source& src) { RunBlocks8<AVX2>(b, src); }

void CopyStretchAVX2(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    if (!src.falling) return CopyStretchOneByOne(out, src, from, count);
    // Pixel j of the window (bytes 1 + 3j on) to 12 - 3j by one byte shuffle.
    TurnByFives(out, src, from, count, [](uint8_t* to, const uint8_t* window) {
        const __m128i turn = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, 0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(window)), turn));
    });
}

// 32-byte stores: fewer than StreamSSE2's, so a little faster
// (doc/performance.md).
void StreamAVX2(uint8_t* to, const uint8_t* from, size_t bytes) {
    StreamLines(to, from, bytes, [](uint8_t* line, const uint8_t* in) {
        for (int q = 0; q < 2; ++q)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(line) + q,
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in) + q));
    });
}

}  // namespace fast
}  // namespace vintrel
