// The 8x8 block path shared by the AVX2 and NEON kernels.
//
// Near 90 and 270 degrees the eight rows of a canvas column mostly read one
// run of eight neighbouring source pixels. Where every column of an 8x8
// block does (its offsets, computed as always, say so), the kernel reads the
// block as eight 24-byte runs and turns it in registers instead of copying
// pixel by pixel; the bytes are the same either way.
//
// A kernel K supplies:
//   Offsets                 eight source offsets of one block row
//   Offsets8(run, src, k)   those of columns k to k + 7
//   FirstLane, Splat, Add, Differ (xor), Either (or), IsZero
//   Copy8(out, src, offsets, exact)      eight pixels one by one
//   Turn8(b, src, row0, k, offsets, step, exact)  the block from its runs
//   Row(run, src)           a whole run, for what no block covers
// Internal linkage throughout (see Runs.h).
#pragma once

#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {
namespace {

// True when column l of the block reads offset[0][l] + q * step for row q,
// with step +3 (the run in row order) or -3 (backwards).
template <typename K>
inline bool ColumnsReadRuns(const typename K::Offsets (&offset)[8], int32_t& step) {
    step = static_cast<int32_t>(K::FirstLane(offset[1]) - K::FirstLane(offset[0]));
    if (step != 3 && step != -3) return false;
    const typename K::Offsets by = K::Splat(step);
    typename K::Offsets next = offset[0], wrong = K::Splat(0);
    for (int q = 1; q < 8; ++q) {
        next = K::Add(next, by);
        wrong = K::Either(wrong, K::Differ(next, offset[q]));
    }
    return K::IsZero(wrong);
}

// Rows row0 to row0 + 7, columns k to k + 7.
template <typename K>
inline void Block8(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, bool exact) {
    typename K::Offsets offset[8];
    for (uint32_t q = 0; q < 8; ++q) offset[q] = K::Offsets8(RowOf(b, row0 + q), src, k);
    int32_t step = 0;
    if (ColumnsReadRuns<K>(offset, step)) return K::Turn8(b, src, row0, k, offset, step, exact);
    for (uint32_t q = 0; q < 8; ++q) K::Copy8(RowOf(b, row0 + q).out + 3u * k, src, offset[q], exact);
}

// Whole 8x8 blocks where the block has them, its rows one by one elsewhere.
template <typename K>
inline void RunBlocks8(const RunBlock& b, const Source& src) {
    uint32_t row = 0;
    if (!b.first.guarded && b.first.count >= 8) {
        const uint32_t columns = b.first.count & ~7u;
        for (; row + 8 <= b.rows; row += 8) {
            // The 4 bytes past a block belong to the row only if 2 pixels follow.
            for (uint32_t k = 0; k < columns; k += 8) Block8<K>(b, src, row, k, b.first.count - k < 10);
            if (columns == b.first.count) continue;
            for (uint32_t q = 0; q < 8; ++q) K::Row(PartOf(b, row + q, columns, b.first.count - columns), src);
        }
    }
    for (; row < b.rows; ++row) K::Row(RowOf(b, row), src);
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
