// Every limit the library holds to, in one place, each with its reason.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vintrel {

// A narrow file name is at most 199 bytes and its NUL: the size of the name
// buffers the export has always converted names into.
constexpr size_t kNameBytes = 200;

// A whole BMP file fits in 32 bits: its bfSize field says how long it is.
// This is the one limit on a picture's size: a picture is too large when
// the file that stores it would be longer (FileCanStore, bmp/BMPLayout.h),
// for a picture read and a canvas written alike. Its pixel bytes are then
// fewer than 2^32, which the fast path's 32-bit source offsets rely on.
constexpr uint64_t kMaxFileBytes = UINT32_MAX;

// Names the safe replacement keeps for the output and its temporary: an own
// name in an open folder (NAME_MAX, 255 bytes, on Linux), or a whole name the
// export took with the temporary's suffix in place of its own name.
constexpr size_t kPlatformNameBytes = 256;

// A link's contents as the system reads them: PATH_MAX on Linux.
constexpr size_t kLinkBytes = 4096;

}  // namespace vintrel
