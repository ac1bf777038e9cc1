#include "platform/System.h"

#include <sys/mman.h>

#include <cstdint>

namespace vintrel {
namespace sys {

// Pictures are large and each byte is first touched once, in order: with 2 MiB
// pages a 36 MB picture costs some 18 page faults instead of 9000, which is
// most of the time a whole call takes. Only a hint; refused, nothing changes.
void* AdviseLargePages(void* block, size_t bytes) {
#if defined(MADV_HUGEPAGE)
    constexpr uintptr_t kPage = uintptr_t{2} << 20;
    if (block != nullptr && bytes >= 2 * kPage) {
        const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
        const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
        if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)bytes;
#endif
    return block;
}

bool SeekStream(PlatformFile* file, int64_t offset, int whence) {
    return fseeko(file, static_cast<off_t>(offset), whence) == 0;
}

bool IsFolderSeparator(char c) { return c == '/'; }

}  // namespace sys
}  // namespace vintrel
