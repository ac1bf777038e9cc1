// Finished canvas bytes copied out past the cache: whole 64-byte lines go
// straight to memory, sparing the read of each line before it is
// overwritten; the partial lines at either end, which a neighbouring tile
// finishes, take ordinary stores. `Line` stores one aligned line. Internal
// linkage, as Runs.h explains.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vintrel {
namespace fast {
namespace {

template <typename Line>
inline void StreamLines(uint8_t* to, const uint8_t* from, size_t bytes, Line line) {
    size_t head = (64u - (reinterpret_cast<uintptr_t>(to) & 63u)) & 63u;
    if (head > bytes) head = bytes;
    std::memcpy(to, from, head);
    to += head;
    from += head;
    bytes -= head;
    for (; bytes >= 64; bytes -= 64, to += 64, from += 64) line(to, from);
    std::memcpy(to, from, bytes);
}

}  // namespace
}  // namespace fast
}  // namespace vintrel
