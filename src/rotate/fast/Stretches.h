// A run's stretches: columns that read consecutive pixels of one source
// row, found with the formula's own values at a few columns, so that a
// kernel can copy each as memory is copied.
//
// Along a run both truncated coordinates are monotone (Blocks8.h says why),
// so "y is still y0" holds on a prefix of the columns from any k. When
// consecutive columns' x never differ by more than one pixel (Source::
// unitSteps), "x has moved by exactly one pixel per column since k" is a
// prefix too: the difference between how far x has moved and how many
// columns have passed can only shrink. A stretch is the common prefix, and
// its end is found by probing where the row's slope says it is, then by
// bisection if the slope was wrong. Where that bound on x does not hold
// (|c| within rounding of 1), the kernel checks x at every column itself.
// Internal linkage, as Runs.h explains.
#pragma once

#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {
namespace {

struct Stretch {
    uint32_t count;   // columns, at least 1
    uint32_t offset;  // of its leftmost source pixel
};

// The last column of [k, end) where `holds`, which holds at k and on a
// prefix; `guess` columns is where the prefix is expected to end.
template <typename Holds>
inline uint32_t LastWhere(uint32_t k, uint32_t end, uint32_t guess, Holds holds) {
    uint32_t lo = k, hi = end;  // holds(lo); hi == end or !holds(hi)
    const uint32_t probe = guess >= end - k ? end - 1 : k + (guess > 0 ? guess - 1 : 0);
    if (probe > k) (holds(probe) ? lo : hi) = probe;
    if (lo == probe && lo + 1 < hi && !holds(lo + 1)) hi = lo + 1;
    // Wrong by more: double from the last column that held, then bisect.
    for (uint32_t step = 2; hi == end && end - lo > step; step *= 2) (holds(lo + step) ? lo : hi) = lo + step;
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        (holds(mid) ? lo : hi) = mid;
    }
    return lo;
}

// Columns to where y reaches its next whole value, by the row's slope
// (a guess: LastWhere checks it).
inline uint32_t Slope(const PixelRun& r, uint32_t k, double s) {
    if (s == 0) return r.count - k;
    const double y = (r.yc + r.xs[k]) + r.halfH;
    const double whole = static_cast<double>(static_cast<int32_t>(y));
    const double columns = s > 0 ? (whole + 1.0 - y) / s : (y - whole) / -s;
    if (!(columns >= 0)) return 1;  // y in (-1, 0) falling: the run's end decides
    return columns < static_cast<double>(r.count - k) ? static_cast<uint32_t>(columns) + 1u : r.count - k;
}

// Where Source::unitSteps does not hold, the kernel's CheckX(r, src, k,
// last, x0) gives the last column of [k, last] up to which x moves by one
// pixel per column from x0; a kernel without one (null) copies stretches
// only where it holds.
using CheckX = uint32_t (*)(const PixelRun& r, const Source& src, uint32_t k, uint32_t last, int32_t x0);

// The stretch from column k on.
inline Stretch StretchAt(const PixelRun& r, const Source& src, uint32_t k, CheckX checkX) {
    const int32_t x0 = ColumnAt(r, k), y0 = RowAt(r, k);
    const int32_t way = src.falling ? -1 : 1;
    uint32_t last = LastWhere(k, r.count, Slope(r, k, src.slope), [&](uint32_t q) {
        return RowAt(r, q) == y0 &&
               (!src.unitSteps || way * (ColumnAt(r, q) - x0) == static_cast<int32_t>(q - k));
    });
    if (!src.unitSteps) last = checkX != nullptr ? checkX(r, src, k, last, x0) : k;
    const uint32_t count = last - k + 1;
    const int32_t leftmost = src.falling ? x0 - static_cast<int32_t>(count - 1) : x0;
    return Stretch{count, static_cast<uint32_t>(y0) * src.stride + static_cast<uint32_t>(leftmost) * 3u};
}

// A stretch copied by memcpy, or turned round pixel by pixel: 4-byte copies
// but for the first pixel written, whose source is the stretch's last (the
// byte after it may lie past the picture), and the last, the byte after
// which is not the stretch's.
inline void CopyStretchOneByOne(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    const uint8_t* in = src.pixels + from;
    if (!src.falling) {
        std::memcpy(out, in, 3u * static_cast<size_t>(count));
        return;
    }
    std::memcpy(out, in + 3u * (count - 1), 3);
    for (uint32_t i = 1; i + 1 < count; ++i) Put4(out + 3u * i, in + 3u * (count - 1 - i));
    if (count > 1) std::memcpy(out + 3u * (count - 1), in, 3);
}

// Every row of a block, stretch by stretch, with a kernel's copy and CheckX.
template <typename Copy>
inline void StretchRows(const RunBlock& b, const Source& src, Copy copy, CheckX checkX = nullptr) {
    for (uint32_t row = 0; row < b.rows; ++row) {
        const PixelRun r = RowOf(b, row);
        for (uint32_t k = 0; k < r.count;) {
            const Stretch stretch = StretchAt(r, src, k, checkX);
            // The lines a later row will read there, as the other steps ask
            // for them (Runs.h).
            for (uint32_t line = 0; line < 3u * stretch.count + 63u; line += 64)
                Prefetch(src, stretch.offset + line);
            copy(r.out + 3u * k, src, stretch.offset, stretch.count);
            k += stretch.count;
        }
    }
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
