// The turn of Rotate.h, fast and to the same bytes as the plain per-pixel loop.
//
// Every canvas pixel still gets exactly the formula's doubles: xd*c and xd*s
// come from per-column tables, yd*s and yd*c are taken once per row, and the
// subtraction, the additions and the truncations are done as the formula
// groups them, by scalar code or by vector instructions that round each lane
// alike (no fused multiply-add, no single precision, no stepping). Along a
// canvas row both source coordinates are monotone in the column, so the
// in-bounds pixels of a row form one run; its ends are found with the
// formula's own comparisons, and the middle is copied without tests.
// Near 0 and 180 degrees the canvas is done in whole rows, and a run falls
// into long stretches of consecutive pixels of one source row; their ends
// are found the same way, at a few columns each, with the products made
// where they are probed, and each stretch is copied as memory is, or turned
// round by byte shuffles (Stretches.h, StretchRows.cpp).
// Away from 0 and 180 degrees, where a row walks across the source's rows,
// the canvas is done in tiles so that the source rows in use stay in cache;
// the source lines that later rows will need are prefetched. Near 90 and 270
// degrees, with AVX2 or NEON, an 8x8 block whose edges say that each of its
// columns reads eight neighbouring source pixels is read as eight runs and
// transposed in registers instead of copied pixel by pixel. On x86 each tile
// is made in staging rows and streamed to the canvas past the cache. Tables,
// staging rows and state live on the stack (about 57 KiB) for the length of
// a call.
//
// Layout (fast/): Tiling.cpp drives tiles, StretchRows.cpp whole rows near 0
// and 180 degrees, Runs.h is the run model the kernels share, Stretches.h
// finds stretches, one Kernel<Name>.cpp per instruction set,
// KernelChoice.cpp picks.
#pragma once

#include "image/BMPImage.h"

namespace vintrel {

enum class RotateKernel { Scalar, SSE2, AVX2, NEON, AVX512 };
const char* RotateKernelName(RotateKernel kernel);  // "Scalar", "SSE2", ..., "AVX512"

// Compiled into this build, whatever this processor has.
bool KernelBuilt(RotateKernel kernel);
// Compiled into this build and usable on this processor.
bool KernelAvailable(RotateKernel kernel);
// The fastest available kernel (looked up on every call: nothing is kept).
RotateKernel BestKernel();

// The formula of Rotate.h, with `kernel` (which must be available). False,
// with the canvas unfinished, when its scratch cannot be had.
bool RotatePixelsFast(const BMPImage& source, BMPImage& destination, double c, double s, RotateKernel kernel);

}  // namespace vintrel
