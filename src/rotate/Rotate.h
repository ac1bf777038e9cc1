// Turning a picture about its centre by whole degrees.
//
// The canvas W' x H' and c, s are those of Canvas.h.
// Pixel (j, i) of the canvas, xd = j - W'/2, yd = i - H'/2 (integer halves):
//          xs = trunc((xd c - yd s) + W/2),  ys = trunc((yd c + xd s) + H/2)
// takes source pixel (xs, ys) when 0 <= xs < W and 0 <= ys < H, else white.
// The tests' plain per-pixel loop (tests/support) and the benchmarks' one
// (bench/) are that formula read as it stands; the fast path
// (RotateFast.h) gives their bytes.
#pragma once

#include <cstdint>

#include "image/BMPImage.h"
#include "rotate/Canvas.h"

namespace vintrel {

// Sizes `destination`, attaches its buffer and fills it with the fastest
// kernel this processor has. A canvas that no file can store, or whose
// buffer the heap cannot give, is left without a buffer (and so is refused
// by the writer).
void RotateImage(BMPImage* source, BMPImage* destination, int32_t angle);

}  // namespace vintrel
