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

// Each kernel's copy of a stretch (Runs.h); the AVX-512 kernel has only
// this, and takes the AVX2 kernel's blocks.
void CopyStretchScalar(uint8_t* out, const Source& src, uint32_t from, uint32_t count);
void CopyStretchSSE2(uint8_t* out, const Source& src, uint32_t from, uint32_t count);
void CopyStretchAVX2(uint8_t* out, const Source& src, uint32_t from, uint32_t count);
void CopyStretchNEON(uint8_t* out, const Source& src, uint32_t from, uint32_t count);
void CopyStretchAVX512(uint8_t* out, const Source& src, uint32_t from, uint32_t count);

// Near 0 and 180 degrees (Source::longStretches) the whole canvas, row by
// row, stretch by stretch (StretchRows.cpp).
void FillStretchRows(const BMPImage& source, BMPImage& destination, double c, double s, const Source& src,
                     StretchCopy copy);

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

// The block function of `kernel`, which must be available, its stretch
// copy, and its streaming (null: none).
BlockFn BlockFnFor(RotateKernel kernel);
StretchCopy StretchCopyFor(RotateKernel kernel);
const Streaming* StreamingFor(RotateKernel kernel);

}  // namespace fast
}  // namespace vintrel
