#include "image/BMPImage.h"

#include "limits/Limits.h"
#include "platform/Platform.h"

namespace vintrel {

bool AttachPixels(BMPImage& image) {
    image.pixels = nullptr;
    if (!HasPixels(image)) return true;
    const uint64_t count = static_cast<uint64_t>(image.width) * image.height;  // < 2^64
    // Callers size only pictures a file can store; this keeps the product
    // from wrapping whatever they pass.
    if (count > kMaxFileBytes / 3u) return false;
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
