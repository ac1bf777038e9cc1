// The run model every kernel works on, and the scalar steps they share.
//
// Only plain structs and functions with internal linkage: a kernel file built
// with wider instructions (-mavx2) must never lend its copy of a helper to
// code that runs on any processor, which an inline function with external
// linkage would let the linker do. Nothing from the standard library beyond
// memcpy, for the same reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vintrel {
namespace fast {

struct Source {
    const uint8_t* pixels;
    uint32_t stride;      // 3 * width; 3 * width * height fits in 32 bits
    uint32_t lastOffset;  // the one pixel a 4-byte load would overrun
    uint32_t ahead;       // about where a pixel's source lies a few canvas rows on
    // |s| <= 0.5: along a canvas row the source row moves by half a row or
    // less per pixel, so a pixel's line is mostly its neighbour's or the
    // next one's, and every other pixel's is enough to ask for.
    bool sparse;
    bool falling;  // c < 0: along a canvas row the source column falls
    // Near 0 and 180 degrees rows read long stretches of consecutive source
    // pixels (Stretches.h).
    bool longStretches;
    // Consecutive columns' x differ by at most one pixel (Tiling.cpp proves
    // it from c and the sizes).
    bool unitSteps;
};

// Copies a stretch of `count` consecutive source pixels from offset `from`
// to `out`, turned round where the source column falls (Source::falling),
// touching exactly those bytes of the source and of the canvas.
using StretchCopy = void (*)(uint8_t* out, const Source& src, uint32_t from, uint32_t count);

// Canvas pixels of one row that all lie inside the picture, so their
// truncations are in range and need no test.
struct PixelRun {
    const double* xc;  // xd * c from the run's first column on
    const double* xs;  // xd * s
    double ys, yc;     // yd * s and yd * c of the row
    double halfW, halfH;
    uint8_t* out;
    uint32_t count;  // at least 1
    bool guarded;    // may reach the source's last pixel: 3-byte loads only
};

// The same columns of consecutive canvas rows.
struct RunBlock {
    PixelRun first;
    const double* ys;  // of each row
    const double* yc;
    size_t stride;  // canvas bytes per row
    uint32_t rows;
};

using BlockFn = void (*)(const RunBlock&, const Source&);

namespace {

// `inside(k)` holds on a prefix or a suffix of [0, n) (a monotone coordinate
// against one bound); narrows [lo, hi) to where it holds.
template <typename Test>
inline void KeepWhere(uint32_t n, Test inside, uint32_t& lo, uint32_t& hi) {
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

inline PixelRun RowOf(const RunBlock& b, uint32_t row) {
    PixelRun r = b.first;
    r.ys = b.ys[row];
    r.yc = b.yc[row];
    r.out += row * b.stride;
    return r;
}

// Columns [from, from + count) of one of the block's rows.
inline PixelRun PartOf(const RunBlock& b, uint32_t row, uint32_t from, uint32_t count) {
    PixelRun r = RowOf(b, row);
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

// A hint for a line that a later canvas row will read (see the AVX2 kernel).
inline void Prefetch(const Source& src, uint32_t offset) {
    const uint32_t soon = offset + src.ahead;  // modulo 2^32, then kept inside
    __builtin_prefetch(src.pixels + (soon < src.lastOffset ? soon : src.lastOffset));
}

// The formula's truncated source x and y of column k of a run.
inline int32_t ColumnAt(const PixelRun& r, uint32_t k) {
    return static_cast<int32_t>((r.xc[k] - r.ys) + r.halfW);
}
inline int32_t RowAt(const PixelRun& r, uint32_t k) { return static_cast<int32_t>((r.yc + r.xs[k]) + r.halfH); }

inline uint32_t OffsetAt(const PixelRun& r, const Source& src, uint32_t k) {
    return static_cast<uint32_t>(RowAt(r, k)) * src.stride + static_cast<uint32_t>(ColumnAt(r, k)) * 3u;
}

// Pixels k to the end of the run, one at a time.
inline void CopyOneByOne(const PixelRun& r, const Source& src, uint32_t k) {
    const uint32_t last = r.count - 1;
    if (!r.guarded)
        for (; k < last; ++k) Put4(r.out + 3u * k, src.pixels + OffsetAt(r, src, k));
    for (; k <= last; ++k) std::memcpy(r.out + 3u * k, src.pixels + OffsetAt(r, src, k), 3);
}

// The N pixels at `offset` to `out`, 4 bytes each; unless `exact`, the last
// one too, whose fourth byte a later store of the row rewrites.
template <int N>
inline void PutPixels(uint8_t* out, const Source& src, const uint32_t* offset, bool exact) {
    for (int q = 0; q < N - 1; ++q) Put4(out + 3 * q, src.pixels + offset[q]);
    if (exact)
        std::memcpy(out + 3 * (N - 1), src.pixels + offset[N - 1], 3);
    else
        Put4(out + 3 * (N - 1), src.pixels + offset[N - 1]);
}

// Pixels k to k + 3 of a run (more follow), from their source offsets.
inline void Put4x4(const PixelRun& r, const Source& src, uint32_t k, const uint32_t* offset) {
    for (int q = 0; q < 4; ++q) Prefetch(src, offset[q]);
    PutPixels<4>(r.out + 3u * k, src, offset, false);
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
