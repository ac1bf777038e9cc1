// Portable kernel: every target has it, and it is what the vector kernels
// fall back to at the ends of their runs.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {

void RunScalar(const RunBlock& b, const Source& src) {
    for (uint32_t row = 0; row < b.rows; ++row) CopyOneByOne(RowOf(b, row), src, 0);
}

void CopyStretchScalar(uint8_t* out, const Source& src, uint32_t from, uint32_t count) {
    CopyStretchOneByOne(out, src, from, count);
}

}  // namespace fast
}  // namespace vintrel
