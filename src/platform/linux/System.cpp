#include "platform/System.h"

#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/FaultHook.h"

namespace vintrel {
namespace sys {

// Pictures are large and each byte is first touched once, in order: with 2 MiB
// pages a picture costs a page fault per 2 MiB instead of one per 4 KiB, and
// those faults are much of what a whole call takes. Only a hint; refused,
// nothing changes.
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


bool CanGatherRows() { return true; }

// A row and its pad are two pieces of one writev, straight from the canvas
// rather than copied through a block first; a short write resumes where it
// stopped.
bool WriteRowsGathered(PlatformFile* file, const uint8_t* rows, size_t rowBytes, uint32_t pad, uint32_t count) {
    static const uint8_t zeros[3] = {0, 0, 0};
    static_assert(2 * kGatherRows <= 1024, "within every system's IOV_MAX");
    iovec pieces[2 * kGatherRows];
    int n = 0;
    for (uint32_t y = 0; y < count && y < kGatherRows; ++y) {
        pieces[n++] = iovec{const_cast<uint8_t*>(rows + y * rowBytes), rowBytes};
        if (pad != 0) pieces[n++] = iovec{const_cast<uint8_t*>(zeros), pad};
    }
    const int fd = fileno(file);
    for (iovec* next = pieces; n > 0;) {
        const ssize_t put = Fails(OpWrite) ? -1 : writev(fd, next, n);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        // Past the pieces written whole, into the one cut short.
        size_t left = static_cast<size_t>(put);
        while (n > 0 && left >= next->iov_len) {
            left -= next->iov_len;
            ++next;
            --n;
        }
        if (n > 0) {
            next->iov_base = static_cast<uint8_t*>(next->iov_base) + left;
            next->iov_len -= left;
        }
    }
    return true;
}

}  // namespace sys
}  // namespace vintrel
