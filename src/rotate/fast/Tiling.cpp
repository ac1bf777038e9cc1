// The tiling driver: splits the canvas into tiles, finds each row's run of
// pixels that lie inside the picture, paints the rest white, and hands the
// runs to the chosen kernel; near 0 and 180 degrees it hands the canvas to
// the row driver (StretchRows.cpp) instead. No intrinsics here.
#include <cstring>
#include <new>

#include "platform/Platform.h"
#include "rotate/RotateFast.h"
#include "rotate/fast/Kernels.h"

namespace vintrel {
namespace {

using fast::KeepWhere;
using fast::PixelRun;
using fast::RunBlock;
using fast::Source;

// Columns per chunk at most: bounds the column tables (2 x 16 KiB); and
// rows per band.
constexpr uint32_t kMaxColumns = 2048;
constexpr uint32_t kMaxRows = 64;
constexpr double kPrefetchRows = 8;

struct TileShape {
    uint32_t columns, rows;  // of a tile
    // Tiles in the order of their columns rather than their rows: near 90
    // degrees the tile below reads the same source rows further along,
    // which the prefetches of the one above have already asked for.
    bool downColumns;
};

// A canvas row walks the source along a line whose rows change |s| times
// per column: near 90 degrees a long row touches a new source row (and page)
// at every pixel. A source line serves some 21|s| canvas rows in turn; short
// tiles of a few rows keep those lines in cache while the next canvas rows
// pass over them, where full rows would have evicted them. Near 0 degrees a
// row reads the source in order and full rows are best.
constexpr TileShape kWide{kMaxColumns, 1, false}, kSquare{512, 16, false}, kTall{256, 32, true};
// |s| up to which rows are copied stretch by stretch: 1/|s| columns each.
constexpr double kLongStretches = 0.2;
TileShape TileShapeFor(double s) {
    const double sine = s < 0 ? -s : s;
    return sine > 0.95 ? kTall : sine > 0.3 ? kSquare : kWide;
}

// Staging rows: the largest tile.
constexpr uint32_t kStagePixels = kWide.columns * kWide.rows > kSquare.columns * kSquare.rows
                                      ? kWide.columns * kWide.rows
                                      : kSquare.columns * kSquare.rows;
static_assert(kTall.columns * kTall.rows <= kStagePixels, "every tile fits the staging rows");

// The staging rows and the formula's products for a column chunk and a
// tile's rows: some 57 KiB, from the heap, so that a call fits a thread's
// small stack.
struct Scratch {
    alignas(64) uint8_t stage[3u * kStagePixels];
    double xc[kMaxColumns], xs[kMaxColumns], ys[kMaxRows], yc[kMaxRows];
};

struct TurnSetup {
    const Source* src;
    fast::BlockFn run;
    double halfW, halfH, limitX, limitY;
    // With streaming, each tile is made in the staging rows, where it stays
    // in the cache, and then copied out.
    const fast::Streaming* streaming;
    uint8_t* stage;
};

// Canvas rows [i0, i0 + m) by the table's columns [t0, t0 + n).
void FillTile(const TurnSetup& f, BMPImage& destination, uint32_t j0, uint32_t i0, const double* xc,
              const double* xs, const double* ys, const double* yc, uint32_t n, uint32_t m) {
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
    const size_t canvasStride = 3u * static_cast<size_t>(destination.width);
    uint8_t* const target = PixelAt(destination, j0, i0);
    const size_t stride = f.streaming != nullptr ? 3u * static_cast<size_t>(n) : canvasStride;
    uint8_t* const corner = f.streaming != nullptr ? f.stage : target;
    if (allOutside) {
        for (uint32_t r = 0; r < m; ++r) std::memset(corner + r * stride, 255, 3u * static_cast<size_t>(n));
    } else if (allInside) {
        f.run(RunBlock{PixelRun{xc, xs, 0, 0, f.halfW, f.halfH, corner, n, guarded}, ys, yc, stride, m}, *f.src);
    } else {
        // Some bound crosses the tile: each row's run of pixels inside the
        // picture, white on either side.
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
            if (lo < hi) {
                const PixelRun run{xc + lo, xs + lo, 0, 0, f.halfW, f.halfH,
                                   out + 3u * static_cast<size_t>(lo), hi - lo, guarded};
                f.run(RunBlock{run, ys + r, yc + r, stride, 1}, *f.src);
            }
            if (hi < n) std::memset(out + 3u * static_cast<size_t>(hi), 255, 3u * static_cast<size_t>(n - hi));
        }
    }
    if (f.streaming == nullptr) return;
    for (uint32_t r = 0; r < m; ++r) f.streaming->copy(target + r * canvasStride, corner + r * stride, stride);
}

// Whether consecutive canvas columns' truncated x can differ by more than
// one pixel. x = (xd c - ys) + W/2 takes three roundings, each off by at
// most u = 2^-53 of a value below M + 2, where M is the largest of the
// canvas's sides and the source's width (xd c, ys and, inside the picture,
// x itself are all smaller): 4u(M + 2) in all. Next to each other the exact
// values differ by |c|, the rounded ones by less than |c| + 8u(M + 2), which
// is below 1 when 1 - |c| > 2^-50 (M + 2); 2^-48 leaves a margin. At 0
// degrees (c = 1, s = 0) every value is a whole number and exact.
bool UnitSteps(double c, double s, uint32_t sourceWidth, uint32_t width, uint32_t height) {
    const double ac = c < 0 ? -c : c;
    if (s == 0 && ac == 1) return true;
    uint32_t m = sourceWidth > width ? sourceWidth : width;
    if (height > m) m = height;
    return 1.0 - ac > (static_cast<double>(m) + 2.0) * 0x1p-48;
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

bool RotatePixelsFast(const BMPImage& source, BMPImage& destination, double c, double s, RotateKernel kernel) {
    if (!HasPixels(destination)) return true;
    const uint32_t width = destination.width, height = destination.height;
    if (!HasPixels(source)) {
        // -1 < v < 0 truncates to 0, which an empty picture does not have.
        std::memset(destination.pixels, 255, 3u * static_cast<size_t>(width) * height);
        return true;
    }
    const uint32_t bytes = 3u * source.width * source.height;  // checked when the picture was attached
    // The source offset of a pixel kPrefetchRows canvas rows on, roughly:
    // one canvas row moves the source position by (-s, c).
    const double rowsOn = kPrefetchRows * c, columnsOn = -kPrefetchRows * s;
    const int64_t ahead = static_cast<int64_t>(rowsOn < 0 ? rowsOn - 0.5 : rowsOn + 0.5) * (3 * int64_t{source.width}) +
                          3 * static_cast<int64_t>(columnsOn < 0 ? columnsOn - 0.5 : columnsOn + 0.5);
    const double sine = s < 0 ? -s : s;
    const Source src{source.pixels, 3u * source.width, bytes - 3u, static_cast<uint32_t>(ahead),
                     sine <= 0.5, c < 0, sine <= kLongStretches, UnitSteps(c, s, source.width, width, height)};
    // Rows copied stretch by stretch go straight to the canvas, which is
    // fresh memory in every call: staging them and streaming them out added
    // a pass.
    if (src.longStretches) {
        fast::FillStretchRows(source, destination, c, s, src, fast::StretchCopyFor(kernel));
        return true;
    }
    void* block = PlatformAlloc(sizeof(Scratch) + alignof(Scratch));
    if (block == nullptr) return false;
    auto* scratch = new (reinterpret_cast<void*>((reinterpret_cast<uintptr_t>(block) + alignof(Scratch) - 1) &
                                                 ~uintptr_t{alignof(Scratch) - 1})) Scratch;
    double *xc = scratch->xc, *xs = scratch->xs, *ys = scratch->ys, *yc = scratch->yc;
    const fast::Streaming* streaming = fast::StreamingFor(kernel);
    const TurnSetup setup{&src,
                          fast::BlockFnFor(kernel),
                          static_cast<double>(source.width / 2),
                          static_cast<double>(source.height / 2),
                          static_cast<double>(source.width),
                          static_cast<double>(source.height),
                          streaming,
                          scratch->stage};
    const int32_t centreX = static_cast<int32_t>(width / 2);
    const int32_t centreY = static_cast<int32_t>(height / 2);
    const TileShape shape = TileShapeFor(s);

    for (uint32_t j0 = 0; j0 < width; j0 += kMaxColumns) {
        const uint32_t n = width - j0 < kMaxColumns ? width - j0 : kMaxColumns;
        Products(static_cast<int32_t>(j0) - centreX, n, c, s, xc, xs);
        const auto fill = [&](uint32_t t0, uint32_t i0) {
            const uint32_t l = n - t0 < shape.columns ? n - t0 : shape.columns;
            const uint32_t m = height - i0 < shape.rows ? height - i0 : shape.rows;
            Products(static_cast<int32_t>(i0) - centreY, m, s, c, ys, yc);
            FillTile(setup, destination, j0 + t0, i0, xc + t0, xs + t0, ys, yc, l, m);
        };
        if (shape.downColumns) {
            for (uint32_t t0 = 0; t0 < n; t0 += shape.columns)
                for (uint32_t i0 = 0; i0 < height; i0 += shape.rows) fill(t0, i0);
        } else {
            for (uint32_t i0 = 0; i0 < height; i0 += shape.rows)
                for (uint32_t t0 = 0; t0 < n; t0 += shape.columns) fill(t0, i0);
        }
    }
    if (streaming != nullptr) streaming->fence();
    PlatformFree(block);
    return true;
}

}  // namespace vintrel
