// Portable kernel: every target has it, and it is what the vector kernels
// fall back to at the ends of their runs.
#include "rotate/fast/Kernels.h"
#include "rotate/fast/Stretches.h"

namespace vintrel {
namespace fast {

void RunScalar(const RunBlock& b, const Source& src) {
    if (src.longStretches && src.unitSteps) return StretchRows(b, src, CopyStretchOneByOne);
    for (uint32_t row = 0; row < b.rows; ++row) CopyOneByOne(RowOf(b, row), src, 0);
}

}  // namespace fast
}  // namespace vintrel
