// What the fuzzers run, one input at a time; the replay test runs the same.
//
// ReadEntry: the bytes are a file handed to ReadBMP. RotateEntry: the last 4
// bytes (little endian) are the angle, the rest a file handed to BMPRotate2.
// Both check what must hold whatever the file says, and abort if it does not:
// the status is one of those defined, a refused file keeps no buffer, the
// pixels read are the file's bytes where it has them and zero elsewhere, a
// written file is a whole 24-bit BMP, and the layer holds no block or file
// afterwards. Inputs whose header asks for more memory than a fuzzing run can
// spare (a picture the reader would accept, larger than the limits below) are
// skipped: Skipped is returned and nothing runs.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vintrel_fuzz {

constexpr int Skipped = -100;
constexpr uint64_t kReadLimitBytes = 1u << 20;   // 3 * width * height
constexpr uint64_t kRotateLimitSide = 1024;      // width + height: the canvas is at most its square

// The read status, or Skipped.
int ReadEntry(const uint8_t* data, size_t size);
// BMPRotate2's result, or Skipped.
int RotateEntry(const uint8_t* data, size_t size);

}  // namespace vintrel_fuzz
