#include "image/BMPImage.h"

#include "platform/Platform.h"

namespace vintrel {

uint64_t StoredFileBytes(uint32_t width, uint32_t height) {
    const uint64_t row = 3u * static_cast<uint64_t>(width) + RowPad(width);  // < 2^34
    const uint64_t header = 54;
    if (height != 0 && row > (UINT64_MAX - header) / height) return UINT64_MAX;
    return header + row * height;
}

bool AttachPixels(BMPImage& image) {
    image.pixels = nullptr;
    if (!HasPixels(image)) return true;
    const uint64_t count = static_cast<uint64_t>(image.width) * image.height;  // < 2^64
    if (count > UINT32_MAX / 3u) return false;
    const uint64_t bytes = count * 3u;
    if (bytes > SIZE_MAX) return false;
    image.pixels = static_cast<uint8_t*>(PlatformAllocZeroed(static_cast<size_t>(bytes)));
    return image.pixels != nullptr;
}

void ReleasePixels(BMPImage& image) {
    PlatformFree(image.pixels);
    image.pixels = nullptr;
}

}  // namespace vintrel
