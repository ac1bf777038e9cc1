// What each system folder (posix/, win32/; the build compiles one) supplies
// to the portable files of this layer. Every function that calls the system
// asks Fails (FaultHook.h) first, as the portable ones do.
#pragma once

#include "platform/Platform.h"

namespace vintrel {
namespace sys {

// A hint that a large block is best held in large pages; the block returned.
void* AdviseLargePages(void* block, size_t bytes);

// whence: SEEK_SET or SEEK_CUR; offsets past 2^31 too.
bool SeekStream(PlatformFile* file, int64_t offset, int whence);

bool IsFolderSeparator(char c);

// The system's wide-to-narrow conversion, as PlatformWideToNarrow describes.
bool WideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize);

}  // namespace sys
}  // namespace vintrel
