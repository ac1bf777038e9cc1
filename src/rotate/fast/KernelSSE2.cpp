// SSE2 kernel: four source offsets at a time, pixels copied one by one; and
// the streaming stores every x86 kernel finishes its tiles with.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/RowSSE2.h"

namespace vintrel {
namespace fast {

void RunSSE2(const RunBlock& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) RowSSE2(RowOf(b, row), src);
}

// Whole 64-byte lines go straight to memory, sparing the read of each line
// before it is overwritten; the partial lines at either end, which a
// neighbouring tile finishes, take ordinary stores.
void StreamSSE2(uint8_t* to, const uint8_t* from, size_t bytes) {
    size_t head = (64u - (reinterpret_cast<uintptr_t>(to) & 63u)) & 63u;
    if (head > bytes) head = bytes;
    std::memcpy(to, from, head);
    to += head;
    from += head;
    bytes -= head;
    for (; bytes >= 64; bytes -= 64, to += 64, from += 64)
        for (int q = 0; q < 4; ++q)
            _mm_stream_si128(reinterpret_cast<__m128i*>(to) + q,
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from) + q));
    std::memcpy(to, from, bytes);
}

void FenceSSE2() { _mm_sfence(); }

}  // namespace fast
}  // namespace vintrel
