// NEON kernel (64-bit ARM): four source offsets at a time; near 90 degrees,
// 8x8 blocks turned in registers with three-plane loads and stores.
#include <arm_neon.h>

#include "rotate/fast/Blocks8.h"
#include "rotate/fast/Kernels.h"

namespace vintrel {
namespace fast {
namespace {

// Source offsets of the four pixels from column k on.
inline uint32x4_t Offsets4(const PixelRun& r, const Source& src, uint32_t k) {
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

    static uint32_t FirstLane(const Offsets& v) { return vgetq_lane_u32(v.val[0], 0); }
    static Offsets Splat(int32_t v) {
        const uint32x4_t all = vdupq_n_u32(static_cast<uint32_t>(v));
        return Offsets{{all, all}};
    }
    static Offsets Add(const Offsets& a, const Offsets& b) {
        return Offsets{{vaddq_u32(a.val[0], b.val[0]), vaddq_u32(a.val[1], b.val[1])}};
    }
    static Offsets Differ(const Offsets& a, const Offsets& b) {
        return Offsets{{veorq_u32(a.val[0], b.val[0]), veorq_u32(a.val[1], b.val[1])}};
    }
    static Offsets Either(const Offsets& a, const Offsets& b) {
        return Offsets{{vorrq_u32(a.val[0], b.val[0]), vorrq_u32(a.val[1], b.val[1])}};
    }
    static bool IsZero(const Offsets& v) { return vmaxvq_u32(vorrq_u32(v.val[0], v.val[1])) == 0; }

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
    static void Turn8(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, const Offsets (&offset)[8],
                      int32_t step, bool) {
        uint32_t first[8], low[8];
        vst1q_u32(first, offset[0].val[0]);
        vst1q_u32(first + 4, offset[0].val[1]);
        const Offsets& lowest = step > 0 ? offset[0] : offset[7];
        vst1q_u32(low, lowest.val[0]);
        vst1q_u32(low + 4, lowest.val[1]);
        uint8x8_t plane[3][8];
        for (int l = 0; l < 8; ++l) {
            // The next strip's run, both ends, ahead as the rows' prefetches are.
            Prefetch(src, first[l]);
            Prefetch(src, first[l] + static_cast<uint32_t>(7 * step));
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

}  // namespace fast
}  // namespace vintrel
