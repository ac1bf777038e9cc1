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

// Names the safe replacement keeps for the output and its temporary: an own
// name in an open folder (NAME_MAX, 255 bytes, on Linux), or a whole name the
// export took with the temporary's suffix in place of its own name.
constexpr size_t kPlatformNameBytes = 256;

// A link's contents as the system reads them: PATH_MAX on Linux.
constexpr size_t kLinkBytes = 4096;

}  // namespace vintrel
