#include "rotate/RotateFast.h"

#include <cstring>

#if defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__))
#define VINTREL_SSE2 1
#include <emmintrin.h>
// 256-bit code on Windows needs 32-byte stack alignment that MinGW's compiler
// does not keep, unless its assembler makes the spills unaligned (the build
// says so). On 32-bit x86 too: with eight vector registers it spills more,
// yet its blocks near 90 degrees still take half the time of the SSE2 rows.
#if (!defined(_WIN32) || defined(VINTREL_UNALIGNED_SPILLS)) && (defined(__GNUC__) || defined(__clang__))
#define VINTREL_AVX2 1
#include <immintrin.h>
#endif
#endif
#if defined(__aarch64__)
#define VINTREL_NEON 1
#include <arm_neon.h>
#endif

namespace vintrel {
namespace {

// Columns per chunk at most: bounds the column tables (2 x 16 KiB on the
// stack); and rows per band.
constexpr uint32_t kMaxColumns = 2048;
constexpr uint32_t kMaxRows = 64;
constexpr double kPrefetchRows = 8;

struct Source {
    const uint8_t* pixels;
    uint32_t stride;      // 3 * width; 3 * width * height fits in 32 bits
    uint32_t lastOffset;  // the one pixel a 4-byte load would overrun
    uint32_t ahead;       // about where a pixel's source lies a few canvas rows on
};

// One run of in-bounds canvas pixels: every source position it yields lies
// inside the picture, so its truncations are in range and need no test.
struct Run {
    const double* xc;  // xd * c from the run's first column on
    const double* xs;  // xd * s
    double ys, yc;     // yd * s and yd * c of the row
    double halfW, halfH;
    uint8_t* out;
    uint32_t count;  // at least 1
    bool guarded;    // may reach the source's last pixel: 3-byte loads only
};

// The same columns of consecutive canvas rows.
struct Block {
    Run first;
    const double* ys;  // of each row
    const double* yc;
    size_t stride;  // canvas bytes per row
    uint32_t rows;
};

inline Run RowOf(const Block& b, uint32_t row) {
    Run r = b.first;
    r.ys = b.ys[row];
    r.yc = b.yc[row];
    r.out += row * b.stride;
    return r;
}

// Columns [from, from + count) of one of the block's rows.
inline Run PartOf(const Block& b, uint32_t row, uint32_t from, uint32_t count) {
    Run r = RowOf(b, row);
    r.xc += from;
    r.xs += from;
    r.out += 3u * from;
    r.count = count;
    return r;
}

// A pixel with the next pixel's first byte, when both the source and the
// canvas have that byte: the next store rewrites it, so only the last pixel
// of a run, and runs that may read the source's last pixel, take 3 bytes.
inline void Put4(uint8_t* to, const uint8_t* from) {
    uint32_t v;
    std::memcpy(&v, from, 4);
    std::memcpy(to, &v, 4);
}

// See Prefetch8: a hint for a line that a later canvas row will read.
inline void Prefetch(const Source& src, uint32_t offset) {
    const uint32_t soon = offset + src.ahead;  // modulo 2^32, then kept inside
    __builtin_prefetch(src.pixels + (soon < src.lastOffset ? soon : src.lastOffset));
}

inline uint32_t OffsetAt(const Run& r, const Source& src, uint32_t k) {
    const double x = (r.xc[k] - r.ys) + r.halfW;
    const double y = (r.yc + r.xs[k]) + r.halfH;
    return static_cast<uint32_t>(static_cast<int32_t>(y)) * src.stride +
           static_cast<uint32_t>(static_cast<int32_t>(x)) * 3u;
}

// Pixels k to the end of the run, one at a time.
inline void Finish(const Run& r, const Source& src, uint32_t k) {
    const uint32_t last = r.count - 1;
    if (!r.guarded)
        for (; k < last; ++k) Put4(r.out + 3u * k, src.pixels + OffsetAt(r, src, k));
    for (; k <= last; ++k) std::memcpy(r.out + 3u * k, src.pixels + OffsetAt(r, src, k), 3);
}

// Pixels k to k + 3 of a run, from their source offsets.
inline void Put4x4(const Run& r, const Source& src, uint32_t k, const uint32_t* offset) {
    for (int q = 0; q < 4; ++q) Prefetch(src, offset[q]);
    uint8_t* out = r.out + 3u * k;
    Put4(out, src.pixels + offset[0]);
    Put4(out + 3, src.pixels + offset[1]);
    Put4(out + 6, src.pixels + offset[2]);
    Put4(out + 9, src.pixels + offset[3]);
}

void RunScalar(const Block& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) Finish(RowOf(b, row), src, 0);
}

#if VINTREL_SSE2
inline void RowSSE2(const Run& r, const Source& src) {
    if (r.guarded) return Finish(r, src, 0);
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
    Finish(r, src, k);
}

void RunSSE2(const Block& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) RowSSE2(RowOf(b, row), src);
}
#endif

#if VINTREL_AVX2
// Source offsets of the eight pixels from column k on.
__attribute__((target("avx2"))) inline __m256i Offsets8(const Run& r, const Source& src, uint32_t k) {
    const __m256d ys = _mm256_set1_pd(r.ys), yc = _mm256_set1_pd(r.yc);
    const __m256d halfW = _mm256_set1_pd(r.halfW), halfH = _mm256_set1_pd(r.halfH);
    const __m256d x0 = _mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(r.xc + k), ys), halfW);
    const __m256d x1 = _mm256_add_pd(_mm256_sub_pd(_mm256_loadu_pd(r.xc + k + 4), ys), halfW);
    const __m256d y0 = _mm256_add_pd(_mm256_add_pd(yc, _mm256_loadu_pd(r.xs + k)), halfH);
    const __m256d y1 = _mm256_add_pd(_mm256_add_pd(yc, _mm256_loadu_pd(r.xs + k + 4)), halfH);
    const __m256i col = _mm256_set_m128i(_mm256_cvttpd_epi32(x1), _mm256_cvttpd_epi32(x0));
    const __m256i row = _mm256_set_m128i(_mm256_cvttpd_epi32(y1), _mm256_cvttpd_epi32(y0));
    const __m256i cols = _mm256_add_epi32(_mm256_add_epi32(col, col), col);
    return _mm256_add_epi32(_mm256_mullo_epi32(row, _mm256_set1_epi32(static_cast<int32_t>(src.stride))), cols);
}

// 24 bytes in the low 12 of each lane from eight 4-byte pixels.
__attribute__((target("avx2"))) inline __m256i Pack8(__m256i pixels) {
    const __m256i pack = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    return _mm256_shuffle_epi8(pixels, pack);
}

// Canvas rows a few rows on read source lines that no row before them did,
// in an order no hardware prefetcher follows: ask for each pixel's line now
// (a hint only: nothing depends on its exactness). Every other pixel's was
// measurably slower near 90 degrees, where each pixel of a tile row lies on
// its own source row.
__attribute__((target("avx2"))) inline void Prefetch8(const Source& src, __m256i offset) {
    alignas(32) uint32_t soon[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(soon),
                       _mm256_min_epu32(_mm256_add_epi32(offset, _mm256_set1_epi32(static_cast<int32_t>(src.ahead))),
                                        _mm256_set1_epi32(static_cast<int32_t>(src.lastOffset))));
    for (int q = 0; q < 8; ++q) _mm_prefetch(reinterpret_cast<const char*>(src.pixels + soon[q]), _MM_HINT_T0);
}

// The eight pixels at `offset` to `out`, one 4-byte load and store each
// (faster than a vector gather on the processors measured): unless `exact`,
// the byte after them too, which a later store of the row rewrites.
__attribute__((target("avx2"))) inline void Copy8(uint8_t* out, const Source& src, __m256i offset, bool exact) {
    Prefetch8(src, offset);
    alignas(32) uint32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), offset);
    for (int q = 0; q < 7; ++q) Put4(out + 3 * q, src.pixels + at[q]);
    if (exact) return static_cast<void>(std::memcpy(out + 21, src.pixels + at[7], 3));
    Put4(out + 21, src.pixels + at[7]);
}

// 24 packed bytes at `out`; unless `exact`, 4 more that a later store of
// the same row rewrites (so at least 2 more pixels of the row follow).
__attribute__((target("avx2"))) inline void Store8(uint8_t* out, __m256i pixels, bool exact) {
    const __m128i high = _mm256_extracti128_si256(pixels, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(pixels));
    if (!exact) return _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12), high);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 12), high);
    const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(high, 8)));
    std::memcpy(out + 20, &tail, 4);
}

__attribute__((target("avx2"))) inline void RowAVX2(const Run& r, const Source& src) {
    if (r.guarded || r.count < 8) return RowSSE2(r, src);
    for (uint32_t k = 0; k + 8 < r.count; k += 8) Copy8(r.out + 3u * k, src, Offsets8(r, src, k), false);
    // Then the last eight exactly, over pixels already done where they
    // overlap (with the same bytes).
    Copy8(r.out + 3u * (r.count - 8), src, Offsets8(r, src, r.count - 8), true);
}

// Near 90 and 270 degrees the eight rows of a canvas column mostly read one
// run of eight neighbouring source pixels. Where every column of an 8x8
// block does (its offsets, computed as always, say so), the block is read as
// eight 24-byte runs and turned in registers instead of copied pixel by
// pixel; the bytes are the same either way. Rows row0 to row0 + 7, columns
// k to k + 7.
__attribute__((target("avx2"))) inline void Block8(const Block& b, const Source& src, uint32_t row0, uint32_t k,
                                                   bool exact) {
    __m256i offset[8];
    for (uint32_t q = 0; q < 8; ++q) offset[q] = Offsets8(RowOf(b, row0 + q), src, k);
    const int32_t step = _mm256_cvtsi256_si32(_mm256_sub_epi32(offset[1], offset[0]));
    bool runs = step == 3 || step == -3;
    if (runs) {
        const __m256i by = _mm256_set1_epi32(step);
        __m256i next = offset[0], wrong = _mm256_setzero_si256();
        for (int q = 1; q < 8; ++q) {
            next = _mm256_add_epi32(next, by);
            wrong = _mm256_or_si256(wrong, _mm256_xor_si256(next, offset[q]));
        }
        runs = _mm256_testz_si256(wrong, wrong) != 0;
    }
    if (!runs) {
        for (uint32_t q = 0; q < 8; ++q) Copy8(RowOf(b, row0 + q).out + 3u * k, src, offset[q], exact);
        return;
    }
    // Column l's pixels lie at low[l], low[l] + 3, ... low[l] + 21: the run
    // in row order when the step is +3, backwards when -3.
    alignas(32) uint32_t low[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(low), step > 0 ? offset[0] : offset[7]);
    const __m256i spread = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                            4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    // The next strip's runs, ahead as Copy8's are: both ends of each.
    Prefetch8(src, offset[0]);
    Prefetch8(src, offset[7]);
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

__attribute__((target("avx2"))) void RunAVX2(const Block& b, const Source& src) {
    uint32_t row = 0;
    if (!b.first.guarded && b.first.count >= 8) {
        const uint32_t columns = b.first.count & ~7u;
        for (; row + 8 <= b.rows; row += 8) {
            // The 4 bytes past a block belong to the row only if 2 pixels follow.
            for (uint32_t k = 0; k < columns; k += 8) Block8(b, src, row, k, b.first.count - k < 10);
            if (columns == b.first.count) continue;
            for (uint32_t q = 0; q < 8; ++q) RowSSE2(PartOf(b, row + q, columns, b.first.count - columns), src);
        }
    }
    for (; row < b.rows; ++row) RowAVX2(RowOf(b, row), src);
}
#endif

#if VINTREL_NEON
// Source offsets of the four pixels from column k on.
inline uint32x4_t Offsets4(const Run& r, const Source& src, uint32_t k) {
    const float64x2_t ys = vdupq_n_f64(r.ys), yc = vdupq_n_f64(r.yc);
    const float64x2_t halfW = vdupq_n_f64(r.halfW), halfH = vdupq_n_f64(r.halfH);
    const float64x2_t x0 = vaddq_f64(vsubq_f64(vld1q_f64(r.xc + k), ys), halfW);
    const float64x2_t x1 = vaddq_f64(vsubq_f64(vld1q_f64(r.xc + k + 2), ys), halfW);
    const float64x2_t y0 = vaddq_f64(vaddq_f64(yc, vld1q_f64(r.xs + k)), halfH);
    const float64x2_t y1 = vaddq_f64(vaddq_f64(yc, vld1q_f64(r.xs + k + 2)), halfH);
    const uint32x4_t col =
        vreinterpretq_u32_s32(vcombine_s32(vmovn_s64(vcvtq_s64_f64(x0)), vmovn_s64(vcvtq_s64_f64(x1))));
    const uint32x4_t row =
        vreinterpretq_u32_s32(vcombine_s32(vmovn_s64(vcvtq_s64_f64(y0)), vmovn_s64(vcvtq_s64_f64(y1))));
    return vmlaq_n_u32(vmulq_n_u32(col, 3u), row, src.stride);
}

inline void RowNEON(const Run& r, const Source& src) {
    if (r.guarded) return Finish(r, src, 0);
    uint32_t offset[4];
    const uint32_t last = r.count - 1;
    uint32_t k = 0;
    for (; k + 4 <= last; k += 4) {
        vst1q_u32(offset, Offsets4(r, src, k));
        Put4x4(r, src, k, offset);
    }
    Finish(r, src, k);
}

// As Block8 of the AVX2 kernel: where the computed offsets say that each
// column of the 8x8 block reads eight neighbouring source pixels, the block
// is loaded as eight runs split into their three bytes, each byte plane is
// transposed, and the rows are stored interleaved again (exactly 24 bytes).
inline void Block8NEON(const Block& b, const Source& src, uint32_t row0, uint32_t k) {
    uint32x4_t left[8], right[8];  // columns k to k + 3 and k + 4 to k + 7
    for (uint32_t q = 0; q < 8; ++q) {
        const Run r = RowOf(b, row0 + q);
        left[q] = Offsets4(r, src, k);
        right[q] = Offsets4(r, src, k + 4);
    }
    const int32_t step = static_cast<int32_t>(vgetq_lane_u32(left[1], 0) - vgetq_lane_u32(left[0], 0));
    bool runs = step == 3 || step == -3;
    if (runs) {
        const uint32x4_t by = vdupq_n_u32(static_cast<uint32_t>(step));
        uint32x4_t nextLeft = left[0], nextRight = right[0], wrong = vdupq_n_u32(0);
        for (int q = 1; q < 8; ++q) {
            nextLeft = vaddq_u32(nextLeft, by);
            nextRight = vaddq_u32(nextRight, by);
            wrong = vorrq_u32(wrong, vorrq_u32(veorq_u32(nextLeft, left[q]), veorq_u32(nextRight, right[q])));
        }
        runs = vmaxvq_u32(wrong) == 0;
    }
    if (!runs) {
        uint32_t offset[8];
        for (uint32_t q = 0; q < 8; ++q) {
            vst1q_u32(offset, left[q]);
            vst1q_u32(offset + 4, right[q]);
            uint8_t* out = RowOf(b, row0 + q).out + 3u * k;
            // As Put4x4, exactly: the last pixel takes its 3 bytes only.
            for (int p = 0; p < 8; ++p) Prefetch(src, offset[p]);
            for (int p = 0; p < 7; ++p) Put4(out + 3 * p, src.pixels + offset[p]);
            std::memcpy(out + 21, src.pixels + offset[7], 3);
        }
        return;
    }
    uint32_t first[8], low[8];
    vst1q_u32(first, left[0]);
    vst1q_u32(first + 4, right[0]);
    vst1q_u32(low, step > 0 ? left[0] : left[7]);
    vst1q_u32(low + 4, step > 0 ? right[0] : right[7]);
    uint8x8_t plane[3][8];
    for (int l = 0; l < 8; ++l) {
        // The next strip's run, both ends, ahead as the rows' prefetches are.
        Prefetch(src, first[l]);
        Prefetch(src, first[l] + static_cast<uint32_t>(7 * step));
        const uint8x8x3_t run = vld3_u8(src.pixels + low[l]);
        for (int c = 0; c < 3; ++c) plane[c][l] = run.val[c];
    }
    uint8x8_t turned[3][8];  // turned[c][p]: byte c of pixel p of every column
    for (int c = 0; c < 3; ++c) {
        const uint8x8_t* m = plane[c];
        const uint8x8x2_t b01 = vtrn_u8(m[0], m[1]), b23 = vtrn_u8(m[2], m[3]);
        const uint8x8x2_t b45 = vtrn_u8(m[4], m[5]), b67 = vtrn_u8(m[6], m[7]);
        const uint16x4x2_t c02 = vtrn_u16(vreinterpret_u16_u8(b01.val[0]), vreinterpret_u16_u8(b23.val[0]));
        const uint16x4x2_t c13 = vtrn_u16(vreinterpret_u16_u8(b01.val[1]), vreinterpret_u16_u8(b23.val[1]));
        const uint16x4x2_t c46 = vtrn_u16(vreinterpret_u16_u8(b45.val[0]), vreinterpret_u16_u8(b67.val[0]));
        const uint16x4x2_t c57 = vtrn_u16(vreinterpret_u16_u8(b45.val[1]), vreinterpret_u16_u8(b67.val[1]));
        const uint32x2x2_t d04 = vtrn_u32(vreinterpret_u32_u16(c02.val[0]), vreinterpret_u32_u16(c46.val[0]));
        const uint32x2x2_t d15 = vtrn_u32(vreinterpret_u32_u16(c13.val[0]), vreinterpret_u32_u16(c57.val[0]));
        const uint32x2x2_t d26 = vtrn_u32(vreinterpret_u32_u16(c02.val[1]), vreinterpret_u32_u16(c46.val[1]));
        const uint32x2x2_t d37 = vtrn_u32(vreinterpret_u32_u16(c13.val[1]), vreinterpret_u32_u16(c57.val[1]));
        turned[c][0] = vreinterpret_u8_u32(d04.val[0]);
        turned[c][4] = vreinterpret_u8_u32(d04.val[1]);
        turned[c][1] = vreinterpret_u8_u32(d15.val[0]);
        turned[c][5] = vreinterpret_u8_u32(d15.val[1]);
        turned[c][2] = vreinterpret_u8_u32(d26.val[0]);
        turned[c][6] = vreinterpret_u8_u32(d26.val[1]);
        turned[c][3] = vreinterpret_u8_u32(d37.val[0]);
        turned[c][7] = vreinterpret_u8_u32(d37.val[1]);
    }
    for (uint32_t q = 0; q < 8; ++q) {
        const uint32_t p = step > 0 ? q : 7 - q;
        uint8x8x3_t row;
        for (int c = 0; c < 3; ++c) row.val[c] = turned[c][p];
        vst3_u8(RowOf(b, row0 + q).out + 3u * k, row);
    }
}

void RunNEON(const Block& b, const Source& src) {
    uint32_t row = 0;
    if (!b.first.guarded && b.first.count >= 8) {
        const uint32_t columns = b.first.count & ~7u;
        for (; row + 8 <= b.rows; row += 8) {
            for (uint32_t k = 0; k < columns; k += 8) Block8NEON(b, src, row, k);
            if (columns == b.first.count) continue;
            for (uint32_t q = 0; q < 8; ++q) RowNEON(PartOf(b, row + q, columns, b.first.count - columns), src);
        }
    }
    for (; row < b.rows; ++row) RowNEON(RowOf(b, row), src);
}
#endif

using RunFn = void (*)(const Block&, const Source&);

RunFn RunFor(RotateKernel kernel) {
    switch (kernel) {
#if VINTREL_SSE2
        case RotateKernel::SSE2:
            return RunSSE2;
#endif
#if VINTREL_AVX2
        case RotateKernel::AVX2:
            return RunAVX2;
#endif
#if VINTREL_NEON
        case RotateKernel::NEON:
            return RunNEON;
#endif
        default:
            return RunScalar;
    }
}

// `inside(k)` holds on a prefix or a suffix of [0, n) (a monotone coordinate
// against one bound); narrows [lo, hi) to where it holds.
template <typename Test>
void KeepWhere(uint32_t n, Test inside, uint32_t& lo, uint32_t& hi) {
    if (lo >= hi) return;
    const bool first = inside(0u);
    if (first == inside(n - 1)) {
        if (!first) hi = lo;
        return;
    }
    uint32_t same = 0, other = n - 1;  // inside(same) == first != inside(other)
    while (other - same > 1) {
        const uint32_t mid = same + (other - same) / 2;
        (inside(mid) == first ? same : other) = mid;
    }
    if (first) {
        if (other < hi) hi = other;
    } else if (other > lo) {
        lo = other;
    }
}

struct Shape {
    uint32_t columns, rows;  // of a tile
};

// A canvas row walks the source along a line whose rows change |s| times
// per column: near 90 degrees a long row touches a new source row (and page)
// at every pixel. Short tiles of a few rows keep those source rows in cache
// while the next canvas rows pass over them.
Shape ShapeFor(double s) {
    const double sine = s < 0 ? -s : s;
    return sine > 0.5 ? Shape{128, 32} : Shape{kMaxColumns, 1};
}

struct Frame {
    const Source* src;
    RunFn run;
    double halfW, halfH, limitX, limitY;
};

// Canvas rows [i0, i0 + m) by the table's columns [t0, t0 + n).
void Tile(const Frame& f, BMPImage& destination, uint32_t j0, uint32_t i0, const double* xc, const double* xs,
          const double* ys, const double* yc, uint32_t n, uint32_t m) {
    auto x = [&](uint32_t k, uint32_t r) { return (xc[k] - ys[r]) + f.halfW; };
    auto y = [&](uint32_t k, uint32_t r) { return (yc[r] + xs[k]) + f.halfH; };
    // Both coordinates are monotone in the column and in the row, so over the
    // tile they are extreme at its corners.
    bool allInside = true, allOutside = false;
    double maxX = -1.0, maxY = -1.0;
    {
        const double cx[4] = {x(0, 0), x(n - 1, 0), x(0, m - 1), x(n - 1, m - 1)};
        const double cy[4] = {y(0, 0), y(n - 1, 0), y(0, m - 1), y(n - 1, m - 1)};
        int aboveX = 0, belowX = 0, aboveY = 0, belowY = 0;
        for (int q = 0; q < 4; ++q) {
            belowX += !(cx[q] > -1.0);
            aboveX += !(cx[q] < f.limitX);
            belowY += !(cy[q] > -1.0);
            aboveY += !(cy[q] < f.limitY);
            if (cx[q] > maxX) maxX = cx[q];
            if (cy[q] > maxY) maxY = cy[q];
        }
        allInside = belowX + aboveX + belowY + aboveY == 0;
        allOutside = belowX == 4 || aboveX == 4 || belowY == 4 || aboveY == 4;
    }
    // Only a tile that reaches the last column and the last row can read the
    // source's last pixel. Column W - 1 takes every x above W - 2 that passes
    // the bounds (for W = 1 that is all of (-1, 1)), hence the margin of 2.
    const bool guarded = maxX > f.limitX - 2.0 && maxY > f.limitY - 2.0;
    const size_t stride = 3u * static_cast<size_t>(destination.width);
    uint8_t* corner = PixelAt(destination, j0, i0);
    if (allOutside) {
        for (uint32_t r = 0; r < m; ++r) std::memset(corner + r * stride, 255, 3u * static_cast<size_t>(n));
        return;
    }
    if (allInside) {
        f.run(Block{Run{xc, xs, 0, 0, f.halfW, f.halfH, corner, n, guarded}, ys, yc, stride, m}, *f.src);
        return;
    }
    for (uint32_t r = 0; r < m; ++r) {
        uint8_t* out = corner + r * stride;
        // Each of the four bounds holds on a prefix or a suffix of the row:
        // the run is where all of them hold.
        uint32_t lo = 0, hi = n;
        KeepWhere(n, [&](uint32_t k) { return x(k, r) > -1.0; }, lo, hi);
        KeepWhere(n, [&](uint32_t k) { return x(k, r) < f.limitX; }, lo, hi);
        KeepWhere(n, [&](uint32_t k) { return y(k, r) > -1.0; }, lo, hi);
        KeepWhere(n, [&](uint32_t k) { return y(k, r) < f.limitY; }, lo, hi);
        if (lo >= hi) lo = hi = n;
        if (lo > 0) std::memset(out, 255, 3u * static_cast<size_t>(lo));
        if (lo < hi)
            f.run(Block{Run{xc + lo, xs + lo, 0, 0, f.halfW, f.halfH, out + 3u * static_cast<size_t>(lo), hi - lo,
                            guarded},
                        ys + r, yc + r, stride, 1},
                  *f.src);
        if (hi < n) std::memset(out + 3u * static_cast<size_t>(hi), 255, 3u * static_cast<size_t>(n - hi));
    }
}

// d * p and d * q for d = first, first + 1, ... (count of each): the
// formula's products of a canvas coordinate, centred.
void Products(int32_t first, uint32_t count, double p, double q, double* byP, double* byQ) {
    for (uint32_t k = 0; k < count; ++k) {
        const double d = static_cast<double>(first + static_cast<int32_t>(k));
        byP[k] = d * p;
        byQ[k] = d * q;
    }
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
    }
    return "Unknown";
}

bool KernelAvailable(RotateKernel kernel) {
    switch (kernel) {
        case RotateKernel::Scalar:
            return true;
#if VINTREL_SSE2
        case RotateKernel::SSE2:
            return true;
#endif
#if VINTREL_AVX2
        case RotateKernel::AVX2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
#endif
#if VINTREL_NEON
        case RotateKernel::NEON:
            return true;
#endif
        default:
            return false;
    }
}

RotateKernel BestKernel() {
    if (KernelAvailable(RotateKernel::AVX2)) return RotateKernel::AVX2;
    if (KernelAvailable(RotateKernel::SSE2)) return RotateKernel::SSE2;
    if (KernelAvailable(RotateKernel::NEON)) return RotateKernel::NEON;
    return RotateKernel::Scalar;
}

void RotatePixelsFast(const BMPImage& source, BMPImage& destination, double c, double s, RotateKernel kernel) {
    if (!HasPixels(destination)) return;
    const uint32_t width = destination.width, height = destination.height;
    if (!HasPixels(source)) {
        // -1 < v < 0 truncates to 0, which an empty picture does not have.
        std::memset(destination.pixels, 255, 3u * static_cast<size_t>(width) * height);
        return;
    }
    const uint32_t bytes = 3u * source.width * source.height;  // checked when the picture was attached
    // The source offset of a pixel kPrefetchRows canvas rows on, roughly:
    // one canvas row moves the source position by (-s, c).
    const double rowsOn = kPrefetchRows * c, columnsOn = -kPrefetchRows * s;
    const int64_t ahead = static_cast<int64_t>(rowsOn < 0 ? rowsOn - 0.5 : rowsOn + 0.5) * (3 * int64_t{source.width}) +
                          3 * static_cast<int64_t>(columnsOn < 0 ? columnsOn - 0.5 : columnsOn + 0.5);
    const Source src{source.pixels, 3u * source.width, bytes - 3u, static_cast<uint32_t>(ahead)};
    const Frame frame{&src, RunFor(kernel), static_cast<double>(source.width / 2),
                      static_cast<double>(source.height / 2), static_cast<double>(source.width),
                      static_cast<double>(source.height)};
    const int32_t centreX = static_cast<int32_t>(width / 2);
    const int32_t centreY = static_cast<int32_t>(height / 2);
    const Shape shape = ShapeFor(s);
    double xc[kMaxColumns], xs[kMaxColumns], ys[kMaxRows], yc[kMaxRows];

    for (uint32_t j0 = 0; j0 < width; j0 += kMaxColumns) {
        const uint32_t n = width - j0 < kMaxColumns ? width - j0 : kMaxColumns;
        Products(static_cast<int32_t>(j0) - centreX, n, c, s, xc, xs);
        for (uint32_t i0 = 0; i0 < height; i0 += shape.rows) {
            const uint32_t m = height - i0 < shape.rows ? height - i0 : shape.rows;
            Products(static_cast<int32_t>(i0) - centreY, m, s, c, ys, yc);
            for (uint32_t t0 = 0; t0 < n; t0 += shape.columns) {
                const uint32_t l = n - t0 < shape.columns ? n - t0 : shape.columns;
                Tile(frame, destination, j0 + t0, i0, xc + t0, xs + t0, ys, yc, l, m);
            }
        }
    }
}

}  // namespace vintrel
