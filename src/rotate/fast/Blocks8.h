// The 8x8 block path shared by the AVX2 and NEON kernels.
//
// Near 90 and 270 degrees the eight rows of a canvas column mostly read one
// run of eight neighbouring source pixels. Where every column of an 8x8
// block does, the kernel reads the block as eight 24-byte runs and turns it
// in registers instead of copying pixel by pixel; the bytes are the same
// either way.
//
// Whether it does needs only the block's edges, not its 64 pixels: x and y
// are each monotone in the column and in the row (every operation of the
// formula rounds monotonically, and truncation is monotone), so a truncated
// x that is the same at a row's first and last column is the same all along
// it, and likewise y down a column. The block reads runs when, in every row,
// x is the same at both ends and one more (or one less) than the row above,
// and, in every column, y is the same at the top and the bottom.
//
// A kernel K supplies:
//   Offsets                 eight source offsets
//   Offsets8(run, src, k)   those of columns k to k + 7 of a run
//   ReadsRuns(b, src, row0, k, low, step)  the test above; on success each
//                           column's run start and +3 or -3 per row
//   Copy8(out, src, offsets, exact)      eight pixels one by one
//   Turn8(b, src, row0, k, low, step, exact)  the block from its runs
//   Row(run, src)           a whole run, for what no block covers
// Internal linkage throughout (see Runs.h).
#pragma once

#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {
namespace {

// Rows row0 to row0 + 7, columns k to k + 7.
template <typename K>
inline void Block8(const RunBlock& b, const Source& src, uint32_t row0, uint32_t k, bool exact) {
    typename K::Offsets low;
    int32_t step = 0;
    if (K::ReadsRuns(b, src, row0, k, low, step)) return K::Turn8(b, src, row0, k, low, step, exact);
    for (uint32_t q = 0; q < 8; ++q) {
        const PixelRun row = RowOf(b, row0 + q);
        K::Copy8(row.out + 3u * k, src, K::Offsets8(row, src, k), exact);
    }
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
