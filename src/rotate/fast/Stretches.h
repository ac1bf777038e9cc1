// A row's stretches near 0 and 180 degrees: columns that read consecutive
// pixels of one source row, found with the formula's own values at a few
// columns, so that a kernel can copy each as memory is copied.
//
// Along a row both truncated coordinates are monotone (Blocks8.h says why),
// so "y is still y0" holds on a prefix of the columns from any k. When
// consecutive columns' x never differ by more than one pixel (Source::
// unitSteps), "x has moved by exactly one pixel per column since k" is a
// prefix too: the difference between how far x has moved and how many
// columns have passed can only shrink. A stretch is the common prefix, and
// its end is found by probing where the row's slope says it is, then by
// bisection if the slope was wrong.
//
// Where the bound fails, x may repeat or skip a pixel (it repeats where it
// crosses 0), and x is walked instead (WalkX). Where cos is exactly 1 or -1
// but sin is not 0 (180 and 360 degrees and their negatives) it is checked
// only at the two columns where it crosses 0; where cos is merely within
// rounding of 1 (540 degrees, 720 and on), at every column.
//
// The row's columns' products are made where they are probed, exactly as
// the tile driver's tables hold them: a table spans only part of a wide
// row, and rows cut into parts read the source and write the canvas in
// strides that the hardware prefetchers follow badly. Internal linkage, as
// Runs.h explains.
#pragma once

#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {
namespace {

// Columns [0, count) of one canvas row that lie inside the picture.
struct StretchRun {
    int32_t xd;      // column 0, centred
    double c, s;     // of the turn
    double ys, yc;   // yd * s and yd * c of the row
    double halfW, halfH;
    double largest;  // above the size of every value x's roundings meet
    uint8_t* out;
    uint32_t count;  // at least 1
};

inline double XAt(const StretchRun& r, uint32_t k) {
    return (static_cast<double>(r.xd + static_cast<int32_t>(k)) * r.c - r.ys) + r.halfW;
}
inline double YAt(const StretchRun& r, uint32_t k) {
    return (r.yc + static_cast<double>(r.xd + static_cast<int32_t>(k)) * r.s) + r.halfH;
}
inline int32_t ColumnAt(const StretchRun& r, uint32_t k) { return static_cast<int32_t>(XAt(r, k)); }
inline int32_t RowAt(const StretchRun& r, uint32_t k) { return static_cast<int32_t>(YAt(r, k)); }

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

// Columns from one at y to where y reaches its next whole value, by the
// row's slope (a guess: LastWhere checks it); `across` is 1 / |s|.
inline uint32_t Slope(const StretchRun& r, double y, uint32_t left, double across) {
    if (r.s == 0) return left;
    const double whole = static_cast<double>(static_cast<int32_t>(y));
    const double columns = (r.s > 0 ? whole + 1.0 - y : y - whole) * across;
    if (!(columns >= 0)) return 1;  // y in (-1, 0) falling: the run's end decides
    return columns < static_cast<double>(left) ? static_cast<uint32_t>(columns) + 1u : left;
}

// With c = 1 or -1 exactly: the last column of [k, last] up to which x
// moves by one pixel per column from x0. There xd c = a is a whole number
// and x = ((a - ys) + W/2) rounds twice. Where ys = 0, x = m = a + W/2
// exactly. Where |ys| < 1/4 and |ys| > 2^-50 B, B above every value
// involved, neither rounding can reach a whole number: a - ys rounds to
// a + d, d of the sign of -ys, 0 < |d| < 1/2, and m + d to m + e, e of the
// same sign, 0 < |e| < 1. So trunc(x) - m is the same at every column where
// m > 0 and at every column where m < 0, and m moves by c per column: x
// moves by exactly one pixel per column but where m passes 0, at the
// column z where m = 0 and the one after it, where it is checked (at 180
// degrees it repeats pixel 0 there). Elsewhere x is checked at every column.
inline uint32_t WalkX(const StretchRun& r, uint32_t k, uint32_t last, int32_t x0, int32_t way) {
    const auto steps = [&](uint32_t q) { return ColumnAt(r, q) == x0 + way * static_cast<int32_t>(q - k); };
    const double size = r.ys < 0 ? -r.ys : r.ys;
    if ((r.c == 1 || r.c == -1) && (r.ys == 0 || (size < 0.25 && size > r.largest * 0x1p-50))) {
        if (r.ys == 0) return last;
        const int64_t z = -static_cast<int64_t>(r.xd) - static_cast<int64_t>(r.c) * static_cast<int64_t>(r.halfW);
        for (int64_t q = z; q <= z + 1; ++q)
            if (q > k && q <= last && !steps(static_cast<uint32_t>(q))) return static_cast<uint32_t>(q - 1);
        return last;
    }
    uint32_t q = k;
    while (q < last && steps(q + 1)) ++q;
    return q;
}

// A run's stretches one after another, from its first column on. Each
// test of a column keeps that column's values, so the test that ends one
// stretch has already made the next one's first.
struct StretchWalk {
    const StretchRun* r;
    const Source* src;
    double across;           // 1 / |s| (0 at 0 degrees): columns per source row
    uint32_t k, q;           // the next stretch's first column; the column last tested
    int32_t x, y;            // the truncated values at q
    double yValue;           // and y before truncation
};

inline void TestColumn(StretchWalk& w, uint32_t q) {
    w.q = q;
    w.yValue = YAt(*w.r, q);
    w.x = ColumnAt(*w.r, q);
    w.y = static_cast<int32_t>(w.yValue);
}

inline StretchWalk WalkStretches(const StretchRun& r, const Source& src) {
    StretchWalk w{&r, &src, r.s == 0 ? 0 : 1.0 / (r.s < 0 ? -r.s : r.s), 0, 0, 0, 0, 0};
    TestColumn(w, 0);
    return w;
}

// The stretch from column w.k on; w.k moves past it.
inline Stretch NextStretch(StretchWalk& w) {
    const StretchRun& r = *w.r;
    const uint32_t k = w.k;
    const int32_t x0 = w.x, y0 = w.y;
    const int32_t way = w.src->falling ? -1 : 1;
    const bool unitSteps = w.src->unitSteps;
    uint32_t last = LastWhere(k, r.count, Slope(r, w.yValue, r.count - k, w.across), [&](uint32_t q) {
        TestColumn(w, q);
        return w.y == y0 && (!unitSteps || way * (w.x - x0) == static_cast<int32_t>(q - k));
    });
    if (!unitSteps) last = WalkX(r, k, last, x0, way);
    if (last + 1 < r.count && w.q != last + 1) TestColumn(w, last + 1);
    w.k = last + 1;
    const uint32_t count = last - k + 1;
    const int32_t leftmost = w.src->falling ? x0 - static_cast<int32_t>(count - 1) : x0;
    return Stretch{count, static_cast<uint32_t>(y0) * w.src->stride + static_cast<uint32_t>(leftmost) * 3u};
}

// n consecutive source pixels from `in` turned round to `out`, pixel by
// pixel: 4-byte copies but for the first pixel written, whose source is the
// last (the byte after it may lie past the picture), and the last, the byte
// after which is not the stretch's.
inline void TurnOneByOne(uint8_t* out, const uint8_t* in, uint32_t n) {
    if (n == 0) return;
    std::memcpy(out, in + 3u * (n - 1), 3);
    for (uint32_t i = 1; i + 1 < n; ++i) Put4(out + 3u * i, in + 3u * (n - 1 - i));
    if (n > 1) std::memcpy(out + 3u * (n - 1), in, 3);
}

// A stretch copied by memcpy, or turned round pixel by pixel.
inline void CopyStretchOneByOne(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    const uint8_t* in = src.pixels + from;
    if (!src.falling) {
        std::memcpy(out, in, 3u * static_cast<size_t>(count));
        return;
    }
    TurnOneByOne(out, in, count);
}

// A stretch turned round five pixels at a time: `turn5(to, window)` turns
// the 15 bytes at window + 1 round into to[0, 15) from one 16-byte load, and
// may write to[15], which the next group rewrites. So every group needs the
// byte before it in the stretch and a pixel after it in the canvas; the
// stretch's leftmost pixels, which lack them, go pixel by pixel.
template <typename Turn5>
inline void TurnByFives(uint8_t* out, const Source& src, uint32_t from, uint32_t count, Turn5 turn5) {
    const uint8_t* in = src.pixels + from;
    uint32_t done = 0;
    for (; count - done >= 6; done += 5) turn5(out + 3u * done, in + 3u * (count - done - 5) - 1);
    TurnOneByOne(out + 3u * done, in, count - done);
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
