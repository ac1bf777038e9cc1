// One picture in memory, shaped as a 24-bit BMP stores it.
//
// Pixel (x, y) is 3 bytes at offset (x + y * width) * 3, rows in file order
// (row 0 is the bottom row of a bottom-up file), bytes in file order (blue,
// green, red). Nothing is converted or reordered.
//
// A picture with no pixels (width or height 0) has no buffer. A picture with
// pixels and no buffer is one that could not be held; writers refuse it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vintrel {

struct BMPImage {
    uint32_t width;
    uint32_t height;
    uint8_t* pixels;  // owned; released by ReleasePixels
};

inline uint8_t* PixelAt(const BMPImage& image, uint32_t x, uint32_t y) {
    return image.pixels + (static_cast<size_t>(x) + static_cast<size_t>(y) * image.width) * 3u;
}

inline bool HasPixels(const BMPImage& image) { return image.width != 0 && image.height != 0; }

// Attaches a zero-filled buffer of 3 * width * height bytes. Refuses (and
// attaches nothing) when the heap has no room, or when that count is over
// what a file can hold or size_t (which callers, having asked FileCanStore,
// never pass). A picture without pixels needs no buffer.
bool AttachPixels(BMPImage& image);

void ReleasePixels(BMPImage& image);

}  // namespace vintrel
