// NEON kernel (64-bit ARM): four source offsets at a time; near 90 degrees,
// 8x8 blocks turned in registers with three-plane loads and stores; near
// 180 degrees, stretches turned round plane by plane.
#include <arm_neon.h>

#include "rotate/fast/Blocks8.h"
#include "rotate/fast/Kernels.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {
namespace {

// The formula's source x and y of two pixels, operation for operation:
// (xd*c - yd*s) + halfW and (yd*c + xd*s) + halfH; and four of them
// truncated.
inline float64x2_t X2(float64x2_t xc, float64x2_t ys, float64x2_t halfW) { return vaddq_f64(vsubq_f64(xc, ys), halfW); }
inline float64x2_t Y2(float64x2_t yc, float64x2_t xs, float64x2_t halfH) { return vaddq_f64(vaddq_f64(yc, xs), halfH); }
inline int32x4_t Trunc4(float64x2_t low, float64x2_t high) {
    return vcombine_s32(vmovn_s64(vcvtq_s64_f64(low)), vmovn_s64(vcvtq_s64_f64(high)));
}

// Source offsets of the four pixels from column k on.
inline uint32x4_t Offsets4(const PixelRun& r, const Source& src, uint32_t k) {
    const float64x2_t ys = vdupq_n_f64(r.ys), yc = vdupq_n_f64(r.yc);
    const float64x2_t halfW = vdupq_n_f64(r.halfW), halfH = vdupq_n_f64(r.halfH);
    const uint32x4_t col = vreinterpretq_u32_s32(
        Trunc4(X2(vld1q_f64(r.xc + k), ys, halfW), X2(vld1q_f64(r.xc + k + 2), ys, halfW)));
    const uint32x4_t row = vreinterpretq_u32_s32(
        Trunc4(Y2(yc, vld1q_f64(r.xs + k), halfH), Y2(yc, vld1q_f64(r.xs + k + 2), halfH)));
    return vmlaq_n_u32(vmulq_n_u32(col, 3u), row, src.stride);
}

// One byte plane of an 8x8 block transposed: out[p] holds byte p of every row.
inline void Transpose8(const uint8x8_t (&m)[8], uint8x8_t (&out)[8]) {
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
    out[0] = vreinterpret_u8_u32(d04.val[0]);
    out[4] = vreinterpret_u8_u32(d04.val[1]);
    out[1] = vreinterpret_u8_u32(d15.val[0]);
    out[5] = vreinterpret_u8_u32(d15.val[1]);
    out[2] = vreinterpret_u8_u32(d26.val[0]);
    out[6] = vreinterpret_u8_u32(d26.val[1]);
    out[3] = vreinterpret_u8_u32(d37.val[0]);
    out[7] = vreinterpret_u8_u32(d37.val[1]);
}

struct NEON {
    using Offsets = uint32x4x2_t;  // columns k to k + 3, then k + 4 to k + 7

    static Offsets Offsets8(const PixelRun& r, const Source& src, uint32_t k) {
        return Offsets{{Offsets4(r, src, k), Offsets4(r, src, k + 4)}};
    }

    static bool ReadsRuns(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, Offsets& low,
                          int32_t& step) {
        const PixelRun& r = b.first;
        const float64x2_t halfW = vdupq_n_f64(r.halfW), halfH = vdupq_n_f64(r.halfH);
        // x of the block's first or last column in rows q to q + 3.
        const auto x = [&](double xc, uint32_t q) {
            const float64x2_t at = vdupq_n_f64(xc);
            return Trunc4(X2(at, vld1q_f64(b.ys + row0 + q), halfW), X2(at, vld1q_f64(b.ys + row0 + q + 2), halfW));
        };
        // y of its first or last row in columns l to l + 3.
        const auto y = [&](double yc, uint32_t l) {
            const float64x2_t at = vdupq_n_f64(yc);
            return Trunc4(Y2(at, vld1q_f64(r.xs + k + l), halfH), Y2(at, vld1q_f64(r.xs + k + l + 2), halfH));
        };
        const int32x4_t first[2] = {x(r.xc[k], 0), x(r.xc[k], 4)};
        const int32x4_t top[2] = {y(b.yc[row0], 0), y(b.yc[row0], 4)};
        const int32_t x0 = vgetq_lane_s32(first[0], 0);
        const int32_t by = vgetq_lane_s32(first[0], 1) - x0;
        if (by != 1 && by != -1) return false;
        const int32x4_t lanes = {0, 1, 2, 3}, four = vdupq_n_s32(4);
        uint32x4_t wrong = vdupq_n_u32(0);
        for (uint32_t h = 0; h < 2; ++h) {
            const int32x4_t ahead = h == 0 ? lanes : vaddq_s32(lanes, four);
            const int32x4_t stepped = by > 0 ? vaddq_s32(vdupq_n_s32(x0), ahead) : vsubq_s32(vdupq_n_s32(x0), ahead);
            wrong = vorrq_u32(wrong, vreinterpretq_u32_s32(veorq_s32(first[h], x(r.xc[k + 7], 4 * h))));
            wrong = vorrq_u32(wrong, vreinterpretq_u32_s32(veorq_s32(first[h], stepped)));
            wrong = vorrq_u32(wrong, vreinterpretq_u32_s32(veorq_s32(top[h], y(b.yc[row0 + 7], 4 * h))));
        }
        if (vmaxvq_u32(wrong) != 0) return false;
        step = 3 * by;
        const uint32x4_t lowX = vdupq_n_u32(static_cast<uint32_t>(3 * (by > 0 ? x0 : x0 - 7)));
        low = Offsets{{vmlaq_n_u32(lowX, vreinterpretq_u32_s32(top[0]), src.stride),
                       vmlaq_n_u32(lowX, vreinterpretq_u32_s32(top[1]), src.stride)}};
        return true;
    }

    static void Copy8(uint8_t* out, const Source& src, const Offsets& offset, bool exact) {
        uint32_t at[8];
        vst1q_u32(at, offset.val[0]);
        vst1q_u32(at + 4, offset.val[1]);
        for (int p = 0; p < 8; ++p) Prefetch(src, at[p]);
        PutPixels<8>(out, src, at, exact);
    }

    // Each run loaded split into its three bytes, each byte plane transposed,
    // the rows stored interleaved again (exactly 24 bytes: `exact` needs
    // nothing more).
    static void Turn8(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, const Offsets& runs,
                      int32_t step, bool) {
        uint32_t low[8];
        vst1q_u32(low, runs.val[0]);
        vst1q_u32(low + 4, runs.val[1]);
        uint8x8_t plane[3][8];
        for (int l = 0; l < 8; ++l) {
            // The next strip's run, both ends, ahead as the rows' prefetches are.
            Prefetch(src, low[l]);
            Prefetch(src, low[l] + 21u);
            const uint8x8x3_t run = vld3_u8(src.pixels + low[l]);
            for (int c = 0; c < 3; ++c) plane[c][l] = run.val[c];
        }
        uint8x8_t turned[3][8];  // turned[c][p]: byte c of pixel p of every column
        for (int c = 0; c < 3; ++c) Transpose8(plane[c], turned[c]);
        for (uint32_t q = 0; q < 8; ++q) {
            const uint32_t p = step > 0 ? q : 7 - q;
            uint8x8x3_t row;
            for (int c = 0; c < 3; ++c) row.val[c] = turned[c][p];
            vst3_u8(RowOf(b, row0 + q).out + 3u * k, row);
        }
    }

    static void Row(const PixelRun& r, const Source& src) {
        if (r.guarded) return CopyOneByOne(r, src, 0);
        uint32_t offset[4];
        const uint32_t last = r.count - 1;
        uint32_t k = 0;
        for (; k + 4 <= last; k += 4) {
            vst1q_u32(offset, Offsets4(r, src, k));
            Put4x4(r, src, k, offset);
        }
        CopyOneByOne(r, src, k);
    }
};

}  // namespace

void RunNEON(const RunBlock& b, const Source& src) { RunBlocks8<NEON>(b, src); }

void CopyStretchNEON(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    if (!src.falling) return CopyStretchOneByOne(out, src, from, count);
    // Sixteen pixels at a time from the stretch's right end, split into
    // their three byte planes, each plane turned round, stored interleaved
    // again: exactly their 48 bytes each way.
    const uint8_t* in = src.pixels + from;
    uint32_t done = 0;
    for (; count - done >= 16; done += 16) {
        uint8x16x3_t pixels = vld3q_u8(in + 3u * (count - done - 16));
        for (int c = 0; c < 3; ++c) {
            const uint8x16_t halves = vrev64q_u8(pixels.val[c]);
            pixels.val[c] = vextq_u8(halves, halves, 8);
        }
        vst3q_u8(out + 3u * done, pixels);
    }
    TurnOneByOne(out + 3u * done, in, count - done);
}

}  // namespace fast
}  // namespace vintrel
