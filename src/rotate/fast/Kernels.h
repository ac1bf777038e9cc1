// The kernels the tiling driver hands its blocks to. Each is defined in its
// own file, built with its own instruction set, and only where the target
// has that set; KernelChoice.cpp names them and picks one.
#pragma once

#include "rotate/RotateFast.h"
#include "rotate/fast/Runs.h"

namespace vintrel {
namespace fast {

void RunScalar(const RunBlock& b, const Source& src);
void RunSSE2(const RunBlock& b, const Source& src);
void RunAVX2(const RunBlock& b, const Source& src);
void RunNEON(const RunBlock& b, const Source& src);

// The block function of `kernel`, which must be available.
BlockFn BlockFnFor(RotateKernel kernel);

}  // namespace fast
}  // namespace vintrel
