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
void RunAVX512(const RunBlock& b, const Source& src);

// Finished canvas bytes copied out past the cache (Stream.h), and the fence
// that orders those stores before anything the caller does next. Where a
// kernel has no such stores its tiles are made in place.
struct Streaming {
    void (*copy)(uint8_t* to, const uint8_t* from, size_t bytes);
    void (*fence)();
};
void StreamSSE2(uint8_t* to, const uint8_t* from, size_t bytes);
void StreamAVX2(uint8_t* to, const uint8_t* from, size_t bytes);
void FenceSSE2();

// The block function of `kernel`, which must be available, and its streaming
// (null: none).
BlockFn BlockFnFor(RotateKernel kernel);
const Streaming* StreamingFor(RotateKernel kernel);

}  // namespace fast
}  // namespace vintrel
