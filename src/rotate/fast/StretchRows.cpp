// The row driver near 0 and 180 degrees: whole canvas rows one after
// another, each row's run of in-picture pixels split into stretches
// (Stretches.h) that the kernel copies as memory is copied, white on either
// side. No tiles and no tables: rows read the source in order. No
// intrinsics here.
#include <cstring>

#include "rotate/fast/Kernels.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {
namespace {

// Stretches held back to be copied from the right, a few at a time.
struct Held {
    uint32_t k;
    Stretch stretch;
};
constexpr uint32_t kHeld = 4;

}  // namespace

void FillStretchRows(const BMPImage& source, BMPImage& destination, double c, double s, const Source& src,
                     StretchCopy copy) {
    const uint32_t width = destination.width;
    const int32_t centreY = static_cast<int32_t>(destination.height / 2);
    const double limitX = static_cast<double>(source.width), limitY = static_cast<double>(source.height);
    const size_t rowBytes = 3u * static_cast<size_t>(width);
    // Near 0 and 180 degrees, where a row reads one or two source rows in
    // order, the hardware prefetchers keep up on their own.
    const bool prefetch = (s < 0 ? -s : s) * static_cast<double>(width) > 2.0;
    // Near 180 degrees a row's left part reads one source row and its right
    // part the row before, both turned round: copied left to right, the
    // reads jump back and forth by half a row at every row, which measured
    // well slower than copying from the right, where the source is read in
    // one falling stream. Any order gives the same bytes: each stretch
    // writes only its own (Runs.h).
    const bool fromRight = src.falling && !prefetch;
    for (uint32_t i = 0; i < destination.height; ++i) {
        const double yd = static_cast<double>(static_cast<int32_t>(i) - centreY);
        uint8_t* const out = PixelAt(destination, 0, i);
        StretchRun run{-static_cast<int32_t>(width / 2),
                       c,
                       s,
                       yd * s,
                       yd * c,
                       static_cast<double>(source.width / 2),
                       static_cast<double>(source.height / 2),
                       static_cast<double>(width) + static_cast<double>(source.width) + 2.0,
                       out,
                       width};
        // Each of the four bounds holds on a prefix or a suffix of the row:
        // the run is where all of them hold.
        uint32_t lo = 0, hi = width;
        KeepWhere(width, [&](uint32_t k) { return XAt(run, k) > -1.0; }, lo, hi);
        KeepWhere(width, [&](uint32_t k) { return XAt(run, k) < limitX; }, lo, hi);
        KeepWhere(width, [&](uint32_t k) { return YAt(run, k) > -1.0; }, lo, hi);
        KeepWhere(width, [&](uint32_t k) { return YAt(run, k) < limitY; }, lo, hi);
        if (lo >= hi) {
            std::memset(out, 255, rowBytes);
            continue;
        }
        std::memset(out, 255, 3u * static_cast<size_t>(lo));
        run.xd += static_cast<int32_t>(lo);
        run.out += 3u * static_cast<size_t>(lo);
        run.count = hi - lo;
        Held held[kHeld];
        uint32_t holding = 0;
        for (StretchWalk walk = WalkStretches(run, src); walk.k < run.count;) {
            const uint32_t k = walk.k;
            const Stretch stretch = NextStretch(walk);
            // The lines a later row will read there: away from 0 degrees a
            // row reads several source rows, in an order no hardware
            // prefetcher follows.
            if (prefetch)
                for (uint32_t line = 0; line < 3u * stretch.count + 63u; line += 64)
                    Prefetch(src, stretch.offset + line);
            if (!fromRight) {
                copy(run.out + 3u * k, src, stretch.offset, stretch.count);
                continue;
            }
            held[holding++] = Held{k, stretch};
            if (holding < kHeld && walk.k < run.count) continue;
            for (; holding > 0; --holding) {
                const Held& h = held[holding - 1];
                copy(run.out + 3u * h.k, src, h.stretch.offset, h.stretch.count);
            }
        }
        std::memset(out + 3u * static_cast<size_t>(hi), 255, 3u * static_cast<size_t>(width - hi));
    }
}

}  // namespace fast
}  // namespace vintrel
