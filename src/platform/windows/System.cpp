#include "platform/System.h"

namespace vintrel {
namespace sys {

// Large pages here need a privilege a picture is not worth.
void* AdviseLargePages(void* block, size_t) { return block; }

// long is 32 bits here; offsets up to 2^32 - 1 must still seek.
bool SeekStream(PlatformFile* file, int64_t offset, int whence) { return _fseeki64(file, offset, whence) == 0; }


// WriteFileGather takes only unbuffered, page-aligned writes.
bool CanGatherRows() { return false; }
bool WriteRowsGathered(PlatformFile*, const uint8_t*, size_t, uint32_t, uint32_t) { return false; }

}  // namespace sys
}  // namespace vintrel
