// Every limit the library holds to, in one place, each with its reason.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vintrel {

// A narrow file name is at most 199 bytes and its NUL: the size of the name
// buffers the export has always converted names into.
constexpr size_t kNameBytes = 200;

// Pixel bytes of one picture (3 * width * height) fit in 32 bits: the BMP
// format cannot describe more, and the fast path's source offsets are 32-bit.
constexpr uint64_t kMaxPixelBytes = UINT32_MAX;

// A whole BMP file fits in 32 bits: its bfSize field says how long it is.
constexpr uint64_t kMaxFileBytes = UINT32_MAX;

// Paths the safe replacement builds (the target after following links, the
// temporary beside it): PATH_MAX on Linux, and far past Windows' MAX_PATH.
constexpr size_t kPlatformPathBytes = 4096;

}  // namespace vintrel
