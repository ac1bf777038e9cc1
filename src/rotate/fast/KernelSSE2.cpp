// SSE2 kernel: four source offsets at a time, pixels copied one by one.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/RowSSE2.h"

namespace vintrel {
namespace fast {

void RunSSE2(const RunBlock& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) RowSSE2(RowOf(b, row), src);
}

}  // namespace fast
}  // namespace vintrel
