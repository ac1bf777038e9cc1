// Turning a picture about its centre by whole degrees.
//
// r = angle * DegreesToRadians, c = cos r, s = sin r (IEEE double, each
// operation rounded on its own, no fused multiply-add).
// Canvas:  W' = max(trunc(W|c| - H s), trunc(W|c| + H s))
//          H' = max(trunc(W s + H|c|), trunc(H|c| - W s))
// Pixel (j, i) of the canvas, xd = j - W'/2, yd = i - H'/2 (integer halves):
//          xs = trunc((xd c - yd s) + W/2),  ys = trunc((yd c + xd s) + H/2)
// takes source pixel (xs, ys) when 0 <= xs < W and 0 <= ys < H, else white.
//
// DegreesToRadians is 3.14159265 / 180 in double precision, a little short
// of pi / 180; stored pictures depend on that value, so it stays.
#pragma once

#include <cstdint>

#include "image/BMPImage.h"

namespace vintrel {

constexpr double DegreesToRadians = 0.017453292500000002;  // 0x3F91DF46A1FAE712

struct Canvas {
    uint32_t width;
    uint32_t height;
};

Canvas CanvasFor(uint32_t width, uint32_t height, double c, double s);

// Fills every pixel of `destination` (already sized and with a buffer) from
// `source`, one pixel at a time exactly as the formula reads: the yardstick
// that RotatePixelsFast (RotateFast.h) must match byte for byte.
void RotatePixels(const BMPImage& source, BMPImage& destination, double c, double s);

// Sizes `destination`, attaches its buffer and fills it with the fastest
// kernel this processor has. A canvas that no file can store, or whose
// buffer the heap cannot give, is left without a buffer (and so is refused
// by the writer).
void RotateImage(BMPImage* source, BMPImage* destination, int32_t angle);

}  // namespace vintrel
