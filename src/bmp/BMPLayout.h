// Facts of the file format that need no file: the header's size, the row
// padding, and how long the file that stores a picture is. The rotation
// stage sizes its canvas by them too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "limits/Limits.h"

namespace vintrel {

constexpr size_t kBMPHeaderBytes = 54;

// Padding after each stored row, so that a row covers a multiple of 4 bytes.
inline uint32_t RowPad(uint32_t width) { return width % 4u; }

// Bytes of the file that stores a width x height picture:
// 54 + height * (3 * width + pad), saturated at UINT64_MAX.
inline uint64_t StoredFileBytes(uint32_t width, uint32_t height) {
    const uint64_t row = 3u * static_cast<uint64_t>(width) + RowPad(width);  // < 2^34
    if (height != 0 && row > (UINT64_MAX - kBMPHeaderBytes) / height) return UINT64_MAX;
    return kBMPHeaderBytes + row * height;
}

// Whether such a file can be written at all (its size field is 32 bits).
inline bool FileCanStore(uint32_t width, uint32_t height) {
    return StoredFileBytes(width, height) <= kMaxFileBytes;
}

}  // namespace vintrel
