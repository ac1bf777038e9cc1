// The formula of rotate/Rotate.h read as it stands, one pixel at a time:
// what the benchmarks check each fast path's bytes against and time it by.
// Only the benchmarks have it; the library ships the fast path alone.
#pragma once

#include "image/BMPImage.h"

namespace vintrel {

// Fills every pixel of `destination` (already sized and with a buffer) from
// `source`.
void RotatePixels(const BMPImage& source, BMPImage& destination, double c, double s);

}  // namespace vintrel
