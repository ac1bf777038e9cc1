// What each system folder (linux/, windows/; the build compiles one) supplies
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


// PlatformOutputWriteRows's rows, at most kGatherRows of them, in as few
// calls as the system allows; false when one failed. Only where
// PlatformCanGatherRows.
constexpr uint32_t kGatherRows = 128;  // their pieces stay small on the caller's stack
bool CanGatherRows();
bool WriteRowsGathered(PlatformFile* file, const uint8_t* rows, size_t rowBytes, uint32_t pad, uint32_t count);

// The system's wide-to-narrow conversion, as PlatformWideToNarrow describes.
bool WideToNarrow(const char16_t* wide, char* narrow, size_t narrowSize);

}  // namespace sys
}  // namespace vintrel
