// The library's only door to the system: heap, buffered file streams, the
// console and file-name conversion. Everything above this layer is portable
// logic; everything system-specific lives behind it, so it can be replaced
// or made to fail in tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vintrel {

// Process heap. PlatformFree accepts null.
void* PlatformAlloc(size_t bytes);
void* PlatformAllocZeroed(size_t bytes);
void PlatformFree(void* block);

// Buffered binary streams. An empty name never opens.
using PlatformFile = std::FILE;
PlatformFile* PlatformOpen(const char* name, const char* mode);
size_t PlatformRead(void* into, size_t size, size_t count, PlatformFile* file);
size_t PlatformWrite(const void* from, size_t size, size_t count, PlatformFile* file);
enum PlatformSeekOrigin : int { SeekFromStart = 0, SeekFromCurrent = 1 };
bool PlatformSeek(PlatformFile* file, int64_t offset, PlatformSeekOrigin origin);
bool PlatformFlush(PlatformFile* file);
bool PlatformClose(PlatformFile* file);  // false if buffered data was lost

// One console line on standard output, line feed appended, flushed at once so
// that it is out before the caller returns.
void PlatformPrintLine(const char* text);

// Converts a NUL-terminated UTF-16 name to the system's narrow encoding for
// file names (UTF-8 on POSIX systems, the ANSI code page on Windows). A
// character with no narrow form becomes '?'. Returns false, and leaves
// `narrow` empty, when the result with its NUL needs more than `narrowSize`
// bytes or cannot be made at all.
bool PlatformWideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize);

}  // namespace vintrel
